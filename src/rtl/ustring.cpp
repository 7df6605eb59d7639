#include "rtl/ustring.h"

#include <cstring>

#include "rtl/system.h"

namespace kavo {

String Utf8ToString(std::string_view in) {
  return Utf8ToString(in, [](unsigned char) -> Char { return 0xFFFD; });
}

String Utf8ToString(std::string_view in, Char (*invalid)(unsigned char byte)) {
  String out;
  out.reserve(in.size());
  size_t i = 0;
  const size_t n = in.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    uint32_t cp;
    int extra;
    if (c < 0x80) { out.push_back(c); ++i; continue; }
    if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
    else { out.push_back(invalid(c)); ++i; continue; }
    if (i + extra >= n) { out.push_back(invalid(c)); ++i; continue; }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      unsigned char cc = static_cast<unsigned char>(in[i + k]);
      if ((cc & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (cc & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(invalid(c));
      ++i;
      continue;
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<Char>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<Char>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<Char>(cp));
    }
  }
  return out;
}

bool HasLoneSurrogate(StringView text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const Char u = text[i];
    if (u < 0xD800 || u > 0xDFFF) continue;
    if (u > 0xDBFF || i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
      return true;
    ++i;
  }
  return false;
}

std::string StringToUtf8(StringView in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    uint32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
        in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

String AsciiToString(std::string_view ascii) {
  String out;
  out.reserve(ascii.size());
  for (char c : ascii) out.push_back(static_cast<unsigned char>(c));
  return out;
}

std::string Utf16Bytes(StringView text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(Char));
}

String TextOfUtf16Bytes(std::string_view bytes) {
  String text(bytes.size() / sizeof(Char), Char());
  if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(Char));
  return text;
}

String IntToStr(int64_t value) { return AsciiToString(std::to_string(value)); }
String UIntToStr(uint64_t value) { return AsciiToString(std::to_string(value)); }

String IntToHex(uint64_t value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  String out;
  do {
    out.insert(out.begin(), static_cast<Char>(kHex[value & 0xF]));
    value >>= 4;
  } while (value != 0);
  while (static_cast<int>(out.size()) < digits) out.insert(out.begin(), u'0');
  return out;
}

Char UpCaseBeyondAscii(Char c) {
  if (c < 0x80) return UpCase(c);
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  return sys::UpCaseChar(c);
}

static Char LowCase(Char c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<Char>(c + 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  return sys::LowCaseChar(c);
}

String UpperCase(StringView s) {
  String out(s);
  for (auto& c : out) c = UpCase(c);
  return out;
}

String LowerCase(StringView s) {
  String out(s);
  for (auto& c : out) c = LowCase(c);
  return out;
}

bool SameText(StringView a, StringView b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpCase(a[i]) != UpCase(b[i])) return false;
  return true;
}

String TrimLeft(StringView s) {
  size_t b = 0;
  while (b < s.size() && s[b] <= u' ') ++b;
  return String(s.substr(b));
}

String TrimRight(StringView s) {
  size_t e = s.size();
  while (e > 0 && s[e - 1] <= u' ') --e;
  return String(s.substr(0, e));
}

String Trim(StringView s) { return TrimLeft(TrimRight(s)); }

String ReplaceAll(StringView s, StringView from, StringView to) {
  if (from.empty()) return String(s);
  String out;
  size_t pos = 0;
  for (;;) {
    size_t hit = s.find(from, pos);
    if (hit == StringView::npos) break;
    out.append(s.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(s.substr(pos));
  return out;
}

bool StartsText(StringView prefix, StringView s) {
  return s.size() >= prefix.size() && SameText(prefix, s.substr(0, prefix.size()));
}

bool TryStrToInt(StringView s, int32_t& value) {
  size_t i = 0;
  while (i < s.size() && s[i] == u' ') ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
    neg = s[i] == u'-';
    ++i;
  }
  int base = 10;
  if (i < s.size() && (s[i] == u'$' || s[i] == u'x' || s[i] == u'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return false;
  uint64_t acc = 0;
  for (; i < s.size(); ++i) {
    Char c = s[i];
    int d;
    if (c >= u'0' && c <= u'9') d = c - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f') d = c - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F') d = c - u'A' + 10;
    else return false;
    acc = acc * base + d;
    if (acc > 0xFFFFFFFFull) return false;
  }
  if (base == 16) {
    // Hexadecimal texts may name the full 32-bit pattern (FFFFFFFF is -1).
    uint32_t bits = static_cast<uint32_t>(acc);
    int32_t v = static_cast<int32_t>(bits);
    value = neg ? static_cast<int32_t>(0u - bits) : v;
    return true;
  }
  if (neg) {
    if (acc > 0x80000000ull) return false;
    value = static_cast<int32_t>(-static_cast<int64_t>(acc));
  } else {
    if (acc > 0x7FFFFFFFull) return false;
    value = static_cast<int32_t>(acc);
  }
  return true;
}

int32_t StrToIntDef(StringView s, int32_t def) {
  int32_t v;
  return TryStrToInt(s, v) ? v : def;
}

}  // namespace kavo
