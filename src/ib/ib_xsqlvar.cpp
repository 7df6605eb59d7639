#include <cmath>
#include <cstring>
#include <ctime>

#include "ib/ib_blob.h"
#include "ib/ib_database.h"
#include "ib/ib_errors.h"
#include "ib/ib_intf.h"
#include "ib/ib_server_dates.h"
#include "ib/ib_sql.h"
#include "ib/ib_transaction.h"
#include "ib/ib_xsqlda.h"
#include "rtl/code_page.h"
#include "rtl/code_points.h"
#include "rtl/float_text.h"
#include "rtl/format_settings.h"
#include "rtl/int64_text.h"
#include "rtl/str_to_date_time.h"

namespace kavo {

namespace {

constexpr short kSqlBooleanFirebird = SQL_BOOLEAN;

bool IsKnownType(short type) {
  switch (type) {
    case SQL_VARYING: case SQL_TEXT: case SQL_DOUBLE: case SQL_FLOAT: case SQL_LONG:
    case SQL_SHORT: case SQL_TIMESTAMP: case SQL_BLOB: case SQL_D_FLOAT: case SQL_ARRAY:
    case SQL_QUAD: case SQL_TYPE_TIME: case SQL_TYPE_DATE: case SQL_INT64:
    case kSqlBooleanInterBase: case kSqlBooleanFirebird: case SQL_NULL:
      return true;
    default:
      return false;
  }
}

int64_t Pow10(int n) {
  int64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// A scaled integer as decimal text without trailing zeros after the
// separator (the currency form's text).
String ScaledToText(int64_t value, int decimals) {
  if (decimals <= 0) return IntToStr(value);
  bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  uint64_t scale = static_cast<uint64_t>(Pow10(decimals));
  String whole = UIntToStr(magnitude / scale);
  String frac = UIntToStr(magnitude % scale);
  frac = String(decimals - frac.size(), u'0') + frac;
  while (!frac.empty() && frac.back() == u'0') frac.pop_back();
  String text = negative ? u"-" + whole : whole;
  if (!frac.empty()) text += FormatSettings().DecimalSeparator + frac;
  return text;
}

// The broken-down value the client's encoders take; a date's encoder reads
// only the date fields and a time's only the time fields, so each is decoded
// only when asked.
std::tm ToTm(TDateTime value, bool date = true, bool time = true) {
  std::tm t{};
  if (date) {
    int y, mo, d;
    DecodeDate(value, y, mo, d);
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
  }
  if (time) {
    int h, mi, s, ms;
    DecodeTime(value, h, mi, s, ms);
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;  // milliseconds are dropped
  }
  return t;
}

}  // namespace

TIBXSQLVAR::TIBXSQLVAR(TIBXSQLDA* parent, std::unique_ptr<TSQLVAR> sqlvar)
    : parent_(parent), sqlvar_(std::move(sqlvar)) {}

void TIBXSQLVAR::Reset(void* entry) { sqlvar_->Attach(entry); }

String TIBXSQLVAR::SqlName() const { return DecodeFromConnection(sqlvar_->SqlName()); }
String TIBXSQLVAR::RelName() const { return DecodeFromConnection(sqlvar_->RelName()); }
String TIBXSQLVAR::AliasName() const { return DecodeFromConnection(sqlvar_->AliasName()); }

std::string TIBXSQLVAR::EncodeForConnection(StringView text) const {
  std::string out;
  EncodeForConnection(text, out);
  return out;
}

void TIBXSQLVAR::EncodeForConnection(StringView text, std::string& out) const {
  EncodeTextInto(text, parent_->SQL()->Database()->CharacterSetInfo(), out);
}

String TIBXSQLVAR::DecodeFromConnection(std::string_view bytes) const {
  return DecodeText(bytes, parent_->SQL()->Database()->CharacterSetInfo());
}

void TIBXSQLVAR::CheckNotUnknown() const {
  short type = SQLType();
  if (!IsKnownType(type)) IBError(ibceUnknownSQLDataType, {static_cast<int>(type)});
}

void TIBXSQLVAR::AllocData(size_t size) {
  data_.assign(std::max<size_t>(size, 1), 0);
  sqlvar_->SetSqlData(data_.data());
}

void TIBXSQLVAR::SetIndicator(bool nullable) {
  if (nullable) {
    sqlvar_->SetSqlInd(&indicator_);
  } else {
    indicator_ = 0;
    sqlvar_->SetSqlInd(nullptr);
  }
}

void TIBXSQLVAR::Initialize() {
  const short type = SQLType();
  described_type_ = type;
  max_len_ = type == SQL_TEXT || type == SQL_VARYING ? sqlvar_->SqlLen() : 0;
  CheckNotUnknown();
  size_t size = type == SQL_VARYING ? sqlvar_->SqlLen() + 2u
                                    : (sqlvar_->SqlLen() == 0 ? 1u : size_t(sqlvar_->SqlLen()));
  AllocData(size);
  indicator_ = 0;
  SetIndicator(IsNullable());
  modified_ = false;
}

template <typename F>
void TIBXSQLVAR::ForEachSameName(F&& f) {
  if (name_.empty() || !parent_->HasSharedNames()) {
    f(*this);
    return;
  }
  for (int i = 0; i < parent_->Count(); ++i) {
    TIBXSQLVAR& other = parent_->Vars(i);
    if (&other == this || other.name_ == name_) f(other);
  }
}

void TIBXSQLVAR::SetData(short sqltype, short scale, const void* bytes, size_t size) {
  // Every byte is written: the value, and the terminator of a text.
  const size_t terminator = sqltype == SQL_TEXT ? 1 : 0;
  data_.resize(std::max<size_t>(size + terminator, 1));
  if (size > 0) std::memcpy(data_.data(), bytes, size);
  if (terminator != 0 || size == 0) data_[size] = 0;
  if (sqlvar_->SetValue(sqltype, scale, static_cast<short>(size), data_.data())) indicator_ = 0;
  modified_ = true;
}

template <typename T>
void TIBXSQLVAR::SetFixed(short sqltype, const T& value) {
  // Row after row the entry keeps its size: no resize, and a copy of known length.
  if (data_.size() != sizeof value) data_.resize(sizeof value);
  std::memcpy(data_.data(), &value, sizeof value);
  if (sqlvar_->SetValue(sqltype, 0, static_cast<short>(sizeof value), data_.data()))
    indicator_ = 0;
  modified_ = true;
}

// --- null --------------------------------------------------------------------

bool TIBXSQLVAR::IsNull() const {
  return IsNullable() && sqlvar_->SqlInd() != nullptr && *sqlvar_->SqlInd() == -1;
}

void TIBXSQLVAR::SetIsNull(bool value) {
  // A nullable entry of its own name: every row's NULL parameters.
  if (value && IsNullable() && (name_.empty() || !parent_->HasSharedNames())) {
    indicator_ = -1;
    modified_ = true;
    return;
  }
  if (value) {
    ForEachSameName([](TIBXSQLVAR& x) {
      if (!x.IsNullable()) {
        x.sqlvar_->SetSqlType(static_cast<short>(x.sqlvar_->SqlType() | 1));
        x.SetIndicator(true);
      }
      x.indicator_ = -1;
      x.modified_ = true;
    });
  } else {
    ForEachSameName([](TIBXSQLVAR& x) {
      if (x.IsNullable()) x.indicator_ = 0;
    });
  }
}

// --- writing -----------------------------------------------------------------

void TIBXSQLVAR::SetAsInteger(int32_t value) {
  ForEachSameName([&](TIBXSQLVAR& x) { x.SetData(SQL_LONG, 0, &value, sizeof value); });
}

void TIBXSQLVAR::SetAsShort(int16_t value) {
  ForEachSameName([&](TIBXSQLVAR& x) { x.SetData(SQL_SHORT, 0, &value, sizeof value); });
}

void TIBXSQLVAR::SetAsInt64(int64_t value) {
  ForEachSameName([&](TIBXSQLVAR& x) { x.SetData(SQL_INT64, 0, &value, sizeof value); });
}

void TIBXSQLVAR::SetAsCurrency(int64_t ten_thousandths) {
  ForEachSameName(
      [&](TIBXSQLVAR& x) { x.SetData(SQL_INT64, -4, &ten_thousandths, sizeof ten_thousandths); });
}

void TIBXSQLVAR::SetAsDouble(double value) {
  ForEachSameName([&](TIBXSQLVAR& x) { x.SetData(SQL_DOUBLE, 0, &value, sizeof value); });
}

void TIBXSQLVAR::SetAsFloat(float value) {
  ForEachSameName([&](TIBXSQLVAR& x) { x.SetData(SQL_FLOAT, 0, &value, sizeof value); });
}

void TIBXSQLVAR::SetAsBoolean(bool value) {
  const char byte = value ? 1 : 0;
  const short word = value ? 1 : 0;
  ForEachSameName([&](TIBXSQLVAR& x) {
    if (x.described_type_ == kSqlBooleanInterBase)
      x.SetData(kSqlBooleanInterBase, 0, &word, sizeof word);
    else
      x.SetData(kSqlBooleanFirebird, 0, &byte, 1);
  });
}

void TIBXSQLVAR::SetAsQuad(const ISC_QUAD& value) {
  ForEachSameName([&](TIBXSQLVAR& x) {
    short type = x.described_type_ == SQL_BLOB || x.described_type_ == SQL_ARRAY
                     ? x.described_type_
                     : static_cast<short>(SQL_QUAD);
    x.SetData(type, 0, &value, sizeof value);
  });
}

void TIBXSQLVAR::SetAsDateTime(TDateTime value) {
  const TTimeStamp ts = DateTimeToTimeStamp(value);
  ISC_QUAD quad{};
  ISC_DATE date;
  if (ServerDate(ts, date)) {
    quad.gds_quad_high = date;
    quad.gds_quad_low = ServerTime(ts);
  } else {
    std::tm t = ToTm(value);
    parent_->SQL()->Library().isc_encode_date(&t, &quad);
  }
  ForEachSameName([&](TIBXSQLVAR& x) { x.SetData(SQL_TIMESTAMP, 0, &quad, sizeof quad); });
}

void TIBXSQLVAR::SetAsDate(TDateTime value) {
  if (parent_->SQL()->Dialect() < 3) {
    SetAsDateTime(value);
    return;
  }
  ISC_DATE date;
  if (!ServerDate(DateTimeToTimeStamp(value), date)) {
    std::tm t = ToTm(value, true, false);
    parent_->SQL()->Library().isc_encode_sql_date(&t, &date);
  }
  ForEachSameName([&](TIBXSQLVAR& x) { x.SetData(SQL_TYPE_DATE, 0, &date, sizeof date); });
}

void TIBXSQLVAR::SetAsServerTimeStamp(const ISC_TIMESTAMP& value) {
  ForEachSameName([&](TIBXSQLVAR& x) { x.SetData(SQL_TIMESTAMP, 0, &value, sizeof value); });
}

void TIBXSQLVAR::SetAsServerTime(ISC_TIME value) {
  ForEachSameName([&](TIBXSQLVAR& x) { x.SetFixed(SQL_TYPE_TIME, value); });
}

void TIBXSQLVAR::SetAsServerDate(ISC_DATE value) {
  ForEachSameName([&](TIBXSQLVAR& x) { x.SetFixed(SQL_TYPE_DATE, value); });
}

void TIBXSQLVAR::SetAsTime(TDateTime value) {
  if (parent_->SQL()->Dialect() < 3) {
    SetAsDateTime(value);
    return;
  }
  const ISC_TIME time = ServerTime(DateTimeToTimeStamp(value));
  ForEachSameName([&](TIBXSQLVAR& x) { x.SetData(SQL_TYPE_TIME, 0, &time, sizeof time); });
}

void TIBXSQLVAR::StoreText(std::string_view bytes) {
  SetData(SQL_TEXT, 0, bytes.data(), bytes.size());
}

ISC_QUAD TIBXSQLVAR::CreateBlob(std::string_view bytes) {
  TIBSQL& sql = *parent_->SQL();
  return WriteBlob(*sql.Database(), *sql.Transaction(), bytes);
}

void TIBXSQLVAR::SetAsBCD(const TBcd& value) {
  int places = BcdPlaces(value);
  int64_t raw = 0;
  if (!BcdToScaledInt64(value, places, raw) && !BcdToExactInt64(value, raw, places))
    IBError(ibceInvalidDataConversion);
  const short scale = static_cast<short>(-places);
  ForEachSameName([&](TIBXSQLVAR& x) { x.SetData(SQL_INT64, scale, &raw, sizeof raw); });
}

void TIBXSQLVAR::SetAsBytes(std::string_view bytes) {
  if (described_type_ == SQL_BLOB) {
    const ISC_QUAD id = CreateBlob(bytes);
    ForEachSameName([&](TIBXSQLVAR& x) { x.SetData(SQL_BLOB, 0, &id, sizeof id); });
    return;
  }
  if (max_len_ > 0 && static_cast<int>(bytes.size()) > max_len_)
    IBError(ibceStringTooLarge, {static_cast<int>(bytes.size()), max_len_});
  if (bytes.size() > 32767) IBError(ibceStringTooLarge, {static_cast<int>(bytes.size()), 32767});
  ForEachSameName([&](TIBXSQLVAR& x) { x.StoreText(bytes); });
}

void TIBXSQLVAR::SetAsVariant(const OraVariant& value) {
  switch (value.Kind()) {
    case vkEmpty: case vkNull: SetIsNull(true); return;
    case vkInteger: SetAsInteger(value.AsInteger()); return;
    case vkDouble: SetAsDouble(value.AsDouble()); return;
    case vkDecimal: SetAsBCD(StrToBcd(value.DecimalText())); return;
    case vkDate: SetAsDateTime(value.AsDateTime()); return;
    case vkAnsiString: case vkString: SetAsString(value.AsString()); return;
    case vkBoolean: SetAsBoolean(value.AsBoolean()); return;
    case vkByteArray: {
      const std::vector<uint8_t>& bytes = value.ByteArray();
      SetAsBytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
      return;
    }
    default: IBError(ibceNotSupported);
  }
}

void TIBXSQLVAR::SetAsString(StringView value) {
  switch (described_type_) {
    case SQL_TEXT:
    case SQL_VARYING: {
      const TIBCharacterSet& cs = parent_->SQL()->Database()->CharacterSetInfo();
      // Text the set holds as it is is checked and narrowed in one pass, into
      // the spare buffer: the entry keeps its value until the new one is whole.
      const size_t size = value.size();
      if (name_.empty() || !parent_->HasSharedNames()) {
        // Never shrunk: the entry's length says where the text ends.
        if (spare_.size() <= size) spare_.resize(size + 1);
        if (NarrowTextBelow(value, cs.identity_limit, spare_.data())) {
          if (max_len_ > 0 && size > static_cast<size_t>(max_len_))
            IBError(ibceStringTooLarge, {static_cast<int>(size), max_len_});
          if (size > 32767) IBError(ibceStringTooLarge, {static_cast<int>(size), 32767});
          spare_[size] = 0;
          data_.swap(spare_);
          if (sqlvar_->SetValue(SQL_TEXT, 0, static_cast<short>(size), data_.data()))
            indicator_ = 0;
          modified_ = true;
          break;
        }
      }
      // Parameters are set row after row: the area's buffer keeps its capacity.
      std::string& bytes = parent_->TextScratch();
      EncodeValueInto(value, cs, bytes, u"Parameter", name_);
      if (max_len_ > 0 && static_cast<int>(bytes.size()) > max_len_)
        IBError(ibceStringTooLarge, {static_cast<int>(bytes.size()), max_len_});
      if (bytes.size() > 32767)
        IBError(ibceStringTooLarge, {static_cast<int>(bytes.size()), 32767});
      ForEachSameName([&](TIBXSQLVAR& x) { x.StoreText(bytes); });
      break;
    }
    case SQL_BLOB: {
      std::string bytes;
      EncodeValueInto(value, parent_->SQL()->Database()->CharacterSetInfo(), bytes,
                      u"Parameter", name_);
      const ISC_QUAD id = CreateBlob(bytes);
      ForEachSameName([&](TIBXSQLVAR& x) { x.SetData(SQL_BLOB, 0, &id, sizeof id); });
      break;
    }
    default:
      if (value.empty()) {
        SetIsNull(true);
      } else if (described_type_ == SQL_TIMESTAMP || described_type_ == SQL_TYPE_TIME ||
                 described_type_ == SQL_TYPE_DATE) {
        SetAsDateTime(StrToDateTime(value, FormatSettings()));
      } else {
        std::string bytes = EncodeForConnection(value);
        if (bytes.size() > 32767)
          IBError(ibceStringTooLarge, {static_cast<int>(bytes.size()), 32767});
        ForEachSameName([&](TIBXSQLVAR& x) { x.StoreText(bytes); });
      }
  }
}

// --- reading -----------------------------------------------------------------

int TIBXSQLVAR::BytesPerCharacter() const {
  const int id = sqlvar_->SqlSubtype() & 0xFF;
  if (parent_->SQL()->Library().IsFirebirdClient()) return FirebirdBytesPerCharacter(id);
  return InterBaseBytesPerCharacter(id, sqlvar_->RelName().rfind("RDB$", 0) == 0);
}

std::string TIBXSQLVAR::AsBytes() const {
  const char* data = sqlvar_->SqlData();
  if (data == nullptr) return std::string();
  switch (SQLType()) {
    case SQL_VARYING: {
      uint16_t length;
      std::memcpy(&length, data, 2);
      length = std::min<uint16_t>(length, static_cast<uint16_t>(sqlvar_->SqlLen()));
      return std::string(data + 2, length);
    }
    case SQL_BLOB: {
      if (IsNull()) return std::string();
      TIBSQL& sql = *parent_->SQL();
      return ReadBlob(*sql.Database(), *sql.Transaction(), AsQuad());
    }
    default:
      return std::string(data, std::max<short>(sqlvar_->SqlLen(), 0));
  }
}

bool TIBXSQLVAR::RawInteger(int64_t& raw) const {
  const char* data = sqlvar_->SqlData();
  switch (SQLType()) {
    case SQL_SHORT: { int16_t v; std::memcpy(&v, data, 2); raw = v; return true; }
    case SQL_LONG: { int32_t v; std::memcpy(&v, data, 4); raw = v; return true; }
    case SQL_INT64: std::memcpy(&raw, data, 8); return true;
    default: return false;
  }
}

int64_t TIBXSQLVAR::AsInt64() const {
  if (IsNull()) return 0;
  const int scale = SQLScale();
  auto scaled = [&](int64_t raw) {
    if (scale < 0) return raw / Pow10(-scale);
    if (scale > 0) return raw * Pow10(scale);
    return raw;
  };
  int64_t raw = 0;
  if (RawInteger(raw)) return scaled(raw);
  switch (SQLType()) {
    case SQL_FLOAT: case SQL_DOUBLE: case SQL_D_FLOAT:
      return static_cast<int64_t>(AsDouble());
    case SQL_TEXT: case SQL_VARYING: {
      int64_t v = 0;
      if (!TryStrToInt64(Trim(AsString()), v)) IBError(ibceInvalidDataConversion);
      return v;
    }
    case kSqlBooleanFirebird: case kSqlBooleanInterBase:
      return AsBoolean() ? 1 : 0;
    default:
      IBError(ibceInvalidDataConversion);
  }
}

double TIBXSQLVAR::AsDouble() const {
  if (IsNull()) return 0;
  const char* data = sqlvar_->SqlData();
  const int scale = SQLScale();
  // Divided, not multiplied by 10^scale: powers of ten are exact as divisors
  // but not as negative powers, so only division gives the nearest double.
  auto scaled = [&](int64_t raw) {
    if (scale < 0) return static_cast<double>(raw) / std::pow(10.0, -scale);
    return scale == 0 ? static_cast<double>(raw) : static_cast<double>(raw) * std::pow(10.0, scale);
  };
  int64_t raw = 0;
  if (RawInteger(raw)) return scaled(raw);
  switch (SQLType()) {
    case SQL_FLOAT: { float v; std::memcpy(&v, data, 4); return v; }
    case SQL_DOUBLE: case SQL_D_FLOAT: { double v; std::memcpy(&v, data, 8); return v; }
    case SQL_TEXT: case SQL_VARYING: {
      double v = 0;
      if (!TryStrToFloat(Trim(AsString()), v, FormatSettings())) IBError(ibceInvalidDataConversion);
      return v;
    }
    default:
      IBError(ibceInvalidDataConversion);
  }
}

int64_t TIBXSQLVAR::AsCurrency() const {
  if (IsNull()) return 0;
  const int scale = SQLScale();
  int64_t raw = 0;
  if (!RawInteger(raw)) return static_cast<int64_t>(std::llround(AsDouble() * 10000.0));
  if (scale >= -4) {
    // Beyond the currency range the value has no ten-thousandths form.
    int64_t result = 0;
    if (__builtin_mul_overflow(raw, Pow10(4 + scale), &result)) IBError(ibceInvalidDataConversion);
    return result;
  }
  return static_cast<int64_t>(std::llround(static_cast<double>(raw) / Pow10(-scale - 4)));
}

bool TIBXSQLVAR::AsBoolean() const {
  if (IsNull()) return false;
  const char* data = sqlvar_->SqlData();
  switch (SQLType()) {
    case kSqlBooleanFirebird:
      return data[0] != 0;
    case kSqlBooleanInterBase: {
      int16_t v;
      std::memcpy(&v, data, 2);
      return v != 0;
    }
    case SQL_SHORT: case SQL_LONG: case SQL_INT64:
      return AsInt64() != 0;
    default:
      IBError(ibceInvalidDataConversion);
  }
}

ISC_QUAD TIBXSQLVAR::AsQuad() const {
  ISC_QUAD q{};
  switch (SQLType()) {
    case SQL_BLOB: case SQL_ARRAY: case SQL_QUAD:
      if (!IsNull()) std::memcpy(&q, sqlvar_->SqlData(), sizeof q);
      return q;
    default:
      IBError(ibceInvalidDataConversion);
  }
}

TDateTime TIBXSQLVAR::AsDateTime() const {
  if (IsNull()) return 0;
  const char* data = sqlvar_->SqlData();
  IGDSLibrary& lib = parent_->SQL()->Library();
  std::tm t{};
  bool has_date = true;
  switch (SQLType()) {
    case SQL_TEXT: case SQL_VARYING:
      return StrToDateTime(Trim(AsString()), FormatSettings());
    case SQL_TIMESTAMP: {
      ISC_QUAD q;
      std::memcpy(&q, data, sizeof q);
      lib.isc_decode_date(&q, &t);
      break;
    }
    case SQL_TYPE_TIME: {
      ISC_TIME v;
      std::memcpy(&v, data, sizeof v);
      lib.isc_decode_sql_time(&v, &t);
      has_date = false;
      break;
    }
    case SQL_TYPE_DATE: {
      ISC_DATE v;
      std::memcpy(&v, data, sizeof v);
      lib.isc_decode_sql_date(&v, &t);
      break;
    }
    default:
      IBError(ibceInvalidDataConversion);
  }
  TDateTime date = 0;
  if (has_date && !TryEncodeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, date))
    IBError(ibceInvalidDataConversion);
  TDateTime time = 0;
  if (!TryEncodeTime(t.tm_hour, t.tm_min, t.tm_sec, 0, time)) IBError(ibceInvalidDataConversion);
  return CombineDateTime(date, time);
}

String TIBXSQLVAR::AsString() const {
  if (IsNull()) return String();
  const TFormatSettings& fs = FormatSettings();
  switch (SQLType()) {
    case SQL_TEXT: {
      String text = DecodeFromConnection(std::string_view(sqlvar_->SqlData(),
                                                          std::max<short>(sqlvar_->SqlLen(), 0)));
      // Cut to the declared characters (a surrogate pair is one), not units.
      size_t limit = static_cast<size_t>(std::max<short>(sqlvar_->SqlLen(), 0)) /
                     static_cast<size_t>(BytesPerCharacter());
      text.resize(UnitsOfCharacters(text, limit));
      return text;
    }
    case SQL_VARYING:
      return DecodeFromConnection(AsBytes());
    case SQL_SHORT: case SQL_LONG: case SQL_INT64: {
      const int scale = SQLScale();
      if (scale == 0) return IntToStr(AsInt64());
      // The currency form's text, read from the stored digits themselves so
      // that values beyond the currency range keep every digit.
      int64_t raw = 0;
      if (scale < 0 && scale >= -4 && RawInteger(raw)) return ScaledToText(raw, -scale);
      if (scale >= -4) return ScaledToText(AsCurrency(), 4);
      return FloatToStr(AsDouble(), fs);
    }
    case SQL_FLOAT: case SQL_DOUBLE: case SQL_D_FLOAT:
      return FloatToStr(AsDouble(), fs);
    case SQL_TIMESTAMP:
      return DateTimeToStr(AsDateTime(), fs);
    case SQL_TYPE_TIME:
      return FormatDateTime(fs.LongTimeFormat, AsDateTime(), fs);
    case SQL_TYPE_DATE:
      if (parent_->SQL()->Dialect() >= 3) return FormatDateTime(fs.ShortDateFormat, AsDateTime(), fs);
      return DateTimeToStr(AsDateTime(), fs);
    case SQL_ARRAY:
      return u"(Array)";
    case kSqlBooleanFirebird: case kSqlBooleanInterBase:
      return AsBoolean() ? u"True" : u"False";
    case SQL_BLOB:
      return DecodeFromConnection(AsBytes());
    default:
      IBError(ibceInvalidDataConversion);
  }
}

}  // namespace kavo
