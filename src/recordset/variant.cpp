#include "recordset/variant.h"

#include <algorithm>
#include <cmath>

#include "rtl/bcd.h"
#include "rtl/code_page.h"
#include "rtl/exceptions.h"
#include "rtl/float_text.h"
#include "rtl/format_settings.h"

namespace kavo {

namespace {

[[noreturn]] void ConversionFailed(StringView what) {
  throw EConvertError(u"Could not convert variant to " + String(what));
}

// Parses "d/m/y" in the settings' order, then optional "h:n[:s]" and an AM/PM marker.
// Its own grammar, not rtl's TryStrToDateTime: '/', '-' and '.' always separate
// the date, and a date is required.
bool TryStrToDateTime(StringView text, TDateTime& out) {
  const TFormatSettings& fs = FormatSettings();
  String t = Trim(text);
  size_t pos = 0;
  auto number = [&](int& n) {
    while (pos < t.size() && t[pos] == u' ') ++pos;
    size_t start = pos;
    n = 0;
    while (pos < t.size() && t[pos] >= u'0' && t[pos] <= u'9' && pos - start < 5)
      n = n * 10 + (t[pos++] - u'0');
    return pos > start;
  };
  // The order of day, month and year in the short date pattern.
  String order;
  for (Char c : UpperCase(fs.ShortDateFormat))
    if ((c == u'D' || c == u'M' || c == u'Y') && order.find(c) == String::npos) order += c;
  if (order.size() != 3) order = u"MDY";
  int parts[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    if (!number(parts[i])) return false;
    if (i < 2) {
      if (pos >= t.size() || (t[pos] != fs.DateSeparator && t[pos] != u'/' && t[pos] != u'-' &&
                              t[pos] != u'.'))
        return false;
      ++pos;
    }
  }
  int y = 0, m = 0, d = 0;
  for (int i = 0; i < 3; ++i) {
    if (order[i] == u'Y') y = parts[i];
    if (order[i] == u'M') m = parts[i];
    if (order[i] == u'D') d = parts[i];
  }
  if (y < 100) y += y < 50 ? 2000 : 1900;  // two-digit years
  TDateTime date;
  if (!TryEncodeDate(y, m, d, date)) return false;
  int h = 0, n = 0, s = 0;
  while (pos < t.size() && t[pos] == u' ') ++pos;
  if (pos < t.size()) {
    if (!number(h) || pos >= t.size() || (t[pos] != fs.TimeSeparator && t[pos] != u':'))
      return false;
    ++pos;
    if (!number(n)) return false;
    if (pos < t.size() && (t[pos] == fs.TimeSeparator || t[pos] == u':')) {
      ++pos;
      if (!number(s)) return false;
    }
    String rest = UpperCase(Trim(t.substr(pos)));
    if (!rest.empty()) {
      if (rest == UpperCase(fs.TimePMString) || rest == u"PM") {
        if (h < 12) h += 12;
      } else if (rest == UpperCase(fs.TimeAMString) || rest == u"AM") {
        if (h == 12) h = 0;
      } else {
        return false;
      }
    }
  }
  TDateTime time;
  if (!TryEncodeTime(h, n, s, 0, time)) return false;
  out = CombineDateTime(date, time);
  return true;
}

}  // namespace

OraVariant OraVariant::Null() {
  OraVariant v;
  v.kind_ = vkNull;
  return v;
}

OraVariant OraVariant::Date(TDateTime value) {
  OraVariant v;
  v.kind_ = vkDate;
  v.double_ = value;
  return v;
}

OraVariant OraVariant::Ansi(std::string bytes) {
  OraVariant v;
  v.kind_ = vkAnsiString;
  v.ansi_ = std::move(bytes);
  return v;
}

OraVariant OraVariant::Bytes(std::vector<uint8_t> bytes) {
  OraVariant v;
  v.kind_ = vkByteArray;
  v.bytes_ = std::move(bytes);
  return v;
}

OraVariant OraVariant::Array(std::vector<OraVariant> items, int32_t low_bound) {
  OraVariant v;
  v.kind_ = vkArray;
  v.items_ = std::move(items);
  v.low_bound_ = low_bound;
  return v;
}

OraVariant OraVariant::Decimal(String text) {
  OraVariant v;
  v.kind_ = vkDecimal;
  v.wide_ = std::move(text);
  return v;
}

int32_t OraVariant::AsInteger() const {
  if (kind_ == vkEmpty) return 0;
  if (kind_ == vkBoolean || kind_ == vkInteger) return int_;
  int32_t n;
  if (IsString() && TryStrToInt(AsString(), n)) return n;
  if (kind_ == vkByteArray || kind_ == vkArray || kind_ == vkNull) ConversionFailed(u"Integer");
  double r = std::nearbyint(AsDouble());
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) ConversionFailed(u"Integer");
  return static_cast<int32_t>(r);
}

