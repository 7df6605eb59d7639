#include "oracle/oracle_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "oracle/session.h"
#include "rtl/code_page.h"

namespace kavo {

std::atomic<bool> UTF8DecodeError = false;
std::atomic<bool> UTF8EncodeError = false;

namespace {
bool ConvertCRLF(const TOracleSession* session) {
  return session == nullptr || session->Preferences().ConvertCRLF();
}
}  // namespace

namespace {

// The length of the well-formed UTF-8 sequence at b[i] (1 to 4), 0 when
// it is malformed: overlong forms, encoded surrogates and code points past
// U+10FFFF are refused as Oracle's AL32UTF8 refuses them.
size_t Utf8SequenceAt(const uint8_t* b, size_t i, size_t n, uint32_t& code) {
  const uint32_t lead = b[i];
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  size_t follow;
  uint32_t min;
  if ((lead & 0xE0) == 0xC0) {
    follow = 1, min = 0x80, code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    follow = 2, min = 0x800, code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    follow = 3, min = 0x10000, code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + 1 + follow > n) return 0;
  for (size_t k = 1; k <= follow; ++k) {
    const uint8_t c = b[i + k];
    if ((c & 0xC0) != 0x80) return 0;
    code = (code << 6) | (c & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return follow + 1;
}

}  // namespace

int Utf8ToUnicode(Char* dest, size_t max_dest, const char* source, size_t n) {
  const auto* b = reinterpret_cast<const uint8_t*>(source);
  size_t i = 0;
  size_t count = 0;
  while (i < n) {
    uint32_t c = 0;
    const size_t len = Utf8SequenceAt(b, i, n, c);
    if (len == 0) return -1;
    i += len;
    if (c >= 0x10000) {
      if (count + 2 > max_dest) return -1;
      c -= 0x10000;
      dest[count++] = static_cast<Char>(0xD800 | (c >> 10));
      dest[count++] = static_cast<Char>(0xDC00 | (c & 0x3FF));
      continue;
    }
    if (count >= max_dest) return -1;
    dest[count++] = static_cast<Char>(c);
  }
  return static_cast<int>(count) + 1;
}

int UnicodeToUtf8(char* dest, size_t max_dest, const Char* source, size_t n) {
  size_t count = 0;
  auto put = [&](uint32_t byte) {
    if (count >= max_dest) return false;
    dest[count++] = static_cast<char>(byte);
    return true;
  };
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = source[i];
    bool ok;
    if (u >= 0xD800 && u <= 0xDFFF) {
      // A pair is one character of four bytes; half of one is no character.
      if (u > 0xDBFF || i + 1 >= n || source[i + 1] < 0xDC00 || source[i + 1] > 0xDFFF)
        return -1;
      u = 0x10000 + ((u - 0xD800) << 10) + (source[++i] - 0xDC00);
      ok = put(0xF0 | (u >> 18)) && put(0x80 | ((u >> 12) & 0x3F)) &&
           put(0x80 | ((u >> 6) & 0x3F)) && put(0x80 | (u & 0x3F));
    } else if (u <= 0x7F) {
      ok = put(u);
    } else if (u <= 0x7FF) {
      ok = put(0xC0 | (u >> 6)) && put(0x80 | (u & 0x3F));
    } else {
      ok = put(0xE0 | (u >> 12)) && put(0x80 | ((u >> 6) & 0x3F)) && put(0x80 | (u & 0x3F));
    }
    if (!ok) return -1;
  }
  return static_cast<int>(count) + 1;
}

String Utf8Decode(std::string_view bytes, bool* malformed) {
  if (malformed) *malformed = false;
  if (bytes.empty()) return String();
  String out;
  // Most values are ASCII: widened sixteen bytes at a time.
  if (WidenBytesBelow(bytes, 0x80, out)) return out;
  out.assign(bytes.size(), u'\0');
  int n = Utf8ToUnicode(out.data(), out.size(), bytes.data(), bytes.size());
  if (n >= 0) {
    out.resize(n - 1);
    return out;
  }
  // Never the whole value read again in another code page: each malformed
  // sequence is one U+FFFD, and the caller is told.
  UTF8DecodeError = true;
  if (malformed) *malformed = true;
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  out.clear();
  for (size_t i = 0; i < bytes.size();) {
    uint32_t c = 0;
    const size_t len = Utf8SequenceAt(b, i, bytes.size(), c);
    if (len == 0) {
      out.push_back(u'\xFFFD');
      ++i;
      while (i < bytes.size() && (b[i] & 0xC0) == 0x80) ++i;
      continue;
    }
    i += len;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<Char>(0xD800 | (c >> 10)));
      out.push_back(static_cast<Char>(0xDC00 | (c & 0x3FF)));
    } else {
      out.push_back(static_cast<Char>(c));
    }
  }
  return out;
}

