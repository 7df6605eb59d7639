// Oracle's SQL functions as SQLite functions. Errors are raised with Oracle's
// text so that the statement fails with the right ORA- number.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "connection.h"
#include "datetime.h"
#include "ora_number.h"
#include "number_text.h"
#include "rowid.h"

namespace kavo::ocisqlite {

namespace {

Connection* Conn(sqlite3_context* ctx) { return static_cast<Connection*>(sqlite3_user_data(ctx)); }

std::string Text(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_value_bytes(v))) : "";
}

bool Null(sqlite3_value* v) {
  return sqlite3_value_type(v) == SQLITE_NULL ||
         (sqlite3_value_type(v) == SQLITE_TEXT && sqlite3_value_bytes(v) == 0);
}

void Fail(sqlite3_context* ctx, const OraError& e) {
  sqlite3_result_error(ctx, e.text().c_str(), static_cast<int>(e.text().size()));
}

// Whether a call of a function taking min to max arguments has n of them; fails
// the call with Oracle's error when not.
bool Arity(sqlite3_context* ctx, int n, int min, int max) {
  if (n >= min && n <= max) return true;
  Fail(ctx, MakeError(n < min ? 938 : 939));
  return false;
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  if (s.empty()) sqlite3_result_null(ctx);  // Oracle: the empty string is NULL
  else sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// A whole number as an integer where one holds it, else as it is.
void WholeOrDoubleResult(sqlite3_context* ctx, double r) {
  if (r == std::floor(r) && std::fabs(r) < 9e18) sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(r));
  else sqlite3_result_double(ctx, r);
}

bool NumberOf(sqlite3_value* v, double* out) {
  int t = sqlite3_value_type(v);
  if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) { *out = sqlite3_value_double(v); return true; }
  return ParseNumber(Text(v), out);
}

