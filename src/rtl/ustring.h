// The program's text type and the small string helpers every layer uses.
//
// Text is UTF-16 inside the program. 8-bit text exists only at the edges
// (files, client libraries, the OS) and is converted there; see code_page.h.
#ifndef KAVO_RTL_USTRING_H_
#define KAVO_RTL_USTRING_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kavo {

using Char = char16_t;
using String = std::u16string;
using StringView = std::u16string_view;

// UTF-8 <-> UTF-16. Invalid input never throws: bad UTF-8 sequences become
// U+FFFD, unpaired surrogates are written as U+FFFD.
String Utf8ToString(std::string_view utf8);
std::string StringToUtf8(StringView text);
// True when a surrogate half stands without its other half: no character
// set can hold it.
bool HasLoneSurrogate(StringView text);
// The same, with each byte that begins no valid sequence (overlong forms and
// encoded surrogates included) replaced by `invalid(byte)`.
String Utf8ToString(std::string_view utf8, Char (*invalid)(unsigned char byte));

// Plain ASCII literal or std::string widened/narrowed without any code page
// (only for texts known to be 7-bit, such as numbers and identifiers).
String AsciiToString(std::string_view ascii);

// A text's UTF-16 code units as bytes in native order, as blob streams and
// long values carry them, and back (an odd last byte is dropped).
std::string Utf16Bytes(StringView text);
String TextOfUtf16Bytes(std::string_view bytes);

String IntToStr(int64_t value);
String UIntToStr(uint64_t value);
String IntToHex(uint64_t value, int digits);

// Case mapping of the Basic Multilingual Plane letters the C library knows.
String UpperCase(StringView s);
String LowerCase(StringView s);
Char UpCaseBeyondAscii(Char c);
// ASCII here: names and formats are nearly always ASCII, and looked at per row.
inline Char UpCase(Char c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<Char>(c - 32) : c;
  return UpCaseBeyondAscii(c);
}
bool SameText(StringView a, StringView b);  // equal without regard to case

String Trim(StringView s);       // removes chars <= U+0020 at both ends
String TrimLeft(StringView s);
String TrimRight(StringView s);

// Replaces every occurrence of `from` (case-sensitive) by `to`.
String ReplaceAll(StringView s, StringView from, StringView to);

bool StartsText(StringView prefix, StringView s);  // case-insensitive

// Decimal or hexadecimal ("$", "x", "X", "0x", "0X") integer with optional
// leading blanks and sign and nothing after it. Returns false on anything
// else, including a value outside the signed 32-bit range.
bool TryStrToInt(StringView s, int32_t& value);
int32_t StrToIntDef(StringView s, int32_t def);

}  // namespace kavo

#endif  // KAVO_RTL_USTRING_H_
