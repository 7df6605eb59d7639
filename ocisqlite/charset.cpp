#include "charset.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace kavo::ocisqlite {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252's characters at 0x80..0x9F (0: the byte is unassigned).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013,
    0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

struct Named { ub2 id; const char* name; };
constexpr Named kSets[] = {{kUS7ASCII, "US7ASCII"},   {kWE8ISO8859P1, "WE8ISO8859P1"},
                           {kWE8MSWIN1252, "WE8MSWIN1252"}, {kUTF8, "UTF8"},
                           {kAL32UTF8, "AL32UTF8"},   {kUTF16, "UTF16"},
                           {kAL16UTF16, "AL16UTF16"}};

void PutUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The character at p[*i] of UTF-8 text, advancing *i; a malformed sequence
// is one replacement character for its first byte.
char32_t NextUtf8(std::string_view s, size_t* i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(*i);
  const size_t need = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 9;
  if (need == 0) return ++*i, c;
  if (need == 9) return ++*i, kReplacement;
  char32_t v = c & (0x3F >> need);
  for (size_t k = 1; k <= need; ++k) {
    if (*i + k >= s.size() || (b(*i + k) & 0xC0) != 0x80) return ++*i, kReplacement;
    v = (v << 6) | (b(*i + k) & 0x3F);
  }
  static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (v < kLeast[need] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return ++*i, kReplacement;
  *i += need + 1;
  return v;
}

char16_t Unit(const char* p, bool big_endian) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<char16_t>(big_endian ? (u[0] << 8) | u[1] : (u[1] << 8) | u[0]);
}

void PutUnit(std::string& out, char16_t u, bool big_endian) {
  char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
  if (big_endian) out += hi, out += lo;
  else out += lo, out += hi;
}

bool BigEndian(ub2 id) {
  // OCI_UTF16ID is the platform's order; AL16UTF16 is always big-endian.
  if (id == kAL16UTF16) return true;
  const uint16_t one = 1;
  unsigned char first;
  std::memcpy(&first, &one, 1);
  return first == 0;
}

// The single-byte sets: the byte for a character, or -1.
int SingleByte(char32_t c, ub2 id) {
  if (c < 0x80) return static_cast<int>(c);
  if (id == kWE8ISO8859P1) return c <= 0xFF ? static_cast<int>(c) : -1;
  if (id == kWE8MSWIN1252) {
    if (c >= 0xA0 && c <= 0xFF) return static_cast<int>(c);
    for (int k = 0; k < 32; ++k)
      if (kCp1252High[k] != 0 && kCp1252High[k] == c) return 0x80 + k;
  }
  return -1;
}

}  // namespace

bool KnownCharSet(ub2 id) { return id == 0 || CharSetName(id) != nullptr; }

const char* CharSetName(ub2 id) {
  for (const Named& n : kSets)
    if (n.id == id) return n.name;
  return nullptr;
}

ub2 CharSetId(std::string_view name) {
  for (const Named& n : kSets)
    if (name.size() == std::strlen(n.name) && strncasecmp(name.data(), n.name, name.size()) == 0) return n.id;
  return 0;
}

std::string ToStore(const char* p, size_t n, ub2 id) {
  // Text in the store's own set passes as it is, as it always did.
  if (IsUtf8Set(id)) return std::string(p, n);
  std::string out;
  out.reserve(n);
  if (UnitBytes(id) == 2) {
    const bool big = BigEndian(id);
    for (size_t i = 0; i + 1 < n; i += 2) {
      char32_t c = Unit(p + i, big);
      if (c >= 0xD800 && c <= 0xDBFF && i + 3 < n) {
        char16_t low = Unit(p + i + 2, big);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          i += 2;
        }
      }
      PutUtf8(out, c >= 0xD800 && c <= 0xDFFF ? kReplacement : c);
    }
    if (n % 2) PutUtf8(out, kReplacement);  // half a unit
    return out;
  }
  for (size_t i = 0; i < n; ++i) {
    unsigned char b = static_cast<unsigned char>(p[i]);
    char32_t c = b;
    if (b >= 0x80) {
      if (id == kUS7ASCII) c = kReplacement;
      else if (id == kWE8MSWIN1252 && b < 0xA0) c = kCp1252High[b - 0x80] ? kCp1252High[b - 0x80] : kReplacement;
    }
    PutUtf8(out, c);
  }
  return out;
}

std::string FromStore(std::string_view utf8, ub2 id) {
  if (IsUtf8Set(id)) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size() * UnitBytes(id));
  const bool wide = UnitBytes(id) == 2, big = BigEndian(id);
  for (size_t i = 0; i < utf8.size();) {
    char32_t c = NextUtf8(utf8, &i);
    if (wide) {
      if (c >= 0x10000) {
        PutUnit(out, static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)), big);
        PutUnit(out, static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)), big);
      } else {
        PutUnit(out, static_cast<char16_t>(c), big);
      }
      continue;
    }
    int b = SingleByte(c, id);
    // Oracle's replacement: '?' in ASCII, the inverted question mark where the set has one.
    if (b < 0) b = id == kUS7ASCII ? '?' : 0xBF;
    out += static_cast<char>(b);
  }
  return out;
}

ub2 DefaultClientCharSet() {
  const char* nls_lang = std::getenv("NLS_LANG");
  if (!nls_lang) return kUS7ASCII;
  const char* dot = std::strrchr(nls_lang, '.');
  if (!dot) return kUS7ASCII;
  return CharSetId(dot + 1);
}

size_t WholePrefix(std::string_view bytes, size_t max, ub2 id) {
  if (max >= bytes.size()) return bytes.size();
  if (UnitBytes(id) == 2) {
    size_t n = max & ~size_t{1};
    if (n >= 2) {
      char16_t last = Unit(bytes.data() + n - 2, BigEndian(id));
      if (last >= 0xD800 && last <= 0xDBFF) n -= 2;
    }
    return n;
  }
  if (!IsUtf8Set(id)) return max;
  size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80) --n;
  return n;
}

}  // namespace kavo::ocisqlite