void Rowid(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (sqlite3_value_type(a[1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  ResultText(ctx, RowidText(RowidFromRowNumber(static_cast<uint32_t>(sqlite3_value_int64(a[0])),
                                                sqlite3_value_int64(a[1]))));
}

void RowidNum(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (Null(a[1])) return sqlite3_result_null(ctx);
  RowidParts p;
  if (!ParseRowid(Text(a[1]), &p)) return Fail(ctx, MakeError(1410));
  if (p.object != static_cast<uint32_t>(sqlite3_value_int64(a[0]))) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, RowNumberFromRowid(p));
}

void ToChar(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (!Arity(ctx, n, 1, 3)) return;
  if (Null(a[0])) return sqlite3_result_null(ctx);
  int t = sqlite3_value_type(a[0]);
  if ((t == SQLITE_INTEGER || t == SQLITE_FLOAT) && n > 1 && !Null(a[1])) {
    try {
      return ResultText(ctx, FormatNumber(sqlite3_value_double(a[0]), Text(a[1])));
    } catch (const OraError& e) {
      return Fail(ctx, e);
    }
  }
  if (t == SQLITE_INTEGER) return ResultText(ctx, NumberText(static_cast<int64_t>(sqlite3_value_int64(a[0]))));
  if (t == SQLITE_FLOAT) return ResultText(ctx, NumberText(sqlite3_value_double(a[0])));
  std::string s = Text(a[0]);
  DateParts d;
  unsigned fsec = 0;
  // A TIMESTAMP with a fraction; one without is told from a DATE by nothing.
  if (s.size() > 19 && ParseStoredTimestamp(s, &d, &fsec) && n == 1) return ResultText(ctx, TimestampText(d, fsec, 6));
  if ((s.size() == 19 && ParseStoredDate(s, &d)) || (s.size() > 19 && ParseStoredTimestamp(s, &d, &fsec))) {
    try {
      return ResultText(ctx, FormatDate(d, n > 1 ? Text(a[1]) : Conn(ctx)->nls_date_format()));
    } catch (const OraError& e) {
      return Fail(ctx, e);
    }
  }
  ResultText(ctx, s);
}

void ToDate(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (!Arity(ctx, n, 1, 3)) return;
  if (Null(a[0])) return sqlite3_result_null(ctx);
  std::string s = Text(a[0]);
  DateParts d;
  if (n == 1 && ParseStoredDate(s, &d) && s.size() == 19) return ResultText(ctx, s);
  try {
    ResultText(ctx, StoredDate(ParseDate(s, n > 1 ? Text(a[1]) : Conn(ctx)->nls_date_format())));
  } catch (const OraError& e) {
    Fail(ctx, e);
  }
}

void ToNumber(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (!Arity(ctx, n, 1, 3)) return;
  if (Null(a[0])) return sqlite3_result_null(ctx);
  double v;
  if (!NumberOf(a[0], &v)) return Fail(ctx, MakeError(1722));
  WholeOrDoubleResult(ctx, v);
}

void Sysdate(sqlite3_context* ctx, int, sqlite3_value**) { ResultText(ctx, StoredDate(Now())); }
void User(sqlite3_context* ctx, int, sqlite3_value**) { ResultText(ctx, Conn(ctx)->user()); }
void Txid(sqlite3_context* ctx, int, sqlite3_value**) { ResultText(ctx, Conn(ctx)->TransactionId()); }
void Banner(sqlite3_context* ctx, int, sqlite3_value** a) {
  ResultText(ctx, Conn(ctx)->Banner(sqlite3_value_int(a[0])));
}

void Userenv(sqlite3_context* ctx, int, sqlite3_value** a) {
  std::string k = AsciiUpper(Text(a[0]));
  if (k == "SESSIONID") return sqlite3_result_int64(ctx, Conn(ctx)->session_id());
  if (k == "LANGUAGE") return ResultText(ctx, "AMERICAN_AMERICA.AL32UTF8");
  if (k == "LANG") return ResultText(ctx, "US");
  if (k == "TERMINAL") return ResultText(ctx, "unknown");
  if (k == "ISDBA") return ResultText(ctx, "FALSE");
  Fail(ctx, MakeError(904, "\"" + k + "\""));
}

// CHR(n): the bytes of n, most significant first, leading zero bytes dropped.
void Chr(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (Null(a[0])) return sqlite3_result_null(ctx);
  uint64_t v = static_cast<uint64_t>(sqlite3_value_int64(a[0])) & 0xFFFFFFFFu;
  std::string s;
  bool started = false;
  for (int shift = 24; shift >= 0; shift -= 8) {
    unsigned char b = static_cast<unsigned char>(v >> shift);
    if (b || started || shift == 0) { s += static_cast<char>(b); started = true; }
  }
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// Characters of UTF-8 text; a byte that does not start a valid sequence counts as one.
int64_t CharCount(const std::string& s) {
  int64_t n = 0;
  for (size_t i = 0; i < s.size(); ++n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    bool ok = i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k)
      ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    i += ok ? len : 1;
  }
  return n;
}

std::string ValueText(sqlite3_value* v) {
  int t = sqlite3_value_type(v);
  if (t == SQLITE_INTEGER) return NumberText(static_cast<int64_t>(sqlite3_value_int64(v)));
  if (t == SQLITE_FLOAT) return NumberText(sqlite3_value_double(v));
  return Text(v);
}

void Length(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (Null(a[0])) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, CharCount(ValueText(a[0])));
}

void LengthB(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (Null(a[0])) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(a[0]) == SQLITE_BLOB) return sqlite3_result_int(ctx, sqlite3_value_bytes(a[0]));
  sqlite3_result_int64(ctx, static_cast<int64_t>(ValueText(a[0]).size()));
}

// SUBSTR with Oracle's positions: 0 counts as 1, negative counts from the end.
void Substr(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (!Arity(ctx, n, 2, 3)) return;
  if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(ctx);
  std::string s = ValueText(a[0]);
  // Positions count characters of the UTF-8 text: where each one starts, and the end.
  std::vector<size_t> at;
  for (size_t k = 0; k < s.size(); ++k)
    if ((static_cast<unsigned char>(s[k]) & 0xC0) != 0x80) at.push_back(k);
  int64_t len = static_cast<int64_t>(at.size());
  at.push_back(s.size());
  int64_t pos = sqlite3_value_int64(a[1]);
  if (pos == 0) pos = 1;
  if (pos < 0) pos = len + pos + 1;
  if (pos < 1 || pos > len) return sqlite3_result_null(ctx);
  int64_t count = len - pos + 1;
  if (n > 2) {
    if (Null(a[2])) return sqlite3_result_null(ctx);
    count = std::min<int64_t>(count, sqlite3_value_int64(a[2]));
    if (count < 1) return sqlite3_result_null(ctx);
  }
  size_t from = at[static_cast<size_t>(pos - 1)], to = at[static_cast<size_t>(pos - 1 + count)];
  ResultText(ctx, s.substr(from, to - from));
}

