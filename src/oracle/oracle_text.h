// Text conversions between the program and Oracle's buffers: UTF-8 with the
// ANSI fall-back, line ends, UTF-16 byte order, and character-set tests.
#ifndef KAVO_ORACLE_ORACLE_TEXT_H_
#define KAVO_ORACLE_ORACLE_TEXT_H_

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "recordset/variant.h"
#include "rtl/ustring.h"

namespace kavo {

class TOracleSession;

// Character-set ids and forms with a meaning for the layer.
constexpr uint16_t ocsUTF8 = 871;
constexpr uint16_t ocsAL32UTF8 = 873;
constexpr uint16_t ocsUTF16 = 1000;
constexpr uint16_t ocsAL16UTF16 = 2000;
constexpr uint8_t ocfDatabase = 1;
constexpr uint8_t ocfNational = 2;

// Set the first time a UTF-8 conversion meets text it cannot convert; never
// cleared.
extern std::atomic<bool> UTF8DecodeError;
extern std::atomic<bool> UTF8EncodeError;

// UTF-8 as AL32UTF8 has it: one to four bytes a character, a surrogate pair
// being one character of four bytes. Malformed input is never read again in
// another code page: each malformed sequence becomes U+FFFD, UTF8DecodeError
// is set and `malformed`, when given, tells. A lone surrogate half cannot be
// written: it becomes U+FFFD, UTF8EncodeError is set and `lossy` tells.
String Utf8Decode(std::string_view bytes, bool* malformed = nullptr);
std::string Utf8Encode(StringView text, bool* lossy = nullptr);
// Counted forms: the units or bytes written + 1, or -1 on malformed input
// (decoding) or a too small destination.
int Utf8ToUnicode(Char* dest, size_t max_dest, const char* source, size_t source_bytes);
int UnicodeToUtf8(char* dest, size_t max_dest, const Char* source, size_t source_units);

// Line ends, by the session's ConvertCRLF preference (on without a session):
// CRs are removed from values sent, and LF, CR or CR LF become CR LF in
// values read. Text taken by value comes back as it is, not copied, when it
// has nothing to convert (the common case of every fetched value).
std::string RemoveCR(std::string text, const TOracleSession* session);
String RemoveCRW(String text, const TOracleSession* session);
std::string AddCR(std::string text, const TOracleSession* session);
String AddCRW(String text, const TOracleSession* session);
String AdjustLineBreaksW(String text);

// True when every byte is an ASCII character other than CR and LF: such text
// reads the same as UTF-8 and has no line end to convert (most values).
bool IsPlainAsciiLine(std::string_view bytes);
// 8-bit or UTF-8 text without its trailing spaces and control bytes, as a
// trimmed field keeps it.
std::string_view TrimRightBytes(std::string_view bytes);

// Text of ASCII characters only into `out`, one byte each and without its
// CRs when `drop_cr`: what every ASCII-based code page and UTF-8 make of it.
// False, `out` undefined, for text with any other character.
bool NarrowAscii(StringView text, std::string& out, bool drop_cr = false);

// Character set 2000 stores UTF-16 big-endian: swap every unit's bytes.
void SwapWideString(String& text, uint16_t charset_id);

bool IsUTF8CharSet(uint16_t id);   // 870, 871, 873
bool IsUTF16CharSet(uint16_t id);  // 1000, 2000
bool IsCharType(int type);         // 1, 5, 8, 9, 10, 96, 97, 112

bool VarIsString(const OraVariant& v);
bool VarIsWideString(const OraVariant& v);
// A byte array as an ANSI string of the same bytes; empty for anything else.
std::string ByteArrayToString(const OraVariant& v);

}  // namespace kavo

#endif  // KAVO_ORACLE_ORACLE_TEXT_H_
