// TSessionPreferences: the session's settings that statements, value
// conversion and record sets read.
#ifndef KAVO_ORACLE_SESSION_PREFERENCES_H_
#define KAVO_ORACLE_SESSION_PREFERENCES_H_

#include <atomic>

namespace kavo {

class TOracleSession;

enum TConvertUTFOption { cuNone, cuUTF8ToUTF16, cuUTF16ToUTF8 };
enum TTemporaryLOBOption { tlNone, tlCache, tlNoCache };

// The layer-wide default of TimestampAsString.
extern std::atomic<bool> TimestampAsStringDefault;

class TSessionPreferences {
 public:
  explicit TSessionPreferences(TOracleSession* session);

  int FloatPrecision() const { return float_precision_; }      // 0: no limit
  int IntegerPrecision() const { return integer_precision_; }  // 0: 9
  int SmallIntPrecision() const { return small_int_precision_; }
  bool UseOCI7() const { return use_oci7_; }
  bool ConvertCRLF() const { return convert_crlf_; }
  // Whatever is stored, text crosses a UTF-8 character set decoded to UTF-16.
  TConvertUTFOption ConvertUTF() const { return cuUTF8ToUTF16; }
  TConvertUTFOption StoredConvertUTF() const { return convert_utf_; }
  bool ForceWideStringFields() const { return force_wide_string_fields_; }
  bool TrimStringFields() const { return trim_string_fields_; }
  int MaxStringFieldSize() const { return max_string_field_size_; }
  bool ZeroDateIsNull() const { return zero_date_is_null_; }
  bool NullLOBIsEmpty() const { return null_lob_is_empty_; }
  bool NullObjectIsEmpty() const { return null_object_is_empty_; }
  TTemporaryLOBOption TemporaryLOB() const { return temporary_lob_; }
  bool TimestampAsString() const { return timestamp_as_string_; }

  void SetFloatPrecision(int v) { float_precision_ = v; }
  void SetIntegerPrecision(int v) { integer_precision_ = v; }
  void SetSmallIntPrecision(int v) { small_int_precision_ = v; }
  // These three refuse a change while the session is connected.
  void SetUseOCI7(bool v);
  void SetConvertUTF(TConvertUTFOption v);
  void SetForceWideStringFields(bool v);
  void SetConvertCRLF(bool v) { convert_crlf_ = v; }
  void SetTrimStringFields(bool v) { trim_string_fields_ = v; }
  void SetMaxStringFieldSize(int v) { max_string_field_size_ = v; }
  void SetZeroDateIsNull(bool v) { zero_date_is_null_ = v; }
  void SetNullLOBIsEmpty(bool v) { null_lob_is_empty_ = v; }
  void SetNullObjectIsEmpty(bool v) { null_object_is_empty_ = v; }
  void SetTemporaryLOB(TTemporaryLOBOption v) { temporary_lob_ = v; }
  void SetTimestampAsString(bool v) { timestamp_as_string_ = v; }

  // Copies all fourteen values through the setters.
  void Assign(const TSessionPreferences& source);

 private:
  TOracleSession* session_;
  int float_precision_ = 0;
  int integer_precision_ = 0;
  int small_int_precision_ = -1;
  bool use_oci7_ = false;
  bool convert_crlf_ = true;
  TConvertUTFOption convert_utf_ = cuNone;
  bool force_wide_string_fields_ = false;
  bool trim_string_fields_ = true;
  int max_string_field_size_ = 0;
  bool zero_date_is_null_ = true;
  bool null_lob_is_empty_ = false;
  bool null_object_is_empty_ = false;
  TTemporaryLOBOption temporary_lob_ = tlCache;
  bool timestamp_as_string_;
};

}  // namespace kavo

#endif  // KAVO_ORACLE_SESSION_PREFERENCES_H_
