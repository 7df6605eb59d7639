// Oracle DATE values: the stored text form, the 7-byte external form, and the
// format models of TO_CHAR and TO_DATE.
#ifndef OCISQLITE_DATETIME_H
#define OCISQLITE_DATETIME_H

#include <string>
#include <string_view>

namespace kavo::ocisqlite {

struct DateParts {
  int year = 1, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Dates are stored as "YYYY-MM-DD HH:MM:SS" so that SQLite compares them as text.
bool ParseStoredDate(std::string_view text, DateParts* out);
std::string StoredDate(const DateParts& d);
bool ValidDate(const DateParts& d);

void EncodeOracleDate(const DateParts& d, unsigned char out[7]);
bool DecodeOracleDate(const unsigned char in[7], DateParts* out);

// TO_CHAR(date, fmt) and TO_DATE(text, fmt); the latter throws OraError.
std::string FormatDate(const DateParts& d, std::string_view fmt);
DateParts ParseDate(std::string_view text, std::string_view fmt);

DateParts Now();

// TIMESTAMP values: the stored date followed, when the fraction is not zero,
// by "." and its nine digits of nanoseconds, so that text order stays time order.
std::string StoredTimestamp(const DateParts& d, unsigned fsec);
bool ParseStoredTimestamp(std::string_view text, DateParts* out, unsigned* fsec);

// The session's time zone is the process's: its offset from UTC in minutes
// at a local time, and a time moved by some minutes.
int LocalOffsetMinutes(const DateParts& local);
DateParts AddMinutes(const DateParts& d, long minutes);
DateParts AddSeconds(const DateParts& d, long seconds);
// Oracle's default text of a TIMESTAMP: DD-MON-RR HH.MI.SSXFF AM, `digits` of fraction.
std::string TimestampText(const DateParts& d, unsigned fsec, int digits);
// The session's local time of a UTC time.
DateParts UtcToLocal(const DateParts& utc);

inline constexpr const char* kDefaultDateFormat = "DD-MON-RR";

}  // namespace kavo::ocisqlite

#endif
