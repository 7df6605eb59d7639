// The text shown when an exception leaves the program, and the showing: on
// standard error, since there is no desktop to put a box on.
#ifndef KAVO_SERVICE_UNHANDLED_ERROR_H_
#define KAVO_SERVICE_UNHANDLED_ERROR_H_

#include "rtl/ustring.h"

namespace kavo {

// "Exception <class> in module <module> at <address>.\r\n<message>[.]\r\n";
// the full stop is added when the message does not end with one. C++ gives
// no code address for an exception, so it is written as zeros.
String UnhandledErrorText(StringView class_name, StringView module, StringView message);

// Writes the text for the exception being handled (call in a catch block).
void ShowUnhandledError();

}  // namespace kavo

#endif  // KAVO_SERVICE_UNHANDLED_ERROR_H_
