#include "rtl/code_page.h"

#include <iconv.h>
#include <langinfo.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <clocale>
#include <cstdlib>
#include <memory>
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
// texts are converted per row: each thread keeps, per code page, its two
// converters open and what it learnt about the code page.
class CodePage {
 public:
  explicit CodePage(const std::string& name) : name_(name), utf8_(IsUtf8CodePage(name)) {}
  ~CodePage() {
    for (iconv_t cd : {encoder_, decoder_})
      if (cd != kClosed) iconv_close(cd);
  }
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  const std::string& Name() const { return name_; }
  bool Utf8() const { return utf8_; }
  // UTF-16LE to the code page and back; EConvertError when iconv does not
  // know the code page.
  iconv_t Encoder() { return Open(encoder_, name_, "UTF-16LE"); }
  iconv_t Decoder() { return Open(decoder_, "UTF-16LE", name_); }

  // The characters below this one are each their own byte, both ways (0x80
  // for most code pages, 0x100 for ISO-8859-1, 0 for one iconv does not know
  // or where even ASCII differs): text of them needs no converter.
  Char IdentityLimit() {
    if (limit_ < 0) limit_ = TestIdentity();
    return static_cast<Char>(limit_);
  }

 private:
  static inline const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);

  static iconv_t Open(iconv_t& cd, const std::string& to, const std::string& from) {
    if (cd != kClosed) return cd;
    cd = iconv_open(to.c_str(), from.c_str());
    if (cd == kClosed)
      throw EConvertError(u"Unknown code page: " + AsciiToString(from) + u" -> " +
                          AsciiToString(to));
    return cd;
  }

  // Each character alone, from the initial state and back to it, so that a
  // code page with shift states or escapes (UTF-7, ISO-2022) does not pass.
  // ASCII must pass whole; above it the limit is the first that fails.
  int TestIdentity() {
    try {
      iconv_t enc = Encoder(), dec = Decoder();
      for (int c = 0; c < 0x100; ++c) {
        Char unit = static_cast<Char>(c);
        char byte = static_cast<char>(c);
        char out[16];
        const char wide[2] = {static_cast<char>(c), 0};  // UTF-16LE
        if (Convert(enc, reinterpret_cast<char*>(&unit), 2, out) != std::string_view(&byte, 1) ||
            Convert(dec, &byte, 1, out) != std::string_view(wide, 2))
          return c < 0x80 ? 0 : c;
      }
      return 0x100;
    } catch (const EConvertError&) {
      return 0;
    }
  }

  static std::string_view Convert(iconv_t cd, char* in, size_t inleft, char (&out)[16]) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* o = out;
    size_t oleft = sizeof out;
    if (iconv(cd, &in, &inleft, &o, &oleft) == static_cast<size_t>(-1) || inleft != 0)
      return std::string_view();
    if (iconv(cd, nullptr, nullptr, &o, &oleft) == static_cast<size_t>(-1))
      return std::string_view();
    return std::string_view(out, static_cast<size_t>(o - out));
  }

  std::string name_;
  bool utf8_;
  iconv_t encoder_ = kClosed;
  iconv_t decoder_ = kClosed;
  int limit_ = -1;
};

CodePage& CodePageNamed(const std::string& name) {
  thread_local std::unordered_map<std::string, std::unique_ptr<CodePage>> pages;
  thread_local CodePage* last = nullptr;
  if (last != nullptr && last->Name() == name) return *last;
  std::unique_ptr<CodePage>& page = pages[name];
  if (!page) page = std::make_unique<CodePage>(name);
  last = page.get();
  return *last;
}

class Iconv {
 public:
  explicit Iconv(iconv_t cd) : cd_(cd) {
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

// Text whose characters are all below `limit` (0x80 or 0x100) narrowed to
// bytes, or false. Four characters at a time where the machine keeps the low
// byte first: this runs over every text column of every row.
bool NarrowBelow(StringView text, Char limit, std::string& out) {
  if (limit == 0) return false;
  const uint16_t high_bits = static_cast<uint16_t>(~(limit - 1));
  const size_t n = text.size();
  out.resize(n);
  const Char* p = text.data();
  char* o = out.data();
  uint64_t high = 0;
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 4 <= n; i += 4) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      high |= w;
      const uint32_t b = static_cast<uint32_t>((w & 0xFF) | ((w >> 8) & 0xFF00) |
                                               ((w >> 16) & 0xFF0000) | ((w >> 24) & 0xFF000000));
      std::memcpy(o + i, &b, 4);
    }
    high |= high >> 32;
    high |= high >> 16;
  }
  for (; i < n; ++i) {
    high |= p[i];
    o[i] = static_cast<char>(p[i]);
  }
  return (high & high_bits) == 0;
}

// Bytes all below `limit` widened to text, or false.
bool WidenBelow(std::string_view bytes, Char limit, String& out) {
  if (limit == 0) return false;
  const unsigned char high_bits = static_cast<unsigned char>(~(limit - 1));
  unsigned char high = 0;
  for (char c : bytes) high |= static_cast<unsigned char>(c);
  if ((high & high_bits) != 0) return false;
  out.resize(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) out[i] = static_cast<unsigned char>(bytes[i]);
  return true;
}

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
  static const char kUtf8[] = "UTF8";
  size_t matched = 0;
  for (char c : cp) {
    if (c == '-' || c == '_') continue;
    const char upper = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (matched == 4 || upper != kUtf8[matched]) return false;
    ++matched;
  }
  return matched == 4;
}

std::string StringToCodePage(StringView text, const std::string& code_page, char default_char,
                             bool* lossy) {
  if (lossy) *lossy = false;
  CodePage& cp = CodePageNamed(code_page);
  if (cp.Utf8()) return StringToUtf8(text);
  std::string out;
  if (NarrowBelow(text, cp.IdentityLimit(), out)) return out;
  out.clear();
  Iconv cv(cp.Encoder());
  // One character at a time after a failure, so each unmappable one becomes
  // exactly one default character. iconv only reads its input.
  char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
  size_t inleft = text.size() * sizeof(Char);
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
  CodePage& cp = CodePageNamed(code_page);
  if (cp.Utf8()) {
    String s = Utf8ToString(bytes);
    // Only valid UTF-8 comes back byte for byte; a U+FFFD that was written
    // as such is no loss.
    if (lossy && s.find(u'\xFFFD') != String::npos) *lossy = StringToUtf8(s) != bytes;
    return s;
  }
  if (String text; WidenBelow(bytes, cp.IdentityLimit(), text)) return text;
  Iconv cv(cp.Decoder());
  std::string out;
  char* in = const_cast<char*>(bytes.data());  // iconv only reads its input
  size_t inleft = bytes.size();
  while (!cv.Run(in, inleft, out)) {
    if (lossy) *lossy = true;
    out.push_back('\xFD');
    out.push_back('\xFF');
    // Some of glibc's decoders (CP949) consume a bad sequence at the end
    // before they report it.
    if (inleft == 0) break;
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