std::string Utf8Encode(StringView text, bool* lossy) {
  if (lossy) *lossy = false;
  if (text.empty()) return std::string();
  std::string out(3 * text.size() + 1, '\0');
  int n = UnicodeToUtf8(out.data(), out.size(), text.data(), text.size());
  if (n >= 0) {
    out.resize(n - 1);
    return out;
  }
  // Only a lone surrogate half fails: it becomes U+FFFD, and the caller is told.
  UTF8EncodeError = true;
  if (lossy) *lossy = true;
  String fixed(text);
  for (size_t i = 0; i < fixed.size(); ++i) {
    const Char u = fixed[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < fixed.size() && fixed[i + 1] >= 0xDC00 &&
        fixed[i + 1] <= 0xDFFF) {
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      fixed[i] = u'\xFFFD';
    }
  }
  n = UnicodeToUtf8(out.data(), out.size(), fixed.data(), fixed.size());
  out.resize(n > 0 ? n - 1 : 0);
  return out;
}

std::string_view TrimRightBytes(std::string_view bytes) {
  size_t n = bytes.size();
  while (n > 0 && static_cast<unsigned char>(bytes[n - 1]) <= ' ') --n;
  return bytes.substr(0, n);
}

bool IsPlainAsciiLine(std::string_view bytes) {
  const char* p = bytes.data();
  const size_t n = bytes.size();
  size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time: none with the high bit, none equal to CR or LF.
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf));
    const __m128i bad = _mm_or_si128(v, ends);
    if (_mm_movemask_epi8(bad) != 0) return false;
  }
#else
  // Eight bytes at a time (a byte of w ^ c is zero where w holds c).
  constexpr uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    const uint64_t cr = w ^ (kOnes * '\r'), lf = w ^ (kOnes * '\n');
    if ((w | ((cr - kOnes) & ~cr) | ((lf - kOnes) & ~lf)) & kHighs) return false;
  }
#endif
  for (; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(p[i]);
    if (c >= 0x80 || c == '\r' || c == '\n') return false;
  }
  return true;
}

#if !defined(__SSE2__)
namespace {

// The first CR from `i`, or `n`: four units at a time (a lane of x - 1 & ~x
// has its high bit where x's lane is zero).
size_t NextCR(const Char* p, size_t i, size_t n) {
  constexpr uint64_t kOnes = 0x0001000100010001ULL, kHighs = 0x8000800080008000ULL;
  for (; i + 4 <= n; i += 4) {
    uint64_t w;
    std::memcpy(&w, p + i, sizeof w);
    const uint64_t x = w ^ (kOnes * u'\r');
    if (((x - kOnes) & ~x & kHighs) != 0) break;
  }
  for (; i < n; ++i)
    if (p[i] == u'\r') return i;
  return n;
}

}  // namespace
#endif

bool NarrowAscii(StringView text, std::string& out, bool drop_cr) {
#if defined(__SSE2__)
  // Sixteen units at a time into sixteen bytes, written where the text
  // without its CRs has got to; a block holding a CR is copied again a
  // byte at a time over what it wrote.
  {
    const Char* p = text.data();
    const size_t n = text.size();
    out.resize(n);
    char* o = out.data();
    size_t written = 0, i = 0;
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i cr = _mm_set1_epi8('\r');
    for (; i + 16 <= n; i += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 8));
      const __m128i over = _mm_and_si128(_mm_or_si128(a, b), high);
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(over, _mm_setzero_si128())) != 0xFFFF) return false;
      const __m128i bytes = _mm_packus_epi16(a, b);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + written), bytes);
      if (!drop_cr || _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, cr)) == 0) {
        written += 16;
        continue;
      }
      for (size_t k = i; k < i + 16; ++k) {
        o[written] = static_cast<char>(p[k]);
        written += p[k] != u'\r';
      }
    }
    for (; i < n; ++i) {
      if (p[i] >= 0x80) return false;
      o[written] = static_cast<char>(p[i]);
      written += !(drop_cr && p[i] == u'\r');
    }
    out.resize(written);
    return true;
  }
