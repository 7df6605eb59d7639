// One column of a select list: its description as the server gives it, and
// the buffer type and element size chosen for it.
#include <climits>
#include <cstring>

#include "oracle/oracle_error.h"
#include "oracle/oracle_text.h"
#include "oracle/query.h"
#include "oracle/session.h"
#include "rtl/code_page.h"

namespace kavo {

std::unique_ptr<TFieldData> TOracleQuery::DescribeColumn(int pos) {
  std::unique_ptr<TFieldData> field;
  if (spare_fields_.empty()) {
    field = std::make_unique<TFieldData>();
  } else {
    field = std::move(spare_fields_.back());
    spare_fields_.pop_back();
  }
  TFieldData& f = *field;
  OCIHandle param = nullptr;
  if (Call(oci_.OCIParamGet(stmthp_, OCI_HTYPE_STMT, errhp_, &param, static_cast<ub4>(pos))) !=
      OCI_SUCCESS) {
    ReleaseFields();
    RaiseStatementError();
  }
  ReadColumnAttributes(param, pos, f);
  ChooseColumnBuffer(f);
  return field;
}

// The described column's attributes; frees the parameter descriptor.
void TOracleQuery::ReadColumnAttributes(OCIHandle param, int pos, TFieldData& f) {
  f.dbsize = AttrInt(param, OCI_DTYPE_PARAM, OCI_ATTR_DATA_SIZE, errhp_) & 0xFFFF;
  if (oci_.OCI90())
    f.CharSize =
        static_cast<uint16_t>(AttrInt(param, OCI_DTYPE_PARAM, OCI_ATTR_CHAR_SIZE, secerrhp_));
  f.dbtype = static_cast<int16_t>(AttrInt(param, OCI_DTYPE_PARAM, OCI_ATTR_DATA_TYPE, errhp_));
  f.CharSetForm = 1;
  f.CharSetID = 1;
  if (!NoUnicodeSupport) {
    f.CharSetForm = static_cast<uint8_t>(AttrInt(param, OCI_DTYPE_PARAM, OCI_ATTR_CHARSET_FORM, secerrhp_));
    f.CharSetID = static_cast<uint16_t>(AttrInt(param, OCI_DTYPE_PARAM, OCI_ATTR_CHARSET_ID, secerrhp_));
  }
  f.IsUTF16 = IsUTF16CharSet(f.CharSetID);
  f.IsUTF8 = IsUTF8CharSet(f.CharSetID);
  if (!f.IsUTF16 && !f.IsUTF8 && IsCharType(f.dbtype)) {
    // A non-UTF database seen through a UTF-8 client delivers UTF-8 bytes.
    f.IsUTF8 = oci_.UTF8Client();
    if (f.IsUTF8) f.CharSetID = ocsAL32UTF8;
  }
  OraText* name = nullptr;
  ub4 name_length = 0;
  if (Call(oci_.OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &name_length, OCI_ATTR_NAME, errhp_)) !=
      OCI_SUCCESS) {
    last_oci_error_ = ReleaseStatus(oci_.OCIDescriptorFree(param, OCI_DTYPE_PARAM), last_oci_error_);
    RaiseException();
  }
  f.name = ColumnNameText(
      pos, std::string_view(name ? reinterpret_cast<const char*>(name) : "", name ? name_length : 0));
  // Precision is one byte on some clients and two on others; scale is signed.
  int16_t prec = static_cast<int16_t>(AttrInt(param, OCI_DTYPE_PARAM, OCI_ATTR_PRECISION, errhp_));
  int16_t scale = static_cast<int16_t>(AttrInt(param, OCI_DTYPE_PARAM, OCI_ATTR_SCALE, errhp_));
  if (scale > 127 && scale < 256) scale = static_cast<int16_t>(scale - 256);
  f.nullok = static_cast<int16_t>(AttrInt(param, OCI_DTYPE_PARAM, OCI_ATTR_IS_NULL, errhp_) & 0xFF);
  if (scale == -127 && prec == 0) scale = 0;
  f.prec = prec;
  f.scale = scale;
  last_oci_error_ = ReleaseStatus(oci_.OCIDescriptorFree(param, OCI_DTYPE_PARAM), last_oci_error_);
}

// The buffer type and size a column is fetched into, or a clear refusal.
void TOracleQuery::ChooseColumnBuffer(TFieldData& f) {
  switch (f.dbtype) {
    case otNumber:
    case otBinaryFloat:
    case otBinaryDouble:
      ChooseNumberBuffer(f);
      break;
    case otLong:
    case otLongRaw:
      f.buftype = static_cast<uint16_t>(f.dbtype);
      f.bufsize = 0;
      used_cache_ = 1;
      break;
    case otRowId:
    case otRowidDesc:
      f.buftype = otString;
      f.bufsize = std::max(f.dbsize + 1, 19);
      break;
    case otDate:
      if (string_fields_only_) {
        f.buftype = otString;
        f.bufsize = SafeStringFieldsOnly ? 40 * session_->GetBytesPerCharacter()
                                         : session_->DateFormatLength() + 1;
      } else {
        f.buftype = otDate;
        f.bufsize = 7;
      }
      break;
    case otRaw:
      f.buftype = otString;
      f.bufsize = 2 * f.dbsize + 1;
      break;
    case otMLSLabel:
      f.buftype = otString;
      f.bufsize = 255;
      break;
    case otIntervalYM:
    case otIntervalDS:
      f.buftype = otString;
      f.bufsize = 20 * session_->GetBytesPerCharacter();
      break;
    case otTimestamp:
    case otTimestampTZ:
    case otTimestampLTZ:
      ChooseTimestampBuffer(f);
      break;
    case otCLOB:
    case otBLOB:
      f.buftype = static_cast<uint16_t>(f.dbtype);
      f.bufsize = sizeof(OCIHandle);
      f.DescriptorType = OCI_DTYPE_LOB;
      break;
    case otObject:
    case otReference:
    case otBFile:
    case otCursor:
      RefuseColumn(f);
    default:
      f.buftype = otString;
      f.bufsize = f.dbsize + 1 + (f.IsUTF16 ? 1 : 0);
      break;
  }
}