void Decode(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (!Arity(ctx, n, 3, 255)) return;
  for (int i = 1; i + 1 < n; i += 2) {
    bool both_null = Null(a[0]) && Null(a[i]);
    if (both_null || (!Null(a[0]) && !Null(a[i]) && ValueText(a[0]) == ValueText(a[i]))) {
      return sqlite3_result_value(ctx, a[i + 1]);
    }
  }
  if (n % 2 == 0) return sqlite3_result_value(ctx, a[n - 1]);
  sqlite3_result_null(ctx);
}

void Trunc(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (!Arity(ctx, n, 1, 2)) return;
  if (Null(a[0])) return sqlite3_result_null(ctx);
  int t = sqlite3_value_type(a[0]);
  DateParts d;
  if (t == SQLITE_TEXT && ParseStoredDate(Text(a[0]), &d)) {
    d.hour = d.minute = d.second = 0;
    return ResultText(ctx, StoredDate(d));
  }
  double v;
  if (!NumberOf(a[0], &v)) return Fail(ctx, MakeError(1722));
  double scale = std::pow(10.0, n > 1 ? sqlite3_value_int(a[1]) : 0);
  double r = std::trunc(v * scale) / scale;
  WholeOrDoubleResult(ctx, r);
}

void Mod(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(ctx);
  double x, y;
  if (!NumberOf(a[0], &x) || !NumberOf(a[1], &y)) return Fail(ctx, MakeError(1722));
  if (y == 0) return sqlite3_result_value(ctx, a[0]);
  double r = x - y * std::trunc(x / y);
  WholeOrDoubleResult(ctx, r);
}

// ora_trim(side, text[, set]): side 'L', 'R' or 'B'.
void Trim(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (!Arity(ctx, n, 2, 3)) return;  // the side, then the arguments
  if (Null(a[1])) return sqlite3_result_null(ctx);
  std::string side = Text(a[0]), s = ValueText(a[1]), set = n > 2 ? Text(a[2]) : " ";
  size_t b = 0, e = s.size();
  if (side != "R")
    while (b < e && set.find(s[b]) != std::string::npos) ++b;
  if (side != "L")
    while (e > b && set.find(s[e - 1]) != std::string::npos) --e;
  ResultText(ctx, s.substr(b, e - b));
}

// Column checks written into the tables: VARCHAR2/CHAR length in bytes.
void CheckLength(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (sqlite3_value_type(a[0]) == SQLITE_NULL) return sqlite3_result_int(ctx, 1);
  int64_t actual = sqlite3_value_type(a[0]) == SQLITE_BLOB ? sqlite3_value_bytes(a[0])
                                                            : static_cast<int64_t>(ValueText(a[0]).size());
  int64_t max = sqlite3_value_int64(a[1]);
  if (actual > max) {
    OraError e = MakeError(12899, Text(a[2]) + " (actual: " + std::to_string(actual) +
                                      ", maximum: " + std::to_string(max) + ")");
    return Fail(ctx, e);
  }
  sqlite3_result_int(ctx, 1);
}

// NUMBER(p, s): digits before the point limited to p - s.
void CheckNumber(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (sqlite3_value_type(a[0]) == SQLITE_NULL) return sqlite3_result_int(ctx, 1);
  double v;
  if (!NumberOf(a[0], &v)) return Fail(ctx, MakeError(1722));
  int p = sqlite3_value_int(a[1]), s = sqlite3_value_int(a[2]);
  double scale = std::pow(10.0, s);
  double rounded = std::round(v * scale) / scale;
  if (std::fabs(rounded) >= std::pow(10.0, p - s)) return Fail(ctx, MakeError(1438));
  sqlite3_result_int(ctx, 1);
}

bool StoredDateOf(sqlite3_value* v, DateParts* d) {
  if (sqlite3_value_type(v) != SQLITE_TEXT || sqlite3_value_bytes(v) != 19) return false;
  return ParseStoredDate(Text(v), d);
}

// Days since 0001-01-01 plus the fraction of the day.
double DayNumber(const DateParts& d) {
  int y = d.year, m = d.month;
  if (m < 3) { --y; m += 12; }
  long days = 365L * y + y / 4 - y / 100 + y / 400 + (153 * (m - 3) + 2) / 5 + d.day;
  return static_cast<double>(days) + (d.hour * 3600 + d.minute * 60 + d.second) / 86400.0;
}

