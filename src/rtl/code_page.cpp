#include "rtl/code_page.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <clocale>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "rtl/exceptions.h"
#include "rtl/system.h"

namespace kavo {
namespace {

// Read on every conversion, so without a lock. A name once published stays
// alive (callers hold references to it); one copy per distinct name.
std::mutex g_ansi_mutex;
std::atomic<const std::string*> g_ansi{nullptr};
// CodePageIdentityLimit of the ANSI code page; -1 until asked after a change.
std::atomic<int> g_ansi_limit{-1};

const std::string* KeptName(const std::string& name) {
  static std::vector<std::unique_ptr<const std::string>> kept;
  for (const auto& k : kept)
    if (*k == name) return k.get();
  kept.push_back(std::make_unique<const std::string>(name));
  return kept.back().get();
}

bool KnownCodePage(const std::string& name) {
  if (IsUtf8CodePage(name)) return true;
  const char* cp = name.c_str();
  for (auto [to, from] : {std::pair{cp, "UTF-16LE"}, std::pair{"UTF-16LE", cp}}) {
    sys::Converter cd = sys::OpenConverter(to, from);
    if (cd == sys::kNoConverter) return false;
    sys::CloseConverter(cd);
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
  return sys::ProcessCodeSet();
}

// A code page's name upper-cased without its '-' and '_', so that the
// spellings of one name compare equal ("utf-8", "UTF8", "iso_8859-1").
std::string SpellingFree(const std::string& name) {
  std::string n;
  for (char c : name)
    if (c != '-' && c != '_') n += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return n;
}

// Opening a converter costs far more than converting one column value, and
// texts are converted per row: each thread keeps, per code page, its two
// converters open and what it learnt about the code page.
class CodePage {
 public:
  explicit CodePage(const std::string& name) : name_(name), utf8_(IsUtf8CodePage(name)) {}
  ~CodePage() {
    for (sys::Converter cd : {encoder_, decoder_})
      if (cd != kClosed) sys::CloseConverter(cd);
  }
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  const std::string& Name() const { return name_; }
  bool Utf8() const { return utf8_; }
  // UTF-16LE to the code page and back; EConvertError when iconv does not
  // know the code page.
  sys::Converter Encoder() { return Open(encoder_, name_, "UTF-16LE"); }
  sys::Converter Decoder() { return Open(decoder_, "UTF-16LE", name_); }

  // The characters below this one are each their own byte, both ways (0x80
  // for most code pages, 0x100 for ISO-8859-1, 0 for one iconv does not know
  // or where even ASCII differs): text of them needs no converter.
  Char IdentityLimit() {
    if (limit_ < 0) limit_ = TestIdentity();
    return static_cast<Char>(limit_);
  }

  // For the single-byte code pages glibc decodes byte by byte (no shift
  // states, no composition of combining marks), what each byte decodes to,
  // kInvalidByte where it is invalid; null for any other code page. Texts
  // above ASCII are read through it instead of through iconv.
  static constexpr Char kInvalidByte = 0xFFFF;
  const Char* DecodeTable() {
    if (!table_tried_) {
      table_tried_ = true;
      if (TableDecodable(name_)) BuildDecodeTable();
    }
    return table_.empty() ? nullptr : table_.data();
  }

  // The other way, for the characters at or above the identity limit that
  // some byte reads as: each with the byte iconv writes for it, in character
  // order. Empty when there is no table.
  const std::vector<std::pair<Char, char>>& EncodeTable() {
    if (!encode_built_) {
      encode_built_ = true;
      const Char limit = IdentityLimit();
      if (const Char* table = DecodeTable()) {
        try {
          sys::Converter enc = Encoder();
          for (int b = 0; b < 256; ++b) {
            Char unit = table[b];
            if (unit == kInvalidByte || unit < limit) continue;
            char out[16];
            std::string_view byte = Convert(enc, reinterpret_cast<char*>(&unit), 2, out);
            if (byte.size() == 1) encode_.emplace_back(unit, byte[0]);
          }
        } catch (const EConvertError&) {
          encode_.clear();
        }
        std::sort(encode_.begin(), encode_.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
      }
    }
    return encode_;
  }

 private:
  static inline const sys::Converter kClosed = sys::kNoConverter;

  static sys::Converter Open(sys::Converter& cd, const std::string& to, const std::string& from) {
    if (cd != kClosed) return cd;
    cd = sys::OpenConverter(to.c_str(), from.c_str());
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
      sys::Converter enc = Encoder(), dec = Decoder();
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

  // Windows, DOS, ISO-8859 and KOI8 pages; not CP1255 and CP1258, whose
  // glibc decoders compose a letter with the accent that follows it.
  static bool TableDecodable(const std::string& name) {
    const std::string n = SpellingFree(name);
    static const char* const kPages[] = {
        "CP1250", "CP1251", "CP1252", "CP1253", "CP1254", "CP1256", "CP1257",
        "WINDOWS1250", "WINDOWS1251", "WINDOWS1252", "WINDOWS1253", "WINDOWS1254",
        "WINDOWS1256", "WINDOWS1257", "CP437", "CP850", "CP852", "CP857", "CP860",
        "CP861", "CP863", "CP865", "CP866", "KOI8R", "KOI8U", "LATIN1"};
    for (const char* p : kPages)
      if (n == p) return true;
    if (n.rfind("ISO8859", 0) == 0) {
      const std::string part = n.substr(7);
      for (const char* p : {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "13", "14",
                            "15", "16"})
        if (part == p) return true;
    }
    return false;
  }

  // Each byte through the decoder alone; a page where one does not decode
  // to exactly one character, or is only the start of one, keeps iconv.
  void BuildDecodeTable() {
    try {
      sys::Converter dec = Decoder();
      std::vector<Char> table(256, kInvalidByte);
      for (int b = 0; b < 256; ++b) {
        char byte = static_cast<char>(b);
        char out[16];
        char* in = &byte;
        size_t inleft = 1;
        char* o = out;
        size_t oleft = sizeof out;
        sys::Convert(dec, nullptr, nullptr, nullptr, nullptr);
        if (sys::Convert(dec, &in, &inleft, &o, &oleft) == static_cast<size_t>(-1)) {
          if (errno != EILSEQ) return;
          continue;
        }
        if (o - out != 2) return;
        const Char unit = static_cast<Char>(static_cast<unsigned char>(out[0]) |
                                            (static_cast<unsigned char>(out[1]) << 8));
        if (unit == kInvalidByte || (unit >= 0xD800 && unit <= 0xDFFF)) return;
        table[static_cast<size_t>(b)] = unit;
      }
      table_ = std::move(table);
    } catch (const EConvertError&) {
    }
  }

  static std::string_view Convert(sys::Converter cd, char* in, size_t inleft, char (&out)[16]) {
    sys::Convert(cd, nullptr, nullptr, nullptr, nullptr);
    char* o = out;
    size_t oleft = sizeof out;
    if (sys::Convert(cd, &in, &inleft, &o, &oleft) == static_cast<size_t>(-1) || inleft != 0)
      return std::string_view();
    if (sys::Convert(cd, nullptr, nullptr, &o, &oleft) == static_cast<size_t>(-1))
      return std::string_view();
    return std::string_view(out, static_cast<size_t>(o - out));
  }

  std::string name_;
  bool utf8_;
  sys::Converter encoder_ = kClosed;
  sys::Converter decoder_ = kClosed;
  int limit_ = -1;
  bool table_tried_ = false;
  std::vector<Char> table_;
  bool encode_built_ = false;
  std::vector<std::pair<Char, char>> encode_;
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
  explicit Iconv(sys::Converter cd) : cd_(cd) {
    sys::Convert(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
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
      size_t r = sys::Convert(cd_, &in, &inleft, &o, &oleft);
      out.append(buf, o - buf);
      if (r == static_cast<size_t>(-1)) {
        if (errno == E2BIG) continue;
        return false;
      }
    }
    return true;
  }

  // What the converter still holds at the end: the last character, which
  // the CP1255 and CP1258 decoders keep back for an accent that might
  // follow; the shift back to the initial state of a stateful encoding.
  void Finish(std::string& out) {
    char buf[64];
    char* o = buf;
    size_t oleft = sizeof buf;
    sys::Convert(cd_, nullptr, nullptr, &o, &oleft);
    out.append(buf, static_cast<size_t>(o - buf));
  }

 private:
  sys::Converter cd_;
};

}  // namespace

// Sixteen characters at a time where SSE2 is there, then eight: this runs
// over every text column of every row.
bool NarrowTextBelow(StringView text, Char limit, char* o) {
  if (limit == 0) return false;
  const uint16_t high_bits = static_cast<uint16_t>(~(limit - 1));
  const size_t n = text.size();
  const Char* p = text.data();
  uint16_t high = 0;
  size_t i = 0;
#if defined(__SSE2__)
  __m128i seen = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 8));
    seen = _mm_or_si128(seen, _mm_or_si128(a, b));
    // Saturation only changes units above 0xFF, which the check refuses.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + i), _mm_packus_epi16(a, b));
  }
  if (i + 8 <= n) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    seen = _mm_or_si128(seen, a);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + i), _mm_packus_epi16(a, a));
    i += 8;
  }
  if (i > 0) {
    const __m128i over = _mm_and_si128(seen, _mm_set1_epi16(static_cast<short>(high_bits)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(over, _mm_setzero_si128())) != 0xFFFF) return false;
  }