double OraVariant::AsDouble() const {
  switch (kind_) {
    case vkEmpty:
      return 0;
    case vkBoolean:
    case vkInteger:
      return int_;
    case vkDouble:
    case vkDate:
      return double_;
    case vkAnsiString:
    case vkString:
      return StrToFloat(AsString(), FormatSettings());
    case vkDecimal:
      return BcdToDouble(StrToBcd(wide_));
    default:
      ConversionFailed(u"Double");
  }
}

TDateTime OraVariant::AsDateTime() const {
  if (kind_ == vkAnsiString || kind_ == vkString) return StrToDateTime(AsString());
  if (kind_ == vkByteArray || kind_ == vkArray || kind_ == vkNull) ConversionFailed(u"Date");
  return AsDouble();
}

bool OraVariant::AsBoolean() const {
  if (kind_ == vkAnsiString || kind_ == vkString) {
    String s = UpperCase(Trim(AsString()));
    if (s == u"TRUE") return true;
    if (s == u"FALSE") return false;
  }
  return AsDouble() != 0;
}

String OraVariant::AsString() const {
  switch (kind_) {
    case vkEmpty:
      return String();
    case vkBoolean:
      return int_ ? u"True" : u"False";
    case vkInteger:
      return IntToStr(int_);
    case vkDouble:
      return FloatToStr(double_);
    case vkDate:
      return DateTimeToStr(double_, FormatSettings());
    case vkAnsiString:
      return AnsiToString(ansi_);
    case vkString:
      return wide_;
    case vkDecimal: {
      String text = wide_;
      std::replace(text.begin(), text.end(), u'.', FormatSettings().DecimalSeparator);
      return text;
    }
    case vkByteArray:
      return AnsiToString(std::string(bytes_.begin(), bytes_.end()));
    default:
      ConversionFailed(u"String");
  }
}

std::string OraVariant::AsAnsi() const {
  if (kind_ == vkAnsiString) return ansi_;
  if (kind_ == vkByteArray) return std::string(bytes_.begin(), bytes_.end());
  return StringToAnsi(AsString());
}

bool OraVariant::operator==(const OraVariant& o) const {
  if (kind_ != o.kind_) return false;
  switch (kind_) {
    case vkEmpty:
    case vkNull:
      return true;
    case vkBoolean:
    case vkInteger:
      return int_ == o.int_;
    case vkDouble:
    case vkDate:
      return double_ == o.double_;
    case vkAnsiString:
      return ansi_ == o.ansi_;
    case vkString:
    case vkDecimal:
      return wide_ == o.wide_;
    case vkByteArray:
      return bytes_ == o.bytes_;
    case vkArray:
      return low_bound_ == o.low_bound_ && items_ == o.items_;
  }
  return false;
}

TDateTime StrToDateTime(StringView text) {
  TDateTime v;
  if (!TryStrToDateTime(text, v))
    throw EConvertError(u"'" + String(text) + u"' is not a valid date and time");
  return v;
}

}  // namespace kavo