DateParts FromDayNumber(double n) {
  long days = static_cast<long>(std::floor(n));
  long secs = std::lround((n - static_cast<double>(days)) * 86400.0);
  if (secs >= 86400) { ++days; secs -= 86400; }
  // Inverse of DayNumber: find the year, then month and day.
  DateParts d;
  long y = static_cast<long>(static_cast<double>(days) / 365.2425);
  auto start = [](long yy) { DateParts p; p.year = static_cast<int>(yy); p.month = 3; p.day = 1; return static_cast<long>(DayNumber(p)); };
  while (start(y + 1) <= days) ++y;
  while (start(y) > days) --y;
  long doy = days - start(y);  // from March 1st
  int mp = static_cast<int>((5 * doy + 2) / 153);
  d.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  d.month = mp < 10 ? mp + 3 : mp - 9;
  d.year = static_cast<int>(d.month <= 2 ? y + 1 : y);
  d.hour = static_cast<int>(secs / 3600);
  d.minute = static_cast<int>(secs / 60 % 60);
  d.second = static_cast<int>(secs % 60);
  return d;
}

void NumberResult(sqlite3_context* ctx, double r) {
  if (r == std::floor(r) && std::fabs(r) < 9e15) sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(r));
  else sqlite3_result_double(ctx, r);
}

void DateResult(sqlite3_context* ctx, double day_number) {
  // Far outside every valid year (and NaN): refused before the day count
  // becomes an integer it would not fit.
  if (!(std::fabs(day_number) < 1e8)) return Fail(ctx, MakeError(1841));
  DateParts d = FromDayNumber(day_number);
  if (!ValidDate(d)) return Fail(ctx, MakeError(1841));
  ResultText(ctx, StoredDate(d));
}

// +, - with Oracle's DATE arithmetic (days, fractions of days).
void Arith(sqlite3_context* ctx, sqlite3_value** a, bool add) {
  if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(ctx);
  DateParts d0, d1;
  bool date0 = StoredDateOf(a[0], &d0), date1 = StoredDateOf(a[1], &d1);
  double x = 0, y = 0;
  if (date0 && date1) {
    if (add) return Fail(ctx, MakeError(932, "NUMBER", "DATE"));
    return NumberResult(ctx, DayNumber(d0) - DayNumber(d1));
  }
  if ((!date0 && !NumberOf(a[0], &x)) || (!date1 && !NumberOf(a[1], &y))) return Fail(ctx, MakeError(1722));
  if (date0) return DateResult(ctx, add ? DayNumber(d0) + y : DayNumber(d0) - y);
  if (date1) {
    if (!add) return Fail(ctx, MakeError(932, "DATE", "NUMBER"));
    return DateResult(ctx, DayNumber(d1) + x);
  }
  if (sqlite3_value_type(a[0]) == SQLITE_INTEGER && sqlite3_value_type(a[1]) == SQLITE_INTEGER) {
    sqlite3_int64 p = sqlite3_value_int64(a[0]), q = sqlite3_value_int64(a[1]), r;
    if (!(add ? __builtin_add_overflow(p, q, &r) : __builtin_sub_overflow(p, q, &r)))
      return sqlite3_result_int64(ctx, r);
  }
  NumberResult(ctx, add ? x + y : x - y);
}

void Add(sqlite3_context* ctx, int, sqlite3_value** a) { Arith(ctx, a, true); }
void Sub(sqlite3_context* ctx, int, sqlite3_value** a) { Arith(ctx, a, false); }

// One operand of a concatenation: NULL counts as the empty string; numbers
// and, where it may be one, dates take their text forms. False once the
// context carries an error.
bool AppendOperand(sqlite3_context* ctx, sqlite3_value* v, bool may_be_date, std::string& out) {
  if (Null(v)) return true;
  DateParts d;
  if (may_be_date && StoredDateOf(v, &d)) {
    try {
      out += FormatDate(d, Conn(ctx)->nls_date_format());
    } catch (const OraError& e) {
      Fail(ctx, e);
      return false;
    }
    return true;
  }
  out += ValueText(v);
  return true;
}

// CONCAT(a, b, ...).
void Concat(sqlite3_context* ctx, int n, sqlite3_value** a) {
  std::string out;
  for (int i = 0; i < n; ++i)
    if (!AppendOperand(ctx, a[i], true, out)) return;
  ResultText(ctx, out);
}