#endif
  for (; i < n; ++i) {
    high |= p[i];
    o[i] = static_cast<char>(p[i]);
  }
  return (high & high_bits) == 0;
}

bool NarrowTextBelow(StringView text, Char limit, std::string& out) {
  if (limit == 0) return false;
  out.resize(text.size());
  return NarrowTextBelow(text, limit, out.data());
}

bool TextBelow(StringView text, Char limit) {
  if (limit == 0) return false;
  const uint16_t high_bits = static_cast<uint16_t>(~(limit - 1));
  const Char* p = text.data();
  const size_t n = text.size();
  uint16_t high = 0;
  size_t i = 0;
#if defined(__SSE2__)
  __m128i seen = _mm_setzero_si128();
  for (; i + 8 <= n; i += 8)
    seen = _mm_or_si128(seen, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
  const __m128i over = _mm_and_si128(seen, _mm_set1_epi16(static_cast<short>(high_bits)));
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(over, _mm_setzero_si128())) != 0xFFFF) return false;
#endif
  for (; i < n; ++i) high |= p[i];
  return (high & high_bits) == 0;
}

bool WidenBytesBelow(std::string_view bytes, Char limit, String& out) {
  if (limit == 0) return false;
  const unsigned char high_bits = static_cast<unsigned char>(~(limit - 1));
  const size_t n = bytes.size();
  const char* p = bytes.data();
  size_t i = 0;
  unsigned char high = 0;
#if defined(__SSE2__)
  // With the usual limit of 0x80 the sign bits say it all.
  if (limit == 0x80) {
    for (; i + 16 <= n; i += 16)
      if (_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i))) != 0)
        return false;
  }
