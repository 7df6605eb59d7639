#include "rtl/format.h"

#include <cstdio>
#include <string>

#include "rtl/exceptions.h"

namespace kavo {

static EConvertError BadFormat(StringView fmt) {
  return EConvertError(u"Format '" + String(fmt) + u"' invalid or incompatible with argument");
}

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
    // %[-][width][.prec]type
    std::string conv = "%";
    size_t j = i + 1;
    while (j < fmt.size() && (fmt[j] == u'-' || (fmt[j] >= u'0' && fmt[j] <= u'9') || fmt[j] == u'.'))
      conv.push_back(static_cast<char>(fmt[j++]));
    if (j >= fmt.size()) throw BadFormat(fmt);
    Char type = fmt[j];
    if (next == args.end()) throw BadFormat(fmt);
    const auto& v = next->value();
    ++next;
    char buf[512];
    switch (type) {
      case u's': case u'S': {
        if (!std::holds_alternative<String>(v)) throw BadFormat(fmt);
        const String& s = std::get<String>(v);
        // Width and precision for texts count UTF-16 units.
        size_t dot = conv.find('.');
        bool left = conv.size() > 1 && conv[1] == '-';
        int width = 0, prec = -1;
        std::string w = conv.substr(left ? 2 : 1, dot == std::string::npos ? std::string::npos
                                                                           : dot - (left ? 2 : 1));
        if (!w.empty()) width = std::stoi(w);
        if (dot != std::string::npos) prec = std::stoi("0" + conv.substr(dot + 1));
        String t = prec >= 0 && static_cast<size_t>(prec) < s.size() ? s.substr(0, prec) : s;
        String pad(width > static_cast<int>(t.size()) ? width - t.size() : 0, u' ');
        out += left ? t + pad : pad + t;
        break;
      }
      case u'd': case u'D': case u'u': case u'U': case u'x': case u'X': {
        if (!std::holds_alternative<int64_t>(v)) throw BadFormat(fmt);
        int64_t n = std::get<int64_t>(v);
        if (type == u'x' || type == u'X') {
          conv += "llX";
          std::snprintf(buf, sizeof buf, conv.c_str(), static_cast<unsigned long long>(n));
        } else if (type == u'u' || type == u'U') {
          conv += "llu";
          std::snprintf(buf, sizeof buf, conv.c_str(),
                        static_cast<unsigned long long>(static_cast<uint32_t>(n)));
        } else {
          conv += "lld";
          std::snprintf(buf, sizeof buf, conv.c_str(), static_cast<long long>(n));
        }
        out += AsciiToString(buf);
        break;
      }
      case u'f': case u'g': case u'e': case u'F': case u'G': case u'E': {
        double d;
        if (std::holds_alternative<double>(v)) d = std::get<double>(v);
        else if (std::holds_alternative<int64_t>(v)) d = static_cast<double>(std::get<int64_t>(v));
        else throw BadFormat(fmt);
        conv.push_back(static_cast<char>(type));
        std::snprintf(buf, sizeof buf, conv.c_str(), d);
        out += AsciiToString(buf);
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