// a || b: the last argument's bits 1 and 2 say that a, b are not dates
// whatever their text looks like.
void Cat(sqlite3_context* ctx, int, sqlite3_value** a) {
  const sqlite3_int64 text = sqlite3_value_int64(a[2]);
  std::string out;
  for (int i = 0; i < 2; ++i)
    if (!AppendOperand(ctx, a[i], (text & (1 << i)) == 0, out)) return;
  ResultText(ctx, out);
}

// SYS_CONTEXT('USERENV', parameter): the session's facts a client's set-up asks.
void SysContext(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (AsciiUpper(Text(a[0])) != "USERENV") return sqlite3_result_null(ctx);  // no other namespace is set
  const std::string k = AsciiUpper(Text(a[1]));
  Connection* c = Conn(ctx);
  if (k == "SESSION_USER" || k == "CURRENT_USER" || k == "CURRENT_SCHEMA") return ResultText(ctx, c->user());
  if (k == "SESSIONID" || k == "SID") return ResultText(ctx, std::to_string(c->session_id()));
  if (k == "LANGUAGE") return ResultText(ctx, "AMERICAN_AMERICA.AL32UTF8");
  if (k == "LANG") return ResultText(ctx, "US");
  if (k == "NLS_DATE_FORMAT") return ResultText(ctx, c->nls_date_format());
  if (k == "DB_NAME" || k == "INSTANCE_NAME" || k == "SERVICE_NAME") return ResultText(ctx, "OCISQLITE");
  if (k == "DB_DOMAIN" || k == "MODULE" || k == "ACTION" || k == "CLIENT_INFO" || k == "CLIENT_IDENTIFIER")
    return sqlite3_result_null(ctx);
  if (k == "ISDBA") return ResultText(ctx, "FALSE");
  if (k == "TERMINAL" || k == "HOST") return ResultText(ctx, "unknown");
  Fail(ctx, MakeError(2003, "USERENV"));
}

// LPAD and RPAD: to n characters, cut or filled with pad (a blank by default).
void Pad(sqlite3_context* ctx, int n, sqlite3_value** a, bool left) {
  if (!Arity(ctx, n, 2, 3)) return;
  if (Null(a[0]) || Null(a[1]) || (n == 3 && Null(a[2]))) return sqlite3_result_null(ctx);
  const double want = sqlite3_value_double(a[1]);
  if (!(want >= 1)) return sqlite3_result_null(ctx);
  if (want > 32767) return Fail(ctx, MakeError(1489));
  const size_t width = static_cast<size_t>(want);
  const std::string text = ValueText(a[0]);
  const std::string pad = n == 3 ? ValueText(a[2]) : " ";
  if (pad.empty()) return sqlite3_result_null(ctx);
  // Characters of UTF-8 text as byte ranges.
  auto starts = [](const std::string& t) {
    std::vector<size_t> at;
    for (size_t i = 0; i < t.size(); ++i)
      if ((static_cast<unsigned char>(t[i]) & 0xC0) != 0x80) at.push_back(i);
    return at;
  };
  const std::vector<size_t> chars = starts(text), pad_chars = starts(pad);
  if (chars.size() >= width) return ResultText(ctx, text.substr(0, width < chars.size() ? chars[width] : text.size()));
  std::string fill;
  for (size_t k = 0, need = width - chars.size(); k < need; ++k) {
    const size_t j = k % pad_chars.size();
    const size_t end = j + 1 < pad_chars.size() ? pad_chars[j + 1] : pad.size();
    fill += pad.substr(pad_chars[j], end - pad_chars[j]);
  }
  ResultText(ctx, left ? fill + text : text + fill);
}
void Lpad(sqlite3_context* ctx, int n, sqlite3_value** a) { Pad(ctx, n, a, true); }
void Rpad(sqlite3_context* ctx, int n, sqlite3_value** a) { Pad(ctx, n, a, false); }

