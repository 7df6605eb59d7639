// Access to the current row's columns.
#include <cstring>

#include "oracle/oracle_date.h"
#include "oracle/oracle_error.h"
#include "oracle/oracle_lob.h"
#include "oracle/oracle_text.h"
#include "oracle/oracle_timestamp.h"
#include "oracle/query.h"
#include "oracle/session.h"
#include "recordset/field_name.h"
#include "rtl/code_page.h"
#include "rtl/exceptions.h"
#include "rtl/float_text.h"
#include "rtl/format_settings.h"

namespace kavo {

void TOracleQuery::RaiseNoSuchField(int i) {
  throw Exception(u"Field " + IntToStr(i) + u" does not exist");
}

void TOracleQuery::RaiseBeyondEof() {
  throw Exception(u"You cannot access field data beyond Eof");
}

int TOracleQuery::FieldIndex(const String& name) const {
  const size_t i = FindFieldName(
      fields_.size(), [this](size_t k) -> StringView { return fields_[k]->name; }, name,
      column_index_);
  return i < fields_.size() ? static_cast<int>(i) : -1;
}

int TOracleQuery::IndexByName(const String& name) const {
  int i = FieldIndex(name);
  if (i < 0) throw Exception(u"Field " + name + u" does not exist");
  return i;
}

String TOracleQuery::FieldName(int i) const { return CheckField(i).name; }
int TOracleQuery::FieldType(int i) const { return CheckField(i).buftype; }
int TOracleQuery::FieldDBType(int i) const { return CheckField(i).dbtype; }
int TOracleQuery::FieldSize(int i) const { return CheckField(i).TextSize(); }
int TOracleQuery::FieldPrecision(int i) const { return CheckField(i).prec; }
int TOracleQuery::FieldScale(int i) const { return CheckField(i).scale; }
bool TOracleQuery::FieldOptional(int i) const { return CheckField(i).nullok != 0; }
int TOracleQuery::FieldCharSetId(int i) const { return CheckField(i).CharSetID; }
int TOracleQuery::FieldCharSetForm(int i) const { return CheckField(i).CharSetForm; }
bool TOracleQuery::FieldIsUTF8(int i) const { return CheckField(i).IsUTF8; }
bool TOracleQuery::FieldIsUTF16(int i) const { return CheckField(i).IsUTF16; }
int TOracleQuery::FieldCharSize(int i) const { return CheckField(i).CharSize; }

bool TOracleQuery::FieldIsNull(int i) const {
  return CheckFieldValue(i).ind[cache_index_] == -1;
}

const uint8_t* TOracleQuery::FieldData(int i) const {
  const TFieldData& f = CheckFieldValue(i);
  return f.buf.empty() ? nullptr : f.Element(cache_index_);
}

int TOracleQuery::FieldLength(int i) const {
  const TFieldData& f = CheckFieldValue(i);
  if (f.buftype == otLong || f.buftype == otLongRaw) return f.LongSize();
  return f.ElementLength(cache_index_);
}

OraVariant TOracleQuery::Field(int i) const {
  const TFieldData& f = CheckFieldValue(i);
  if (f.ind[cache_index_] == -1)
    return session_ != nullptr && session_->NullValue() == nvNull ? OraVariant::Null()
                                                                  : OraVariant();
  if (f.buftype == otLong) return OraVariant::Ansi(f.LongValue());
  if (f.buftype == otLongRaw) {
    std::string s = f.LongValue();
    return OraVariant::Bytes(std::vector<uint8_t>(s.begin(), s.end()));
  }
  switch (f.buftype) {
    case otTimestamp:
    case otTimestampTZ:
    case otTimestampLTZ:
      return OraVariant::Date(TimestampValue(f));
    case otCLOB:
      return OraVariant(Utf8Decode(LobBytes(f)));
    case otBLOB: {
      std::string s = LobBytes(f);
      return OraVariant::Bytes(std::vector<uint8_t>(s.begin(), s.end()));
    }
    default:
      break;
  }
  return OracleToNativeData(f.Element(cache_index_), f.buftype, f.CharSetID, session_,
                            f.IsUTF16 ? f.ElementLength(cache_index_) : f.bufsize);
}

OraVariant TOracleQuery::Field(const String& name) const { return Field(IndexByName(name)); }

TDateTime TOracleQuery::TimestampValue(const TFieldData& f) const {
  TDateTime value = 0;
  if (TimestampToDateTime(oci_, session_->EnvHandle(), errhp_, f.Descriptor(cache_index_), value) !=
      OCI_SUCCESS)
    RaiseOracleError(session_, errhp_, const_cast<TOracleQuery*>(this));
  return value;
}

std::string TOracleQuery::LobBytes(const TFieldData& f) const {
  std::string bytes;
  sword status = ReadLob(oci_, session_->SvcHandle(), errhp_, f.Descriptor(cache_index_),
                         f.buftype == otCLOB, bytes);
  if (status == OCI_NEED_DATA)
    throw Exception(u"Field " + f.name + u": the client delivers the LOB in pieces");
  if (status != OCI_SUCCESS) RaiseOracleError(session_, errhp_, const_cast<TOracleQuery*>(this));
  return bytes;
}

namespace {

// The text of a string column's element as Field(i).AsString() reads it (the
// bytes up to the zero, decoded, line ends as the session wants them), but
// without the variant and the copies on its way.
String StringFieldText(const TFieldData& f, int index, const TOracleSession* session) {
  const char* p = reinterpret_cast<const char*>(f.Element(index));
  const std::string_view bytes(p, f.bufsize > 0 ? strnlen(p, f.bufsize) : std::strlen(p));
  if (IsUTF8CharSet(f.CharSetID)) {
    if (IsPlainAsciiLine(bytes)) return String(bytes.begin(), bytes.end());
    return AddCRW(Utf8Decode(bytes), session);
  }
  if (bytes.find_first_of("\r\n") == std::string_view::npos) return AnsiToString(bytes);
  return AnsiToString(AddCR(std::string(bytes), session));
}

template <class T>
T ElementValue(const TFieldData& f, int index) {
  T v;
  std::memcpy(&v, f.Element(index), sizeof v);
  return v;
}

}  // namespace

String TOracleQuery::FieldAsString(int i) const {
  const TFieldData& f = CheckFieldValue(i);
  if (f.ind[cache_index_] == -1) return String();
  switch (f.buftype) {
    case otString:
      if (!IsUTF16CharSet(f.CharSetID)) return StringFieldText(f, cache_index_, session_);
      return Field(i).AsString();
    case otInteger:
    case otFloat:
    case otLong:
    case otLongRaw:
    case otCLOB:
    case otBLOB:
    case otDate:  // the date alone at midnight, else date and time
      return Field(i).AsString();
    case otTimestamp:
    case otTimestampTZ:
    case otTimestampLTZ:
      return FormatDateTime(u"ddddd tt", TimestampValue(f), FormatSettings());
    default:
      throw Exception(u"Cannot convert field " + f.name + u" to a String");
  }
}

String TOracleQuery::FieldAsString(const String& name) const {
  return FieldAsString(IndexByName(name));
}

// Field text is UTF-16 whatever the column's character set.
String TOracleQuery::FieldAsWideString(int i) const { return FieldAsString(i); }

namespace {

// A typed reading: NULL gives 0; numbers and dates convert, text is parsed.
template <class T>
T TypedField(const TOracleQuery& q, int i, const TFieldData& f, const char16_t* target,
             T (*from_value)(const OraVariant&), T (*from_text)(const String&)) {
  if (q.FieldIsNull(i)) return T();
  switch (f.buftype) {
    case otInteger:
    case otFloat:
    case otDate:
      return from_value(q.Field(i));
    case otString:
      return from_text(q.FieldAsString(i));
    default:
      throw Exception(u"Cannot convert field " + f.name + u" to " + target);
  }
}

}  // namespace

// Each typed reader takes its own buffer type straight from the buffer; the
// conversions go through the variant.
int32_t TOracleQuery::FieldAsInteger(int i) const {
  const TFieldData& f = CheckFieldValue(i);
  if (f.buftype == otInteger && f.ind[cache_index_] != -1)
    return ElementValue<int32_t>(f, cache_index_);
  return TypedField<int32_t>(
      *this, i, CheckFieldValue(i), u"an Integer",
      [](const OraVariant& v) { return v.AsInteger(); },
      [](const String& s) { return OraVariant(s).AsInteger(); });
}

int32_t TOracleQuery::FieldAsInteger(const String& name) const {
  return FieldAsInteger(IndexByName(name));
}

double TOracleQuery::FieldAsFloat(int i) const {
  const TFieldData& f = CheckFieldValue(i);
  if (f.ind[cache_index_] != -1) {
    if (f.buftype == otFloat) return ElementValue<double>(f, cache_index_);
    if (f.buftype == otInteger) return ElementValue<int32_t>(f, cache_index_);
  }
  return TypedField<double>(
      *this, i, CheckFieldValue(i), u"a Float", [](const OraVariant& v) { return v.AsDouble(); },
      [](const String& s) { return StrToFloat(s, FormatSettings()); });
}

double TOracleQuery::FieldAsFloat(const String& name) const {
  return FieldAsFloat(IndexByName(name));
}

TDateTime TOracleQuery::FieldAsDate(int i) const {
  const TFieldData& f = CheckFieldValue(i);
  if (f.buftype == otDate && f.ind[cache_index_] != -1)
    return OracleToNativeDate(f.Element(cache_index_));
  if ((f.buftype == otTimestamp || f.buftype == otTimestampTZ || f.buftype == otTimestampLTZ) &&
      f.ind[cache_index_] != -1)
    return TimestampValue(f);
  return TypedField<TDateTime>(
      *this, i, CheckFieldValue(i), u"a Date", [](const OraVariant& v) { return v.AsDouble(); },
      [](const String& s) { return StrToDateTime(s); });
}

TDateTime TOracleQuery::FieldAsDate(const String& name) const {
  return FieldAsDate(IndexByName(name));
}

int TOracleQuery::GetLongField(int i, void* buffer, int length, int offset) const {
  const TFieldData& f = CheckFieldValue(i);
  if (f.buftype != otLong && f.buftype != otLongRaw)
    throw Exception(u"Field " + IntToStr(i) + u" is not a Long");
  std::string value = f.LongValue();
  if (offset < 0 || static_cast<size_t>(offset) >= value.size() || length <= 0) return 0;
  size_t n = std::min(value.size() - offset, static_cast<size_t>(length));
  std::memcpy(buffer, value.data() + offset, n);
  return static_cast<int>(n);
}

}  // namespace kavo
