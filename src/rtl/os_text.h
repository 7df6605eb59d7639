// Text that the operating system hands over or takes as bytes: file-system
// paths, command-line arguments, environment values.
//
// Such bytes are names, not text in the ANSI code page: a folder created
// under one locale must still be found by a service that systemd starts
// under another (the C locale when no system locale is set). They are
// therefore read as UTF-8 whatever the locale, and every byte that is not
// part of valid UTF-8 is kept as the lone surrogate U+DC80 + byte, so that
// StringToOsText(OsTextToString(b)) == b for any bytes b. Such a surrogate
// shows as the default character wherever the text goes to a code page.
#ifndef KAVO_RTL_OS_TEXT_H_
#define KAVO_RTL_OS_TEXT_H_

#include <string>
#include <string_view>

#include "rtl/ustring.h"

namespace kavo {

String OsTextToString(std::string_view bytes);

// UTF-8, with U+DC80..U+DCFF standing alone written back as their byte.
// Any other lone surrogate, which no OS text gives, becomes U+FFFD.
std::string StringToOsText(StringView text);

}  // namespace kavo

#endif  // KAVO_RTL_OS_TEXT_H_