// TO_TIMESTAMP(text[, format]): TO_DATE's formats, with FF (or XFF) for the fraction.
void ToTimestamp(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (!Arity(ctx, n, 1, 3)) return;
  if (Null(a[0])) return sqlite3_result_null(ctx);
  std::string text = Text(a[0]);
  DateParts d;
  unsigned fsec = 0;
  if (n == 1 && ParseStoredTimestamp(text, &d, &fsec)) return ResultText(ctx, StoredTimestamp(d, fsec));
  std::string fmt = n > 1 ? Text(a[1]) : Conn(ctx)->nls_date_format();
  const std::string upper = AsciiUpper(fmt);
  const size_t ff = upper.find("FF");
  if (ff != std::string::npos) {
    // The fraction: the digits after the text's last '.' (or the separator before FF).
    size_t cut_fmt = ff;
    if (cut_fmt > 0 && (upper[cut_fmt - 1] == '.' || upper[cut_fmt - 1] == 'X')) --cut_fmt;
    size_t ff_end = ff + 2;
    if (ff_end < upper.size() && upper[ff_end] >= '1' && upper[ff_end] <= '9') ++ff_end;
    const size_t dot = text.find_last_of(".,");
    if (dot == std::string::npos) return Fail(ctx, MakeError(1830));
    size_t k = dot + 1;
    unsigned digits = 0;
    for (; k < text.size() && text[k] >= '0' && text[k] <= '9' && digits < 9; ++k, ++digits)
      fsec = fsec * 10 + static_cast<unsigned>(text[k] - '0');
    if (digits == 0) return Fail(ctx, MakeError(1830));
    for (unsigned r = digits; r < 9; ++r) fsec *= 10;
    text = text.substr(0, dot) + text.substr(k);
    fmt = fmt.substr(0, cut_fmt) + fmt.substr(ff_end);
  }
  try {
    ResultText(ctx, StoredTimestamp(ParseDate(text, fmt), fsec));
  } catch (const OraError& e) {
    Fail(ctx, e);
  }
}

// DUMP(expr): Oracle's type code, length and bytes of the value as Oracle holds
// it: NUMBER (2) in its own bytes, a stored date as DATE (12), text as VARCHAR2 (1).
void Dump(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (Null(a[0])) return ResultText(ctx, "NULL");
  std::string bytes;
  int type = 1;
  const int t = sqlite3_value_type(a[0]);
  DateParts d;
  if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
    unsigned char n[21];
    size_t len = 0;
    try {
      len = t == SQLITE_INTEGER ? EncodeOraNumber(static_cast<int64_t>(sqlite3_value_int64(a[0])), n)
                                : EncodeOraNumber(sqlite3_value_double(a[0]), n);
    } catch (const OraError& e) {
      return Fail(ctx, e);
    }
    bytes.assign(reinterpret_cast<const char*>(n), len);
    type = 2;
  } else if (StoredDateOf(a[0], &d)) {
    unsigned char out[7];
    EncodeOracleDate(d, out);
    bytes.assign(reinterpret_cast<const char*>(out), 7);
    type = 12;
  } else if (t == SQLITE_BLOB) {
    bytes.assign(static_cast<const char*>(sqlite3_value_blob(a[0])), static_cast<size_t>(sqlite3_value_bytes(a[0])));
    type = 23;
  } else {
    bytes = Text(a[0]);
  }
  std::string out = "Typ=" + std::to_string(type) + " Len=" + std::to_string(bytes.size()) + ": ";
  for (size_t i = 0; i < bytes.size(); ++i)
    out += (i ? "," : "") + std::to_string(static_cast<unsigned char>(bytes[i]));
  ResultText(ctx, out);
}

// EMPTY_CLOB(), EMPTY_BLOB(): the store holds an empty LOB as NULL.
void EmptyLob(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_null(ctx); }

// Values on their way into DATE, NUMBER and RAW columns.
void DateIn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (Null(a[0])) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(a[0]) != SQLITE_TEXT) return Fail(ctx, MakeError(932, "DATE", "NUMBER"));
  std::string s = Text(a[0]);
  DateParts d;
  unsigned fsec;
  // A DATE keeps no fraction of a second: a timestamp's is dropped.
  if (ParseStoredTimestamp(s, &d, &fsec)) return ResultText(ctx, StoredDate(d));
  try {
    ResultText(ctx, StoredDate(ParseDate(s, Conn(ctx)->nls_date_format())));
  } catch (const OraError& e) {
    Fail(ctx, e);
  }
}

