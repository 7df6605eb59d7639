// Code-page conversions both ways, UTF-8 and the cutting of byte strings
// into whole characters, for the code pages the two databases name.
// Input: one byte choosing the code page, then the bytes. The same bytes
// read as UTF-16 units (little-endian) go the other way.
#include <iterator>
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
