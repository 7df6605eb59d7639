#include "platform/ini_file.h"

#include <string>

#include "platform/regular_file.h"
#include "rtl/code_page.h"

namespace kavo {
namespace {

bool IsBlank(Char c) { return c == u' ' || c == u'\t'; }

StringView TrimBlanks(StringView s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// `bytes` after a UTF-16 byte-order mark; a last odd byte is no character.
String Utf16ToString(std::string_view bytes, bool big_endian) {
  String text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    auto hi = static_cast<unsigned char>(bytes[2 * i + (big_endian ? 0 : 1)]);
    auto lo = static_cast<unsigned char>(bytes[2 * i + (big_endian ? 1 : 0)]);
    text[i] = static_cast<Char>(hi << 8 | lo);
  }
  return text;
}

String Unquote(StringView v) {
  if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  if (v.size() > IniFile::kMaxValueLength) v = v.substr(0, IniFile::kMaxValueLength);
  return String(v);
}

}  // namespace

String IniFile::ReadFromText(StringView content, StringView section, StringView key,
                             StringView default_value) {
  bool in_section = false;
  size_t pos = 0;
  while (pos <= content.size()) {
    size_t eol = content.find_first_of(u"\r\n", pos);
    if (eol == StringView::npos) eol = content.size();
    StringView line = TrimBlanks(content.substr(pos, eol - pos));
    pos = eol + (content.substr(eol, 2) == u"\r\n" ? 2 : 1);
    if (line.empty() || line.front() == u';' || line.front() == u'#') continue;
    if (line.front() == u'[') {
      size_t close = line.find(u']');
      StringView name = close == StringView::npos ? line.substr(1) : line.substr(1, close - 1);
      in_section = SameText(TrimBlanks(name), section);
      continue;
    }
    if (!in_section) continue;
    size_t eq = line.find(u'=');
    if (eq == StringView::npos) continue;
    if (!SameText(TrimBlanks(line.substr(0, eq)), key)) continue;
    return Unquote(TrimBlanks(line.substr(eq + 1)));
  }
  return String(default_value);
}

namespace {

String DecodeIni(std::string_view b) {
  if (b.substr(0, 3) == "\xEF\xBB\xBF") return Utf8ToString(b.substr(3));
  if (b.substr(0, 2) == "\xFF\xFE") return Utf16ToString(b.substr(2), false);
  if (b.substr(0, 2) == "\xFE\xFF") return Utf16ToString(b.substr(2), true);
  return AnsiToString(b);
}

}  // namespace

void IniFile::Load() {
  content_ = DecodeIni(ReadRegularFile(path_, kMaxFileSize));
  loaded_ = true;
}

String IniFile::ReadString(StringView section, StringView key, StringView default_value) const {
  if (loaded_) return ReadFromText(content_, section, key, default_value);
  return ReadFromText(DecodeIni(ReadRegularFile(path_, kMaxFileSize)), section, key,
                      default_value);
}

}  // namespace kavo
