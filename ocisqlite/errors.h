// Oracle error numbers and message texts, and the exception that carries one
// through the library up to the error handle of the failing call.
#ifndef OCISQLITE_ERRORS_H
#define OCISQLITE_ERRORS_H

#include <stdexcept>
#include <string>

namespace kavo::ocisqlite {

// One Oracle error: its number and the complete text "ORA-nnnnn: ...\n".
class OraError : public std::exception {
 public:
  OraError(int code, std::string text, int offset = 0)
      : code_(code), text_(std::move(text)), offset_(offset) {}
  int code() const { return code_; }
  const std::string& text() const { return text_; }
  int offset() const { return offset_; }
  void set_offset(int offset) { offset_ = offset; }
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  int code_;
  std::string text_;
  int offset_;
};

// Oracle's own text for an error number, without the "ORA-nnnnn: " prefix.
// Placeholders %s are filled from args in order.
std::string OracleMessage(int code);

// Builds the error: "ORA-" + five digits + ": " + message + "\n".
OraError MakeError(int code, const std::string& a = {}, const std::string& b = {},
                   const std::string& c = {});

}  // namespace kavo::ocisqlite

#endif
