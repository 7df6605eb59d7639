#include "rtl/os_text.h"

namespace kavo {
namespace {

constexpr Char kEscapeBase = 0xDC00;  // + a byte of 0x80..0xFF

}  // namespace

String OsTextToString(std::string_view bytes) {
  return Utf8ToString(bytes,
                      [](unsigned char byte) { return static_cast<Char>(kEscapeBase + byte); });
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
