// Code-page conversions both ways, UTF-8 and the cutting of byte strings
// into whole characters, for the code pages the two databases name.
// Input: one byte choosing the code page, then the bytes. The same bytes
// read as UTF-16 units (little-endian) go the other way.
#include <iconv.h>

#include <iterator>
#include <optional>
#include <string>

#include "fuzz_input.h"
#include "rtl/code_page.h"

namespace {

struct CodePage {
  const char* name;
  bool single_byte;  // every character one byte, one mapping each way
};

const CodePage kCodePages[] = {
    {"UTF-8", false},  {"CP1252", true},  {"ISO-8859-1", true}, {"CP850", true},
    {"CP1250", true},  {"CP1251", true},  {"ASCII", true},      {"CP932", false},
    {"EUC-JP", false}, {"GB2312", false}, {"CP949", false},
};

bool HasLoneSurrogate(kavo::StringView s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] >= 0xD800 && s[i] <= 0xDBFF) {
      if (i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) ++i;
      else return true;
    } else if (s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

// What iconv itself makes of the whole input, flushed at the end; nothing
// when it refuses any of it.
std::optional<std::string> IconvOf(const char* to, const char* from, std::string_view in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(in.size() * 4 + 16, '\0');
  char* i = const_cast<char*>(in.data());
  char* o = out.data();
  size_t ileft = in.size(), oleft = out.size();
  const bool ok = iconv(cd, &i, &ileft, &o, &oleft) != static_cast<size_t>(-1) &&
                  iconv(cd, nullptr, nullptr, &o, &oleft) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(out.size() - oleft);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const CodePage& cp = kCodePages[data[0] % std::size(kCodePages)];
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  // Bytes to text: decoding without loss must come back byte for byte where
  // each character has one spelling.
  bool lossy = false;
  kavo::String text = kavo::CodePageToString(bytes, cp.name, &lossy);
  FUZZ_CHECK(!HasLoneSurrogate(text));
  // The shortcuts (no converter below the identity limit, a byte table for
  // single-byte pages) read what iconv reads.
  if (auto read = IconvOf("UTF-16LE", cp.name, bytes)) {
    FUZZ_CHECK(!lossy);
    FUZZ_CHECK(text == kavo::String(reinterpret_cast<const char16_t*>(read->data()),
                                    read->size() / 2));
  }
  if (!lossy && (cp.single_byte || kavo::IsUtf8CodePage(cp.name))) {
    bool back_lossy = false;
    FUZZ_CHECK(kavo::StringToCodePage(text, cp.name, '?', &back_lossy) == bytes);
    FUZZ_CHECK(!back_lossy);
  }

  // Cutting: every step is a whole character, at least one byte, and the
  // steps cover the bytes exactly.
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t n = kavo::CharByteLength(bytes, pos, cp.name);
    FUZZ_CHECK(n >= 1 && n <= 4 && n <= bytes.size() - pos);
    pos += n;
  }
  FUZZ_CHECK(kavo::CharByteLength(bytes, pos, cp.name) == 0);

  // Text to bytes: any UTF-16, lone surrogates included.
  kavo::String units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  lossy = false;
  std::string encoded = kavo::StringToCodePage(units, cp.name, '?', &lossy);
  if (auto written = IconvOf(cp.name, "UTF-16LE",
                             std::string_view(reinterpret_cast<const char*>(units.data()),
                                              units.size() * 2))) {
    if (!kavo::IsUtf8CodePage(cp.name)) FUZZ_CHECK(encoded == *written);
  }
  // (The Far East pages map some characters to bytes that read back as
  // others: EUC-JP writes U+00A5 as the byte of "\".)
  if (!lossy && !HasLoneSurrogate(units) && (cp.single_byte || kavo::IsUtf8CodePage(cp.name))) {
    bool back_lossy = false;
    FUZZ_CHECK(kavo::CodePageToString(encoded, cp.name, &back_lossy) == units);
    FUZZ_CHECK(!back_lossy);
  }
  // UTF-8 both ways never throws; valid text survives the round trip.
  std::string utf8 = kavo::StringToUtf8(units);
  if (!HasLoneSurrogate(units)) FUZZ_CHECK(kavo::Utf8ToString(utf8) == units);
  return 0;
}
