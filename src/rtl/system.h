// What rtl asks of the operating system: converters between UTF-16 and code
// pages, the process's code set, the local clock. One implementation per
// system (posix/: iconv and the C library; win32/: the code-page API).
// Only rtl's own sources include this.
#ifndef KAVO_RTL_SYSTEM_H_
#define KAVO_RTL_SYSTEM_H_

#include <cstddef>
#include <string>

#include "rtl/ustring.h"

namespace kavo::sys {

// One direction of one code page, "UTF-16LE" on the other side. The contract
// is iconv's: Convert converts what it can and returns (size_t)-1 with errno
// EILSEQ (an invalid or unconvertible sequence, left unread), EINVAL (an
// incomplete one at the end) or E2BIG (no room); null `in` resets the state.
using Converter = void*;
inline Converter const kNoConverter = reinterpret_cast<Converter>(-1);
Converter OpenConverter(const char* to, const char* from);  // kNoConverter if unknown
size_t Convert(Converter cd, char** in, size_t* inleft, char** out, size_t* outleft);
void CloseConverter(Converter cd);

// The code set of the process (its locale's; Windows: its ANSI code page),
// in a spelling OpenConverter knows.
std::string ProcessCodeSet();

// The system's text for an error number (errno; Windows: GetLastError's
// codes), and the calling thread's last one.
String ErrorText(int code);
int LastError();

// Case mapping by the Unicode tables, whatever the process locale (often
// "C", which maps only ASCII). Not for surrogate halves.
Char UpCaseChar(Char c);
Char LowCaseChar(Char c);

struct LocalTime {
  int year, month, day, hour, minute, second, millisecond;
};
LocalTime LocalNow();

}  // namespace kavo::sys

#endif  // KAVO_RTL_SYSTEM_H_
