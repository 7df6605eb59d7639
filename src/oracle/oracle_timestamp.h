// OCI date-time descriptors (TIMESTAMP columns and variables) and the
// program's date-time values, both ways. The fraction travels in
// nanoseconds; a date-time holds milliseconds, so a finer fraction is
// rounded to the nearest millisecond when read.
#ifndef KAVO_ORACLE_ORACLE_TIMESTAMP_H_
#define KAVO_ORACLE_ORACLE_TIMESTAMP_H_

#include "oracle/oci_library.h"
#include "rtl/datetime.h"

namespace kavo {

// The descriptor's date and time; the status of the first call that failed.
sword TimestampToDateTime(TOCILibrary& oci, OCIHandle env, OCIHandle err, OCIHandle timestamp,
                          TDateTime& value);
// Sets the descriptor to `value` (in the session's time zone). Raises the
// EConvertError of a DATE for a value outside the years 1 to 9999.
sword DateTimeToTimestamp(TOCILibrary& oci, OCIHandle env, OCIHandle err, TDateTime value,
                          OCIHandle timestamp);

}  // namespace kavo

#endif  // KAVO_ORACLE_ORACLE_TIMESTAMP_H_