#endif
  for (; i < n; ++i) high |= static_cast<unsigned char>(p[i]);
  if ((high & high_bits) != 0) return false;
  out.resize(n);
  WidenBytes(p, n, out.data());
  return true;
}

void WidenBytes(const char* p, size_t n, Char* o) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + i), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + i + 8), _mm_unpackhi_epi8(v, zero));
  }
#endif
  for (; i < n; ++i) o[i] = static_cast<unsigned char>(p[i]);
}

const std::string& AnsiCodePage() {
  if (const std::string* ansi = g_ansi.load(std::memory_order_acquire)) return *ansi;
  std::lock_guard<std::mutex> lock(g_ansi_mutex);
  if (const std::string* ansi = g_ansi.load(std::memory_order_relaxed)) return *ansi;
  const std::string* ansi = KeptName(DetectAnsi());
  g_ansi.store(ansi, std::memory_order_release);
  return *ansi;
}

void SetAnsiCodePage(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_ansi_mutex);
  g_ansi.store(KeptName(name), std::memory_order_release);
  g_ansi_limit.store(-1, std::memory_order_release);
}

// Most text the program hands to the ANSI code page is its own bytes there.
static Char AnsiIdentityLimit() {
  int limit = g_ansi_limit.load(std::memory_order_acquire);
  if (limit >= 0) return static_cast<Char>(limit);
  const std::string& ansi = AnsiCodePage();
  std::lock_guard<std::mutex> lock(g_ansi_mutex);
  // Kept only for the page still current: a change since would be undone.
  if (g_ansi.load(std::memory_order_relaxed) != &ansi) return 0;
  limit = CodePageIdentityLimit(ansi);
  g_ansi_limit.store(limit, std::memory_order_release);
  return static_cast<Char>(limit);
}

