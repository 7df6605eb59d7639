// Oracle's 7-byte DATE and OCI's date record as they come from the server,
// and the way back for any date-time value.
// Input: 7 DATE bytes, then 8 bytes of a date-time value (a double, in the
// machine's byte order); a shorter input is padded with zeros.
#include <cmath>
#include <cstring>

#include "fuzz_input.h"
#include "oracle/oracle_date.h"
#include "rtl/exceptions.h"

namespace {

// Bytes that name a real date and time write back unchanged.
bool Canonical(const uint8_t* b) {
  int year = b[0] * 100 + b[1] - 10100;
  kavo::TDateTime unused;
  return year >= 1 && year <= 9999 && b[1] >= 100 && b[1] < 200 &&
         kavo::TryEncodeDate(year, b[2], b[3], unused) &&
         kavo::TryEncodeTime(b[4] - 1, b[5] - 1, b[6] - 1, 0, unused);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t in[15] = {0};
  std::memcpy(in, data, size < sizeof in ? size : sizeof in);

  kavo::TDateTime read = kavo::OracleToNativeDate(in);
  FUZZ_CHECK(std::isfinite(read));
  if (Canonical(in)) {
    uint8_t back[7];
    kavo::NativeToOracleDate(back, read);
    FUZZ_CHECK(std::memcmp(back, in, 7) == 0);
  }

  double value;
  std::memcpy(&value, in + 7, sizeof value);
  uint8_t stored[7] = {0};
  try {
    kavo::NativeToOracleDate(stored, value);
  } catch (const kavo::EConvertError&) {
    return 0;
  }
  // Stored to the second, milliseconds dropped, and always a date of the
  // years 1 to 9999. (Compared as day and time of day: between -1 and 0 a
  // value means the same instant as its absolute value.)
  FUZZ_CHECK(Canonical(stored));
  kavo::TTimeStamp want = kavo::DateTimeToTimeStamp(value);
  kavo::TTimeStamp got = kavo::DateTimeToTimeStamp(kavo::OracleToNativeDate(stored));
  FUZZ_CHECK(got.Date == want.Date && got.Time == want.Time / 1000 * 1000);
  return 0;
}
