#include "rtl/code_page.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include "rtl/exceptions.h"

namespace kavo {
namespace {

std::mutex g_ansi_mutex;
std::string* g_ansi = nullptr;

bool KnownCodePage(const std::string& name) {
  if (IsUtf8CodePage(name)) return true;
  const char* cp = name.c_str();
  for (auto [to, from] : {std::pair{cp, "UTF-16LE"}, std::pair{"UTF-16LE", cp}}) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(cd);
  }
  return true;
}

std::string DetectAnsi() {
  if (const char* env = std::getenv("KAVO_ANSI_CODEPAGE"); env && *env) {
    // Said at once, not at the first text that happens to be converted.
    if (!KnownCodePage(env))
      throw EConvertError(u"Unknown code page \"" + Utf8ToString(env) +
                          u"\" (KAVO_ANSI_CODEPAGE)");
    return env;
  }
  // The code set of the process locale; "C"/"POSIX" report ANSI_X3.4-1968.
  locale_t loc = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
  std::string cs;
  if (loc != static_cast<locale_t>(0)) {
    cs = nl_langinfo_l(CODESET, loc);
    freelocale(loc);
  }
  return cs.empty() ? std::string("ANSI_X3.4-1968") : cs;
}

// Opening a converter costs far more than converting one column value, and
// texts are converted per row: each thread keeps its converters open.
class ConverterCache {
 public:
  ~ConverterCache() {
    for (auto& [key, cd] : open_) iconv_close(cd);
  }
  iconv_t Get(const std::string& to, const std::string& from) {
    auto key = to + '\n' + from;
    auto it = open_.find(key);
    if (it != open_.end()) return it->second;
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
      throw EConvertError(u"Unknown code page: " + AsciiToString(from) + u" -> " +
                          AsciiToString(to));
    open_.emplace(std::move(key), cd);
    return cd;
  }

 private:
  std::unordered_map<std::string, iconv_t> open_;
};

class Iconv {
 public:
  Iconv(const std::string& to, const std::string& from) {
    thread_local ConverterCache cache;
    cd_ = cache.Get(to, from);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts as much as possible; returns false at an unconvertible or
  // invalid sequence, leaving `in`/`inleft` pointing at it.
  bool Run(char*& in, size_t& inleft, std::string& out) {
    char buf[1024];
    while (inleft > 0) {
      char* o = buf;
      size_t oleft = sizeof buf;
      size_t r = iconv(cd_, &in, &inleft, &o, &oleft);
      out.append(buf, o - buf);
      if (r == static_cast<size_t>(-1)) {
        if (errno == E2BIG) continue;
        return false;
      }
    }
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

const std::string& AnsiCodePage() {
  std::lock_guard<std::mutex> lock(g_ansi_mutex);
  if (!g_ansi) g_ansi = new std::string(DetectAnsi());
  return *g_ansi;
}

void SetAnsiCodePage(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_ansi_mutex);
  if (!g_ansi) g_ansi = new std::string(name);
  else *g_ansi = name;
}

bool IsUtf8CodePage(const std::string& cp) {
  std::string u;
  for (char c : cp)
    if (c != '-' && c != '_') u.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
  return u == "UTF8";
}

std::string StringToCodePage(StringView text, const std::string& code_page, char default_char,
                             bool* lossy) {
  if (lossy) *lossy = false;
  if (IsUtf8CodePage(code_page)) return StringToUtf8(text);
  Iconv cv(code_page, "UTF-16LE");
  std::string out;
  // One character at a time after a failure, so each unmappable one becomes
  // exactly one default character.
  std::u16string src(text);
  char* in = reinterpret_cast<char*>(src.data());
  size_t inleft = src.size() * sizeof(Char);
  while (!cv.Run(in, inleft, out)) {
    if (lossy) *lossy = true;
    out.push_back(default_char);
    size_t skip = 2;
    uint16_t unit = static_cast<uint16_t>(static_cast<unsigned char>(in[0]) |
                                          (static_cast<unsigned char>(in[1]) << 8));
    if (unit >= 0xD800 && unit <= 0xDBFF && inleft >= 4) skip = 4;
    if (skip > inleft) skip = inleft;
    in += skip;
    inleft -= skip;
  }
  return out;
}

String CodePageToString(std::string_view bytes, const std::string& code_page, bool* lossy) {
  if (lossy) *lossy = false;
  if (IsUtf8CodePage(code_page)) {
    String s = Utf8ToString(bytes);
    // Only valid UTF-8 comes back byte for byte; a U+FFFD that was written
    // as such is no loss.
    if (lossy && s.find(u'\xFFFD') != String::npos) *lossy = StringToUtf8(s) != bytes;
    return s;
  }
  Iconv cv("UTF-16LE", code_page);
  std::string out;
  std::string src(bytes);
  char* in = src.data();
  size_t inleft = src.size();
  while (!cv.Run(in, inleft, out)) {
    if (lossy) *lossy = true;
    out.push_back('\xFD');
    out.push_back('\xFF');
    ++in;
    --inleft;
  }
  String result(out.size() / 2, u'\0');
  for (size_t i = 0; i < result.size(); ++i)
    result[i] = static_cast<Char>(static_cast<unsigned char>(out[2 * i]) |
                                  (static_cast<unsigned char>(out[2 * i + 1]) << 8));
  return result;
}

std::string StringToAnsi(StringView text) { return StringToCodePage(text, AnsiCodePage()); }
String AnsiToString(std::string_view bytes) { return CodePageToString(bytes, AnsiCodePage()); }

size_t CharByteLength(std::string_view bytes, size_t pos, const std::string& code_page) {
  if (pos >= bytes.size()) return 0;
  size_t avail = bytes.size() - pos;
  if (!IsUtf8CodePage(code_page)) {
    // Multi-byte legacy code pages: ask iconv how long the first character is.
    static const char* kSingle[] = {"CP125", "ISO-8859", "ISO8859", "ANSI_X3", "ASCII",
                                    "WINDOWS-125", "LATIN", "KOI8", "CP437", "CP850"};
    std::string up;
    for (char c : code_page) up.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
    for (const char* p : kSingle)
      if (up.rfind(p, 0) == 0) return 1;
    for (size_t len = 1; len <= 4 && len <= avail; ++len) {
      bool lossy = false;
      String s = CodePageToString(bytes.substr(pos, len), code_page, &lossy);
      if (!lossy && !s.empty()) return len;
    }
    return 1;
  }
  unsigned char c = static_cast<unsigned char>(bytes[pos]);
  size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
  for (size_t k = 1; k < n; ++k)
    if (k >= avail || (static_cast<unsigned char>(bytes[pos + k]) & 0xC0) != 0x80) return k;
  return n;
}

std::string CutWholeCharacters(std::string_view bytes, size_t max, const std::string& code_page) {
  if (bytes.size() <= max) return std::string(bytes);
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t n = std::max<size_t>(1, CharByteLength(bytes, pos, code_page));
    if (pos + n > max) break;
    pos += n;
  }
  return std::string(bytes.substr(0, pos));
}

}  // namespace kavo
