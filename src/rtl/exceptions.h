// The exception hierarchy. Every failure above the client libraries is an
// exception derived from Exception; its Message is the text that logs, event
// entries and the failed row's ERRO column receive.
#ifndef KAVO_RTL_EXCEPTIONS_H_
#define KAVO_RTL_EXCEPTIONS_H_

#include <exception>
#include <string>

#include "rtl/ustring.h"

namespace kavo {

class Exception : public std::exception {
 public:
  explicit Exception(String message) : message_(std::move(message)) {}
  ~Exception() override = default;

  const String& Message() const { return message_; }
  void SetMessage(String message) {
    message_ = std::move(message);
    what_.clear();
  }

  // The class name as the unhandled-error text shows it ("EInOutError").
  virtual String ClassName() const { return u"Exception"; }
  const char* what() const noexcept override;

 private:
  String message_;
  mutable std::string what_;
};

#define KAVO_EXCEPTION_CLASS(Name, Base)                         \
  class Name : public Base {                                     \
   public:                                                       \
    using Base::Base;                                            \
    String ClassName() const override { return u## #Name; }      \
  }

// A silent exception: handlers that report errors pass it over.
KAVO_EXCEPTION_CLASS(EAbort, Exception);
KAVO_EXCEPTION_CLASS(EConvertError, Exception);
KAVO_EXCEPTION_CLASS(EOutOfResources, Exception);
KAVO_EXCEPTION_CLASS(EReadError, Exception);
KAVO_EXCEPTION_CLASS(EInvalidOperation, Exception);
KAVO_EXCEPTION_CLASS(EListError, Exception);
// Base of the record-set and database-layer errors.
KAVO_EXCEPTION_CLASS(EDatabaseError, Exception);

// A file failure with its code: the OS error number, or 100 to 106 for the
// text-file layer's own conditions. The message follows from the code; code 3
// (invalid file name) names the file.
class EInOutError : public Exception {
 public:
  explicit EInOutError(int code, StringView file_name = {});
  int ErrorCode() const { return code_; }
  String ClassName() const override { return u"EInOutError"; }

  static String MessageFor(int code, StringView file_name);

 private:
  int code_;
};

// A failed OS call: "System Error.  Code: %d.\r\n%s" with the system's text.
class EOSError : public Exception {
 public:
  explicit EOSError(int code);
  int ErrorCode() const { return code_; }
  String ClassName() const override { return u"EOSError"; }

 private:
  int code_;
};

// The system's text for an error number (strerror; Windows: FormatMessage).
String SysErrorMessage(int code);

// The calling thread's last error number (errno; Windows: GetLastError).
int LastOSError();

// Raises EOSError for `code` (LastOSError() when omitted); code 0 gives
// "A call to an OS function failed".
[[noreturn]] void RaiseLastOSError(int code = -1);

}  // namespace kavo

#endif  // KAVO_RTL_EXCEPTIONS_H_
