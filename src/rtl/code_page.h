// Conversion between the program's UTF-16 text and 8-bit code pages.
//
// Code pages are named as iconv knows them ("CP1252", "ISO-8859-1", "UTF-8").
// The process's ANSI code page is the one of the process locale, unless the
// environment variable KAVO_ANSI_CODEPAGE names another; tests pin it with
// SetAnsiCodePage.
#ifndef KAVO_RTL_CODE_PAGE_H_
#define KAVO_RTL_CODE_PAGE_H_

#include <string>
#include <string_view>

#include "rtl/ustring.h"

namespace kavo {

// The ANSI code page's iconv name, decided once (locale, then environment).
// Throws EConvertError, at every call, while KAVO_ANSI_CODEPAGE names a code
// page iconv does not know.
const std::string& AnsiCodePage();
void SetAnsiCodePage(const std::string& name);

// UTF-16 to the code page. Characters that the code page cannot represent
// (a lone surrogate half in any page) become `default_char`; `lossy`, when
// given, tells whether that happened.
// Throws EConvertError when iconv does not know the code page.
std::string StringToCodePage(StringView text, const std::string& code_page,
                             char default_char = '?', bool* lossy = nullptr);

// The same into `out`, replacing what it held: a caller converting text after
// text keeps one buffer, and its capacity.
void StringToCodePageInto(StringView text, const std::string& code_page, std::string& out,
                          char default_char = '?', bool* lossy = nullptr);

// The code below which the code page writes every character as the byte of
// the same value and reads every such byte back as it (0x80 for most pages,
// 0x100 for ISO-8859-1); 0 when there is none or iconv does not know the
// page. A caller that converts text after text in one page keeps this and
// converts such text with the two functions below, without a look-up.
Char CodePageIdentityLimit(const std::string& code_page);
// Text whose characters are all below `limit` narrowed to bytes, and bytes
// all below it widened; false, with `out` unspecified, otherwise.
bool NarrowTextBelow(StringView text, Char limit, std::string& out);
// The same into `out`, which has room for the text's units.
bool NarrowTextBelow(StringView text, Char limit, char* out);
bool WidenBytesBelow(std::string_view bytes, Char limit, String& out);
// Each of the `n` bytes at `p` as the character of that number, into `out`.
void WidenBytes(const char* p, size_t n, Char* out);
// Whether NarrowTextBelow would narrow `text`, without narrowing it.
bool TextBelow(StringView text, Char limit);

// Code page to UTF-16. Bytes that are invalid in the code page become U+FFFD;
// `lossy`, when given, tells whether that happened.
String CodePageToString(std::string_view bytes, const std::string& code_page,
                        bool* lossy = nullptr);

// Shorthands for the ANSI code page; `lossy` as for StringToCodePage.
std::string StringToAnsi(StringView text);
std::string StringToAnsi(StringView text, bool* lossy);
String AnsiToString(std::string_view bytes);

// The one message for a text a character set cannot hold, where every
// conversion on a stored value's way refuses it:
// "<who>: '<text>' cannot be stored in <code page>", with a hint to set a
// UTF-8 locale when the code page is the C locale's ASCII.
String CannotStoreMessage(StringView who, StringView text, StringView code_page);

// The number of bytes of the character that starts at `p` in the code page,
// for cutting byte strings without splitting a character (1 for single-byte
// code pages; 1 to 4 for UTF-8; never more than `available`).
size_t CharByteLength(std::string_view bytes, size_t pos, const std::string& code_page);

// `bytes` cut to at most `max` bytes without splitting a character of the
// code page. The one rule for every cut of text to a field or buffer size.
std::string CutWholeCharacters(std::string_view bytes, size_t max, const std::string& code_page);

// True for the UTF-8 spellings ("UTF-8", "UTF8", "utf8", ...).
bool IsUtf8CodePage(const std::string& code_page);

}  // namespace kavo

#endif  // KAVO_RTL_CODE_PAGE_H_
