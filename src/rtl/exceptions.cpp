#include "rtl/exceptions.h"

#include "rtl/format.h"
#include "rtl/system.h"

namespace kavo {

const char* Exception::what() const noexcept {
  try {
    if (what_.empty()) what_ = StringToUtf8(message_);
    return what_.c_str();
  } catch (...) {
    return "Exception";
  }
}

String EInOutError::MessageFor(int code, StringView file_name) {
  switch (code) {
    case 2: return u"The specified file was not found";
    case 3: return Format(u"Invalid file name - %s", {String(file_name)});
    case 4: return u"Too many open files";
    case 5: return u"File access denied";
    case 100: return u"Read beyond end of file";
    case 101: return u"Disk full";
    case 106: return u"Invalid numeric input";
    default: return Format(u"I/O error %d", {code});
  }
}

EInOutError::EInOutError(int code, StringView file_name)
    : Exception(MessageFor(code, file_name)), code_(code) {}

String SysErrorMessage(int code) { return sys::ErrorText(code); }

int LastOSError() { return sys::LastError(); }

static String OSErrorText(int code) {
  if (code == 0) return u"A call to an OS function failed";
  return Format(u"System Error.  Code: %d.\r\n%s", {code, SysErrorMessage(code)});
}

EOSError::EOSError(int code) : Exception(OSErrorText(code)), code_(code) {}

void RaiseLastOSError(int code) {
  if (code < 0) code = sys::LastError();
  throw EOSError(code);
}

}  // namespace kavo
