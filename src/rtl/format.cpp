#include "rtl/format.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "rtl/exceptions.h"

namespace kavo {

namespace {

EConvertError BadFormat(StringView fmt) {
  return EConvertError(u"Format '" + String(fmt) + u"' invalid or incompatible with argument");
}

// The digits at `j` (appended to `conv`) as a number, -1 when there are none;
// more than kMaxFormatWidth is a bad format.
int ReadNumber(StringView fmt, size_t& j, std::string& conv) {
  int value = -1;
  while (j < fmt.size() && fmt[j] >= u'0' && fmt[j] <= u'9') {
    value = std::max(value, 0) * 10 + (fmt[j] - u'0');
    if (value > kMaxFormatWidth) throw BadFormat(fmt);
    conv.push_back(static_cast<char>(fmt[j++]));
  }
  return value;
}

// One printf conversion, however long its result.
template <typename T>
String Printf(const std::string& conv, T value) {
  int n = std::snprintf(nullptr, 0, conv.c_str(), value);
  if (n <= 0) return String();
  std::string text(static_cast<size_t>(n), '\0');
  std::snprintf(text.data(), text.size() + 1, conv.c_str(), value);
  return AsciiToString(text);
}

}  // namespace

String Format(StringView fmt, std::initializer_list<FormatArg> args) {
  String out;
  auto next = args.begin();
  for (size_t i = 0; i < fmt.size(); ++i) {
    Char c = fmt[i];
    if (c != u'%') {
      out.push_back(c);
      continue;
    }
    if (i + 1 < fmt.size() && fmt[i + 1] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    // %[-][width][.prec]type, copied for snprintf as written ("%05d" pads
    // with zeros).
    std::string conv = "%";
    size_t j = i + 1;
    if (j < fmt.size() && fmt[j] == u'-') conv.push_back(static_cast<char>(fmt[j++]));
    bool left = conv.size() > 1;
    int width = ReadNumber(fmt, j, conv);
    int prec = -1;
    if (j < fmt.size() && fmt[j] == u'.') {
      conv.push_back(static_cast<char>(fmt[j++]));
      prec = std::max(ReadNumber(fmt, j, conv), 0);
    }
    if (j >= fmt.size()) throw BadFormat(fmt);
    Char type = fmt[j];
    if (next == args.end()) throw BadFormat(fmt);
    const auto& v = next->value();
    ++next;
    switch (type) {
      case u's': case u'S': {
        if (!std::holds_alternative<String>(v)) throw BadFormat(fmt);
        const String& s = std::get<String>(v);
        // Width and precision for texts count UTF-16 units.
        String t = prec >= 0 && static_cast<size_t>(prec) < s.size() ? s.substr(0, prec) : s;
        String pad(width > static_cast<int>(t.size()) ? width - t.size() : 0, u' ');
        out += left ? t + pad : pad + t;
        break;
      }
      case u'd': case u'D': case u'u': case u'U': case u'x': case u'X': {
        if (!std::holds_alternative<int64_t>(v)) throw BadFormat(fmt);
        int64_t n = std::get<int64_t>(v);
        if (type == u'x' || type == u'X') {
          out += Printf(conv + "llX", static_cast<unsigned long long>(n));
        } else if (type == u'u' || type == u'U') {
          out += Printf(conv + "llu", static_cast<unsigned long long>(static_cast<uint32_t>(n)));
        } else {
          out += Printf(conv + "lld", static_cast<long long>(n));
        }
        break;
      }
      case u'f': case u'g': case u'e': case u'F': case u'G': case u'E': {
        double d;
        if (std::holds_alternative<double>(v)) d = std::get<double>(v);
        else if (std::holds_alternative<int64_t>(v)) d = static_cast<double>(std::get<int64_t>(v));
        else throw BadFormat(fmt);
        out += Printf(conv + static_cast<char>(type), d);
        break;
      }
      default:
        throw BadFormat(fmt);
    }
    i = j;
  }
  return out;
}

}  // namespace kavo
