// 64-bit integers from text.
#ifndef KAVO_RTL_INT64_TEXT_H_
#define KAVO_RTL_INT64_TEXT_H_

#include <cstdint>

#include "rtl/ustring.h"

namespace kavo {

// Optional blanks and sign, decimal digits, blanks; within the signed 64-bit
// range. False on anything else.
bool TryStrToInt64(StringView text, int64_t& value);
// Raises EConvertError "'<text>' is not a valid integer value".
int64_t StrToInt64(StringView text);

}  // namespace kavo

#endif  // KAVO_RTL_INT64_TEXT_H_
