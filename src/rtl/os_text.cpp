#include "rtl/os_text.h"

#include <cstdint>

namespace kavo {
namespace {

constexpr Char kEscapeBase = 0xDC00;  // + a byte of 0x80..0xFF

// The length of the valid UTF-8 sequence at `i`, or 0.
size_t ValidSequence(std::string_view in, size_t i, uint32_t& cp) {
  unsigned char c = static_cast<unsigned char>(in[i]);
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  size_t extra;
  if ((c & 0xE0) == 0xC0) {
    cp = c & 0x1F;
    extra = 1;
  } else if ((c & 0xF0) == 0xE0) {
    cp = c & 0x0F;
    extra = 2;
  } else if ((c & 0xF8) == 0xF0) {
    cp = c & 0x07;
    extra = 3;
  } else {
    return 0;
  }
  if (i + extra >= in.size()) return 0;
  for (size_t k = 1; k <= extra; ++k) {
    unsigned char cc = static_cast<unsigned char>(in[i + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3F);
  }
  // Overlong forms and encoded surrogates are not valid UTF-8: kept as bytes,
  // they cannot be confused with the escapes.
  static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return extra + 1;
}

}  // namespace

String OsTextToString(std::string_view in) {
  String out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size();) {
    uint32_t cp;
    size_t n = ValidSequence(in, i, cp);
    if (n == 0) {
      out.push_back(static_cast<Char>(kEscapeBase + static_cast<unsigned char>(in[i])));
      ++i;
      continue;
    }
    i += n;
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

std::string StringToOsText(StringView text) {
  std::string out;
  out.reserve(text.size());
  size_t run = 0;  // start of the text not yet written
  for (size_t i = 0; i < text.size(); ++i) {
    Char c = text[i];
    bool high = c >= 0xD800 && c <= 0xDBFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    if (c < 0xD800 || c > 0xDFFF) continue;
    out += StringToUtf8(text.substr(run, i - run));
    if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF)
      out.push_back(static_cast<char>(c - kEscapeBase));
    else
      out += "\xEF\xBF\xBD";
    run = i + 1;
  }
  out += StringToUtf8(text.substr(run));
  return out;
}

}  // namespace kavo