// ora_timestamp_in(digits, value): a TIMESTAMP keeps `digits` of its fraction,
// rounded; a DATE or text by NLS_DATE_FORMAT has none.
void TimestampIn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (Null(a[1])) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(a[1]) != SQLITE_TEXT) return Fail(ctx, MakeError(932, "TIMESTAMP", "NUMBER"));
  const int digits = sqlite3_value_int(a[0]);
  std::string s = Text(a[1]);
  DateParts d;
  unsigned fsec = 0;
  try {
    if (!ParseStoredTimestamp(s, &d, &fsec)) d = ParseDate(s, Conn(ctx)->nls_date_format());
  } catch (const OraError& e) {
    return Fail(ctx, e);
  }
  unsigned unit = 1;
  for (int k = digits; k < 9; ++k) unit *= 10;
  fsec = (fsec + unit / 2) / unit * unit;
  if (fsec >= 1000000000u) {  // rounded up into the next second
    fsec = 0;
    d = AddSeconds(d, 1);
  }
  ResultText(ctx, StoredTimestamp(d, fsec));
}

// ora_number_in(scale, value): NUMBER(p, s) columns keep s decimals, rounded half away from zero.
void NumberIn(sqlite3_context* ctx, int, sqlite3_value** a) {
  int scale = sqlite3_value_int(a[0]);
  int t = sqlite3_value_type(a[1]);
  if (t == SQLITE_INTEGER) return sqlite3_result_value(ctx, a[1]);
  if (Null(a[1])) return sqlite3_result_null(ctx);
  double v;
  if (t == SQLITE_TEXT && scale >= 0) {
    if (!RoundNumber(Text(a[1]), scale, &v)) return Fail(ctx, MakeError(1722));
    return NumberResult(ctx, v);
  }
  if (!NumberOf(a[1], &v)) return Fail(ctx, MakeError(1722));
  NumberResult(ctx, scale >= 0 ? RoundNumber(v, scale) : v);
}

void RawIn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (Null(a[0])) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(a[0]) == SQLITE_BLOB) return sqlite3_result_value(ctx, a[0]);
  std::string hex = ValueText(a[0]), bytes;
  auto nibble = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
  };
  if (hex.size() % 2) hex.insert(hex.begin(), '0');
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
    if (hi < 0 || lo < 0) return Fail(ctx, MakeError(1465));
    bytes += static_cast<char>(hi * 16 + lo);
  }
  sqlite3_result_blob(ctx, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

struct Fn {
  const char* name;
  int args;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
  bool deterministic;
};

}  // namespace

void RegisterFunctions(sqlite3* db, Connection* conn) {
  static const Fn fns[] = {
      {"ora_rowid", 2, Rowid, true},        {"ora_rowid_num", 2, RowidNum, true},
      {"ora_to_char", -1, ToChar, false},   {"ora_to_date", -1, ToDate, false},
      {"ora_to_number", -1, ToNumber, true}, {"ora_sysdate", 0, Sysdate, false},
      {"ora_user", 0, User, false},         {"ora_txid", 0, Txid, false},
      {"ora_banner", 1, Banner, false},     {"ora_userenv", 1, Userenv, false},
      {"ora_chr", 1, Chr, true},            {"ora_length", 1, Length, true},
      {"ora_lengthb", 1, LengthB, true},    {"ora_substr", -1, Substr, true},
      {"ora_decode", -1, Decode, true},     {"ora_trunc", -1, Trunc, true},
      {"ora_mod", 2, Mod, true},            {"ora_trim", -1, Trim, true},
      {"ora_add", 2, Add, false},           {"ora_sub", 2, Sub, false},
      {"ora_concat", -1, Concat, false},   {"ora_cat", 3, Cat, false},
      {"ora_date_in", 1, DateIn, false},  {"ora_timestamp_in", 2, TimestampIn, false},    {"ora_number_in", 2, NumberIn, true},
      {"ora_raw_in", 1, RawIn, true},       {"ora_empty_lob", 0, EmptyLob, true},
      {"ora_sys_context", 2, SysContext, false}, {"ora_lpad", -1, Lpad, true},
      {"ora_rpad", -1, Rpad, true},         {"ora_to_timestamp", -1, ToTimestamp, false},
      {"ora_dump", 1, Dump, false},
      {"ora_check_length", 3, CheckLength, true},
      {"ora_check_number", 3, CheckNumber, true},
  };
  for (const Fn& f : fns)
    sqlite3_create_function_v2(db, f.name, f.args,
                               SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0), conn,
                               f.fn, nullptr, nullptr, nullptr);
}

}  // namespace kavo::ocisqlite
