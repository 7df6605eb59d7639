// The connection character set (lc_ctype) and the code page that statement
// text travels in.
#ifndef KAVO_IB_IB_CHARACTER_SET_H_
#define KAVO_IB_IB_CHARACTER_SET_H_

#include <string>

#include "rtl/ustring.h"

namespace kavo {

struct TIBCharacterSet {
  String name = u"NONE";
  // The Windows code page number the character set stands for; 0 for the
  // system's ANSI code page (NONE and every set without a mapping).
  int code_page = 0;
  // The iconv name used for conversions (the ANSI code page for 0).
  std::string iconv_name;
};

// Maps a character set name, compared exactly (case-sensitive).
TIBCharacterSet CharacterSetFor(const String& name);

// Text to bytes and back in the character set's code page.
std::string EncodeText(StringView text, const TIBCharacterSet& cs);
String DecodeText(std::string_view bytes, const TIBCharacterSet& cs);

}  // namespace kavo

#endif  // KAVO_IB_IB_CHARACTER_SET_H_