Char CodePageIdentityLimit(const std::string& code_page) {
  try {
    return CodePageNamed(code_page).IdentityLimit();
  } catch (const EConvertError&) {
    return 0;
  }
}

bool IsUtf8CodePage(const std::string& cp) { return SpellingFree(cp) == "UTF8"; }

std::string StringToCodePage(StringView text, const std::string& code_page, char default_char,
                             bool* lossy) {
  std::string out;
  StringToCodePageInto(text, code_page, out, default_char, lossy);
  return out;
}

void StringToCodePageInto(StringView text, const std::string& code_page, std::string& out,
                          char default_char, bool* lossy) {
  if (lossy) *lossy = false;
  CodePage& cp = CodePageNamed(code_page);
  if (cp.Utf8()) {
    out = StringToUtf8(text);
    if (lossy) *lossy = HasLoneSurrogate(text);
    return;
  }
  const Char limit = cp.IdentityLimit();
  if (NarrowTextBelow(text, limit, out)) return;
  // A single-byte page writes each character its byte from the table; a
  // character the table lacks (no byte reads as it) leaves the text to iconv,
  // which decides what becomes of it.
  if (const auto& table = cp.EncodeTable(); !table.empty()) {
    out.resize(text.size());
    bool whole = true;
    for (size_t i = 0; i < text.size() && whole; ++i) {
      if (text[i] < limit) {
        out[i] = static_cast<char>(text[i]);
        continue;
      }
      auto it = std::lower_bound(table.begin(), table.end(), std::pair<Char, char>(text[i], '\0'),
                                 [](const auto& a, const auto& b) { return a.first < b.first; });
      if (it != table.end() && it->first == text[i]) out[i] = it->second;
      else whole = false;
    }
    if (whole) return;
  }
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
  cv.Finish(out);
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
  if (String text; WidenBytesBelow(bytes, cp.IdentityLimit(), text)) return text;
  if (const Char* table = cp.DecodeTable()) {
    String text(bytes.size(), u'\0');
    bool invalid = false;
    for (size_t i = 0; i < bytes.size(); ++i) {
      Char c = table[static_cast<unsigned char>(bytes[i])];
      if (c == CodePage::kInvalidByte) {
        c = u'\xFFFD';
        invalid = true;
      }
      text[i] = c;
    }
    if (lossy) *lossy = invalid;
    return text;
  }
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
  cv.Finish(out);
  String result(out.size() / 2, u'\0');
  for (size_t i = 0; i < result.size(); ++i)
    result[i] = static_cast<Char>(static_cast<unsigned char>(out[2 * i]) |
                                  (static_cast<unsigned char>(out[2 * i + 1]) << 8));
  return result;
}

std::string StringToAnsi(StringView text) { return StringToAnsi(text, nullptr); }

std::string StringToAnsi(StringView text, bool* lossy) {
  if (std::string bytes; NarrowTextBelow(text, AnsiIdentityLimit(), bytes)) {
    if (lossy) *lossy = false;
    return bytes;
  }
  return StringToCodePage(text, AnsiCodePage(), '?', lossy);
}

String AnsiToString(std::string_view bytes) {
  if (String text; WidenBytesBelow(bytes, AnsiIdentityLimit(), text)) return text;
  return CodePageToString(bytes, AnsiCodePage());
}

String CannotStoreMessage(StringView who, StringView text, StringView code_page) {
  String message = String(who) + u": '" + String(text) + u"' cannot be stored in " +
                   String(code_page);
  // The C locale's code set: the usual cause is a unit started without a locale.
  const std::string name = SpellingFree(StringToUtf8(code_page));
  if (name == "ANSIX3.41968" || name == "ASCII" || name == "USASCII")
    message += u" (the process runs under a locale without UTF-8: set LANG=C.UTF-8)";
  return message;
}

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