#else
  const Char* p = text.data();
  const size_t n = text.size();
  uint64_t bits = 0;
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    uint64_t w;
    std::memcpy(&w, p + i, sizeof w);
    bits |= w;
  }
  for (; i < n; ++i) bits |= p[i];
  if ((bits & 0xFF80FF80FF80FF80ULL) != 0) return false;
  out.resize(n);
  char* o = out.data();
  size_t written = 0;
  for (size_t start = 0; start < n;) {
    const size_t end = drop_cr ? NextCR(p, start, n) : n;
    char* d = o + written;
    size_t k = start;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Four units (each below 0x80, so its high byte zero) into four bytes.
    for (; k + 4 <= end; k += 4) {
      uint64_t w;
      std::memcpy(&w, p + k, sizeof w);
      const uint64_t pairs = (w | (w >> 8)) & 0x0000FFFF0000FFFFULL;
      const uint32_t four = static_cast<uint32_t>(pairs | (pairs >> 16));
      std::memcpy(d + (k - start), &four, sizeof four);
    }
#endif
    for (; k < end; ++k) d[k - start] = static_cast<char>(p[k]);
    written += end - start;
    start = end + 1;
  }
  out.resize(written);
  return true;
#endif
}

namespace {

template <class S>
S StripCR(S text) {
  text.erase(std::remove(text.begin(), text.end(), typename S::value_type('\r')), text.end());
  return text;
}

template <class S>
S ToCRLF(S text) {
  size_t first = 0;
  while (first < text.size() && text[first] != '\r' && text[first] != '\n') ++first;
  if (first == text.size()) return text;
  S out;
  out.reserve(text.size() + text.size() / 8 + 2);
  out.append(text, 0, first);
  for (size_t i = first; i < text.size(); ++i) {
    auto c = text[i];
    if (c == '\r') {
      out.push_back('\r');
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out.push_back('\r');
      out.push_back('\n');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

std::string RemoveCR(std::string text, const TOracleSession* session) {
  if (!ConvertCRLF(session)) return text;
  return StripCR(std::move(text));
}

String RemoveCRW(String text, const TOracleSession* session) {
  if (!ConvertCRLF(session)) return text;
  return StripCR(std::move(text));
}

std::string AddCR(std::string text, const TOracleSession* session) {
  if (!ConvertCRLF(session)) return text;
  return ToCRLF(std::move(text));
}

String AddCRW(String text, const TOracleSession* session) {
  if (!ConvertCRLF(session)) return text;
  return AdjustLineBreaksW(std::move(text));
}

String AdjustLineBreaksW(String text) { return ToCRLF(std::move(text)); }

void SwapWideString(String& text, uint16_t charset_id) {
  if (charset_id != ocsAL16UTF16) return;
  for (Char& c : text) c = static_cast<Char>((c >> 8) | (c << 8));
}

bool IsUTF8CharSet(uint16_t id) { return id == 870 || id == ocsUTF8 || id == ocsAL32UTF8; }
bool IsUTF16CharSet(uint16_t id) { return id == ocsUTF16 || id == ocsAL16UTF16; }
bool IsCharType(int t) {
  return t == 1 || t == 5 || t == 8 || t == 9 || t == 10 || t == 96 || t == 97 || t == 112;
}

bool VarIsString(const OraVariant& v) { return v.IsString(); }
bool VarIsWideString(const OraVariant& v) { return v.Kind() == vkString; }

std::string ByteArrayToString(const OraVariant& v) {
  if (v.Kind() != vkByteArray) return std::string();
  return std::string(v.ByteArray().begin(), v.ByteArray().end());
}

}  // namespace kavo
