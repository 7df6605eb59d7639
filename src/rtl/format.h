// Format(): the "%s"/"%d" message texts of the system.
//
// Supported: %s (text), %d (integer), %u, %x (hexadecimal, upper case),
// %f/%g/%e (floating point, printf rules), %% and an optional width, "-"
// flag and ".precision" between the % and the letter, e.g. "%5d", "%.2f",
// each at most kMaxFormatWidth. An argument of the wrong kind, a missing
// argument, or anything else between the % and the letter raises
// EConvertError with "Format '%s' invalid or incompatible with argument".
#ifndef KAVO_RTL_FORMAT_H_
#define KAVO_RTL_FORMAT_H_

#include <cstdint>
#include <initializer_list>
#include <variant>

#include "rtl/ustring.h"

namespace kavo {

constexpr int kMaxFormatWidth = 65535;

class FormatArg {
 public:
  FormatArg(const String& s) : v_(s) {}            // NOLINT: implicit by design
  FormatArg(const Char* s) : v_(String(s)) {}      // NOLINT
  FormatArg(int v) : v_(static_cast<int64_t>(v)) {}            // NOLINT
  FormatArg(unsigned v) : v_(static_cast<int64_t>(v)) {}       // NOLINT
  FormatArg(long v) : v_(static_cast<int64_t>(v)) {}           // NOLINT
  FormatArg(long long v) : v_(static_cast<int64_t>(v)) {}      // NOLINT
  FormatArg(unsigned long v) : v_(static_cast<int64_t>(v)) {}  // NOLINT
  FormatArg(double v) : v_(v) {}                               // NOLINT

  const std::variant<String, int64_t, double>& value() const { return v_; }

 private:
  std::variant<String, int64_t, double> v_;
};

String Format(StringView fmt, std::initializer_list<FormatArg> args);

}  // namespace kavo

#endif  // KAVO_RTL_FORMAT_H_