void TOracleQuery::ChooseNumberBuffer(TFieldData& f) {
  const TSessionPreferences& prefs = session_->Preferences();
  int int_limit = prefs.IntegerPrecision() != 0 ? prefs.IntegerPrecision() : 9;
  int float_limit = prefs.FloatPrecision() != 0 ? prefs.FloatPrecision() : INT_MAX;
  bool floating = f.scale == -127;
  int p = f.prec, s = f.scale;
  if (floating) {
    p = 38;
    s = 1;
  }
  if (p == 0 && s == 0) p = 38;
  if (s <= 0 && p <= int_limit && !string_fields_only_) {
    f.buftype = otInteger;
    f.bufsize = 4;
  } else if (p <= float_limit && !string_fields_only_) {
    f.buftype = otFloat;
    f.bufsize = 8;
  } else {
    f.buftype = otString;
    f.bufsize = (s > 0 ? p + 3 : p + 2) + (floating ? 132 : 0);
    if (SafeStringFieldsOnly) f.bufsize *= 4 * session_->GetBytesPerCharacter();
  }
}

void TOracleQuery::ChooseTimestampBuffer(TFieldData& f) {
  if (session_->Preferences().TimestampAsString()) {
    f.buftype = otString;
    f.bufsize = 50 * session_->GetBytesPerCharacter() + 1;
    return;
  }
  f.buftype = static_cast<uint16_t>(f.dbtype);
  f.bufsize = sizeof(OCIHandle);
  f.DescriptorType = f.dbtype == otTimestamp     ? OCI_DTYPE_TIMESTAMP
                     : f.dbtype == otTimestampTZ ? OCI_DTYPE_TIMESTAMP_TZ
                                                 : OCI_DTYPE_TIMESTAMP_LTZ;
}

void TOracleQuery::RefuseColumn(const TFieldData& f) {
  const char16_t* kind;
  switch (f.dbtype) {
    case otObject: kind = u"A query with objects"; break;
    case otReference: kind = u"A query with references"; break;
    case otCursor: kind = u"A query with sub-queries"; break;
    case otCLOB: case otBLOB: case otBFile: kind = u"A query with LOB's"; break;
    default: kind = u"A query with timestamps"; break;
  }
  const String name = f.name;  // the description goes with the fields
  ReleaseFields();
  parsed_sql_.clear();
  throw Exception(String(kind) + u" is not supported (column " + name + u")");
}

const String& TOracleQuery::ColumnNameText(int pos, std::string_view bytes) {
  if (decoded_names_.size() < static_cast<size_t>(pos)) decoded_names_.resize(pos);
  DecodedName& d = decoded_names_[pos - 1];
  // A column keeps its name from describe to describe unless decoded anew
  // here; a subset of different names stays so.
  const bool utf8 = oci_.UTF8Client();
  if (utf8) {
    if (d.valid && d.utf8 && d.bytes == bytes) return d.text;
    d.valid = false;
    column_index_.Invalidate();
    d.text = Utf8Decode(bytes);
    d.code_page.clear();
  } else {
    const std::string& code_page = AnsiCodePage();
    if (d.valid && !d.utf8 && d.bytes == bytes && d.code_page == code_page) return d.text;
    d.valid = false;
    column_index_.Invalidate();
    d.text = CodePageToString(bytes, code_page);  // as AnsiToString decodes
    d.code_page = code_page;
  }
  d.utf8 = utf8;
  d.bytes.assign(bytes);
  d.valid = true;
  return d.text;
}

void TOracleQuery::AllocateDescriptors(TFieldData& f) {
  if (f.DescriptorType == 0) return;
  for (int i = 0; i < f.cache; ++i) {
    OCIHandle h = nullptr;
    CheckAllocation(oci_.OCIDescriptorAlloc(session_->EnvHandle(), &h, f.DescriptorType, 0, nullptr),
                    "OCIDescriptorAlloc");
    std::memcpy(f.buf.data() + static_cast<size_t>(i) * f.bufsize, &h, sizeof h);
  }
}

void TOracleQuery::FreeDescriptors(TFieldData& f) {
  if (f.DescriptorType == 0 || f.bufsize != sizeof(OCIHandle)) return;
  // Without the session they went with its environment.
  const bool alive = session_ != nullptr && session_->Connected();
  for (int i = 0; i < f.cache && static_cast<size_t>(i + 1) * sizeof(OCIHandle) <= f.buf.size(); ++i) {
    OCIHandle h = f.Descriptor(i);
    if (h != nullptr && alive)
      last_oci_error_ = ReleaseStatus(oci_.OCIDescriptorFree(h, f.DescriptorType), last_oci_error_);
    std::memset(f.buf.data() + static_cast<size_t>(i) * sizeof h, 0, sizeof h);
  }
}

void TOracleQuery::ReleaseFields() {
  for (std::unique_ptr<TFieldData>& f : fields_) {
    FreeDescriptors(*f);
    f->Reset();
    spare_fields_.push_back(std::move(f));
  }
  fields_.clear();
}

}  // namespace kavo
