// The connection character set (lc_ctype) and the code page that statement
// text travels in.
#ifndef KAVO_IB_IB_CHARACTER_SET_H_
#define KAVO_IB_IB_CHARACTER_SET_H_

#include <string>

#include "rtl/code_page.h"
#include "rtl/ustring.h"

namespace kavo {

struct TIBCharacterSet {
  String name = u"NONE";
  // The Windows code page number the character set stands for; 0 for the
  // system's ANSI code page (NONE and every set without a mapping).
  int code_page = 0;
  // The iconv name used for conversions (the ANSI code page for 0).
  std::string iconv_name;
  // Text below this code is its own bytes in the code page (0: look it up).
  Char identity_limit = 0;
};

// Maps a character set name, compared exactly (case-sensitive).
TIBCharacterSet CharacterSetFor(const String& name);

// Bytes per character of the character set `id` (the low byte of a text
// entry's sqlsubtype), in Firebird's numbering: the widths its
// RDB$CHARACTER_SETS lists; unknown ids take 1.
int FirebirdBytesPerCharacter(int id);
// The same in InterBase's numbering, where several ids name other sets
// (4 is not UTF8, 59 is UTF8 and 64 UNICODE_LE) and the UNICODE_FSS names of
// system relations take one byte per character.
int InterBaseBytesPerCharacter(int id, bool system_relation);

// Text to bytes and back in the character set's code page.
std::string EncodeText(StringView text, const TIBCharacterSet& cs);
// Text below the identity limit is narrowed here: parameters are set row
// after row. `lossy`, when given, tells whether a character became '?'.
void EncodeOtherTextInto(StringView text, const TIBCharacterSet& cs, std::string& out,
                         bool* lossy = nullptr);
inline void EncodeTextInto(StringView text, const TIBCharacterSet& cs, std::string& out,
                           bool* lossy = nullptr) {
  if (lossy) *lossy = false;
  if (!NarrowTextBelow(text, cs.identity_limit, out)) EncodeOtherTextInto(text, cs, out, lossy);
}
// The same for a value to be stored: a character the set cannot hold (a
// lone surrogate half included) raises EConvertError naming the value as
// `kind` 'name' ("Field 'DADOS'") and the set, instead of becoming '?'.
void EncodeValueInto(StringView text, const TIBCharacterSet& cs, std::string& out,
                     const Char* kind, StringView name);
// Raises what EncodeValueInto would for `text`, if anything. Text below the
// set's identity limit is stored as it is: nothing to try, and no call.
void CheckOtherValueFits(StringView text, const TIBCharacterSet& cs, const Char* kind,
                         StringView name);
inline void CheckValueFits(StringView text, const TIBCharacterSet& cs, const Char* kind,
                           StringView name) {
  if (!TextBelow(text, cs.identity_limit)) CheckOtherValueFits(text, cs, kind, name);
}
// The set's name for messages; NONE also names the code page it stands for.
String CharacterSetLabel(const TIBCharacterSet& cs);
String DecodeText(std::string_view bytes, const TIBCharacterSet& cs);

}  // namespace kavo

#endif  // KAVO_IB_IB_CHARACTER_SET_H_
