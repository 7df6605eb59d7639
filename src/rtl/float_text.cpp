#include "rtl/float_text.h"

#include <charconv>
#include <cmath>
#include <string>

#include "rtl/exceptions.h"
#include "rtl/format.h"

namespace kavo {

String FloatToStr(double value, const TFormatSettings& fs, int digits) {
  if (std::isnan(value)) return u"NAN";
  if (std::isinf(value)) return value < 0 ? u"-INF" : u"INF";
  if (value == 0) return u"0";  // also for -0
  if (digits < 1) digits = 1;
  if (digits > 17) digits = 17;
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
  std::string text(buf, res.ptr);
  String out;
  size_t e = text.find('e');
  std::string mantissa = text.substr(0, e);
  for (char c : mantissa) out += c == '.' ? fs.DecimalSeparator : static_cast<Char>(c);
  if (e != std::string::npos) {
    // to_chars writes e+20 / e-07; the program's form is E20 / E-7.
    int exponent = std::stoi(text.substr(e + 1));
    out += u'E';
    out += IntToStr(exponent);
  }
  return out;
}

String FloatToStr(double value) { return FloatToStr(value, FormatSettings()); }

bool TryStrToFloat(StringView text, double& value, const TFormatSettings& fs) {
  String t = Trim(text);
  if (t.empty()) return false;
  std::string ascii;
  bool separator_seen = false;
  for (Char c : t) {
    if (c == fs.DecimalSeparator) {
      if (separator_seen) return false;
      separator_seen = true;
      ascii += '.';
    } else if ((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'e' || c == u'E') {
      ascii += static_cast<char>(c);
    } else {
      return false;
    }
  }
  size_t start = ascii[0] == '+' ? 1 : 0;  // from_chars takes no leading '+'
  if (start < ascii.size() && ascii[start] == '-' && start == 1) return false;
  auto res = std::from_chars(ascii.data() + start, ascii.data() + ascii.size(), value);
  return res.ec == std::errc() && res.ptr == ascii.data() + ascii.size();
}

double StrToFloat(StringView text, const TFormatSettings& fs) {
  double value;
  if (!TryStrToFloat(text, value, fs))
    throw EConvertError(Format(u"'%s' is not a valid floating point value", {String(text)}));
  return value;
}

}  // namespace kavo
