#include "oracle/oracle_timestamp.h"

#include "oracle/oracle_date.h"

namespace kavo {

sword TimestampToDateTime(TOCILibrary& oci, OCIHandle env, OCIHandle err, OCIHandle timestamp,
                          TDateTime& value) {
  sb2 year = 0;
  ub1 month = 0, day = 0, hour = 0, minute = 0, second = 0;
  ub4 fsec = 0;
  sword status = oci.OCIDateTimeGetDate(env, err, timestamp, &year, &month, &day);
  if (status != OCI_SUCCESS) return status;
  status = oci.OCIDateTimeGetTime(env, err, timestamp, &hour, &minute, &second, &fsec);
  if (status != OCI_SUCCESS) return status;
  TDateTime date;
  if (!TryEncodeDate(year, month, day, date)) return OCI_ERROR;
  int64_t ms = (int64_t{hour} * 3600 + minute * 60 + second) * 1000 + (fsec + 500000) / 1000000;
  // 23:59:59.9995 and later stay on their day.
  if (ms >= 86400000) ms = 86399999;
  value = CombineDateTime(date, static_cast<double>(ms) / 86400000.0);
  return OCI_SUCCESS;
}

sword DateTimeToTimestamp(TOCILibrary& oci, OCIHandle env, OCIHandle err, TDateTime value,
                          OCIHandle timestamp) {
  CheckOracleDate(value);
  int year, month, day, hour, minute, second, ms;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, minute, second, ms);
  return oci.OCIDateTimeConstruct(env, err, timestamp, static_cast<sb2>(year),
                                  static_cast<ub1>(month), static_cast<ub1>(day),
                                  static_cast<ub1>(hour), static_cast<ub1>(minute),
                                  static_cast<ub1>(second), static_cast<ub4>(ms) * 1000000u,
                                  nullptr, 0);
}

}  // namespace kavo
