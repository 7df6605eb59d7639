#include "oracle/session_preferences.h"

#include "oracle/session.h"
#include "rtl/exceptions.h"

namespace kavo {

std::atomic<bool> TimestampAsStringDefault = false;

TSessionPreferences::TSessionPreferences(TOracleSession* session)
    : session_(session), timestamp_as_string_(TimestampAsStringDefault) {}

namespace {
void RefuseWhenConnected(const TOracleSession* session, const char16_t* property) {
  if (session != nullptr && session->Connected())
    throw Exception(u"Cannot change " + String(property) + u" property when session is connected");
}
}  // namespace

void TSessionPreferences::SetUseOCI7(bool v) {
  if (v != use_oci7_) RefuseWhenConnected(session_, u"UseOCI7");
  use_oci7_ = v;
}

void TSessionPreferences::SetConvertUTF(TConvertUTFOption v) {
  if (v != convert_utf_) RefuseWhenConnected(session_, u"ConvertUTF");
  convert_utf_ = v;
}

void TSessionPreferences::SetForceWideStringFields(bool v) {
  if (v != force_wide_string_fields_) RefuseWhenConnected(session_, u"ForceWideStringFields");
  force_wide_string_fields_ = v;
}

void TSessionPreferences::Assign(const TSessionPreferences& s) {
  SetFloatPrecision(s.float_precision_);
  SetIntegerPrecision(s.integer_precision_);
  SetSmallIntPrecision(s.small_int_precision_);
  SetUseOCI7(s.use_oci7_);
  SetConvertCRLF(s.convert_crlf_);
  SetConvertUTF(s.convert_utf_);
  SetForceWideStringFields(s.force_wide_string_fields_);
  trim_string_fields_ = s.trim_string_fields_;
  SetMaxStringFieldSize(s.max_string_field_size_);
  zero_date_is_null_ = s.zero_date_is_null_;
  null_lob_is_empty_ = s.null_lob_is_empty_;
  null_object_is_empty_ = s.null_object_is_empty_;
  temporary_lob_ = s.temporary_lob_;
  SetTimestampAsString(s.timestamp_as_string_);
}

}  // namespace kavo
