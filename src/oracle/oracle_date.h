// Oracle's 7-byte DATE and OCI's date record, both ways.
//
// DATE bytes: century + 100, year of century + 100, month, day, hour + 1,
// minute + 1, second + 1. Milliseconds are dropped when storing; a year of 0
// or below, or an invalid date, reads as -693594.0 (the day before 0001-01-01)
// and an invalid time as midnight. Storing a date-time outside the years 1 to
// 9999 raises EConvertError and leaves the buffer or record as it was.
#ifndef KAVO_ORACLE_ORACLE_DATE_H_
#define KAVO_ORACLE_ORACLE_DATE_H_

#include <cstdint>

#include "rtl/datetime.h"

namespace kavo {

void NativeToOracleDate(uint8_t* buffer, TDateTime value);
// Raises the EConvertError of storing `value` when no DATE can hold it.
void CheckOracleDate(TDateTime value);
TDateTime OracleToNativeDate(const uint8_t* buffer);
// The same as a time stamp, computed without a floating-point round trip;
// false for bytes that are no valid date and time (OracleToNativeDate's
// reading of them is the one to use).
bool OracleDateToTimeStamp(const uint8_t* buffer, TTimeStamp& ts);

// OCI's date record: 16-bit year, then month, day, hour, minute, second.
struct OCIDateRecord {
  int16_t year;
  uint8_t month, day, hour, minute, second;
};
void NativeToOCIDate(OCIDateRecord& record, TDateTime value);
TDateTime OCIToNativeDate(const OCIDateRecord& record);

}  // namespace kavo

#endif  // KAVO_ORACLE_ORACLE_DATE_H_
