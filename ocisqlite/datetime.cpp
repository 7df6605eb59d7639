#include <algorithm>
#include "datetime.h"

#include <cctype>
#include <cstdio>
#include <ctime>

#include "errors.h"
#include "lexer.h"

namespace kavo::ocisqlite {

namespace {

const char* kMonths[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                         "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
const char* kDays[] = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY",
                       "SATURDAY"};

bool Leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysIn(int y, int m) {
  static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && Leap(y) ? 29 : d[m - 1];
}

int Weekday(const DateParts& d) {  // 0 = Sunday (Zeller-like, proleptic Gregorian)
  int y = d.year, m = d.month;
  if (m < 3) { m += 12; --y; }
  int k = y % 100, j = y / 100;
  int h = (d.day + 13 * (m + 1) / 5 + k + k / 4 + j / 4 + 5 * j) % 7;  // 0 = Saturday
  return (h + 6) % 7;
}

// Applies the case of the format element ("Mon", "MON", "mon") to a name.
std::string Cased(std::string name, std::string_view element) {
  bool first_upper = std::isupper(static_cast<unsigned char>(element[0]));
  bool second_upper = element.size() > 1 && std::isupper(static_cast<unsigned char>(element[1]));
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    bool up = i == 0 ? first_upper : second_upper;
    name[i] = static_cast<char>(up ? std::toupper(c) : std::tolower(c));
  }
  return name;
}

// The format elements, longest first so that "MONTH" wins over "MON" and "MM".
const char* kElements[] = {"MONTH", "HH24", "HH12", "RRRR", "YYYY", "SYYYY", "MON", "DAY",
                           "YYY",   "RR",   "YY",   "MM",   "DD",   "HH",    "MI",  "SS",
                           "AM",    "PM",   "DY",   "FM",   "Y",    "D",     "J"};

size_t MatchElement(std::string_view fmt, size_t i, std::string_view* element) {
  for (const char* e : kElements) {
    std::string_view ev(e);
    if (fmt.size() - i >= ev.size() && AsciiUpper(fmt.substr(i, ev.size())) == ev) {
      *element = fmt.substr(i, ev.size());
      return ev.size();
    }
  }
  return 0;
}

// The text of a "quoted" literal in a format model starting at i; i moves past it.
std::string_view QuotedLiteral(std::string_view fmt, size_t* i) {
  size_t end = fmt.find('"', *i + 1);
  if (end == std::string_view::npos) end = fmt.size();
  std::string_view lit = fmt.substr(*i + 1, end - *i - 1);
  *i = end + 1;
  return lit;
}

bool IsSeparator(char c) {
  return c == '-' || c == '/' || c == ',' || c == '.' || c == ';' || c == ':' || c == ' ';
}

}  // namespace

bool ValidDate(const DateParts& d) {
  return d.year >= 1 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
         d.day <= DaysIn(d.year, d.month) && d.hour >= 0 && d.hour <= 23 && d.minute >= 0 &&
         d.minute <= 59 && d.second >= 0 && d.second <= 59;
}

bool ParseStoredDate(std::string_view t, DateParts* out) {
  // "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS", fixed widths; hot when fetching DATE columns.
  auto digits = [&](size_t at, size_t n, int* v) {
    if (at + n > t.size()) return false;
    int r = 0;
    for (size_t k = at; k < at + n; ++k) {
      if (t[k] < '0' || t[k] > '9') return false;
      r = r * 10 + (t[k] - '0');
    }
    *v = r;
    return true;
  };
  DateParts d;
  if (t.size() != 10 && t.size() != 19) return false;
  if (!digits(0, 4, &d.year) || t[4] != '-' || !digits(5, 2, &d.month) || t[7] != '-' ||
      !digits(8, 2, &d.day))
    return false;
  if (t.size() == 19 && (t[10] != ' ' || !digits(11, 2, &d.hour) || t[13] != ':' ||
                         !digits(14, 2, &d.minute) || t[16] != ':' || !digits(17, 2, &d.second)))
    return false;
  if (!ValidDate(d)) return false;
  *out = d;
  return true;
}

std::string StoredDate(const DateParts& d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour,
                d.minute, d.second);
  return buf;
}

void EncodeOracleDate(const DateParts& d, unsigned char out[7]) {
  out[0] = static_cast<unsigned char>(d.year / 100 + 100);
  out[1] = static_cast<unsigned char>(d.year % 100 + 100);
  out[2] = static_cast<unsigned char>(d.month);
  out[3] = static_cast<unsigned char>(d.day);
  out[4] = static_cast<unsigned char>(d.hour + 1);
  out[5] = static_cast<unsigned char>(d.minute + 1);
  out[6] = static_cast<unsigned char>(d.second + 1);
}

bool DecodeOracleDate(const unsigned char in[7], DateParts* out) {
  DateParts d;
  d.year = (in[0] - 100) * 100 + (in[1] - 100);
  d.month = in[2];
  d.day = in[3];
  d.hour = in[4] - 1;
  d.minute = in[5] - 1;
  d.second = in[6] - 1;
  if (in[0] < 100 || in[1] < 100 || in[1] > 199 || !ValidDate(d)) return false;
  *out = d;
  return true;
}

DateParts Now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return DateParts{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                   tm.tm_sec};
}

std::string StoredTimestamp(const DateParts& d, unsigned fsec) {
  std::string s = StoredDate(d);
  if (fsec == 0) return s;
  char buf[16];
  std::snprintf(buf, sizeof buf, ".%09u", fsec % 1000000000u);
  return s + buf;
}

bool ParseStoredTimestamp(std::string_view text, DateParts* out, unsigned* fsec) {
  *fsec = 0;
  if (text.size() <= 19) return ParseStoredDate(text, out);
  if (text[19] != '.' || text.size() > 29 || !ParseStoredDate(text.substr(0, 19), out)) return false;
  unsigned f = 0;
  size_t k = 20;
  for (; k < text.size(); ++k) {
    if (text[k] < '0' || text[k] > '9') return false;
    f = f * 10 + static_cast<unsigned>(text[k] - '0');
  }
  for (; k < 29; ++k) f *= 10;
  *fsec = f;
  return true;
}

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date.
long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

}  // namespace

DateParts AddMinutes(const DateParts& d, long minutes) {
  long long t = (static_cast<long long>(DaysFromCivil(d.year, static_cast<unsigned>(d.month), static_cast<unsigned>(d.day))) * 1440 +
                 d.hour * 60 + d.minute + minutes);
  long long days = t >= 0 ? t / 1440 : -((-t + 1439) / 1440);
  long long rest = t - days * 1440;
  // civil from days
  long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  DateParts r = d;
  r.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  r.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  r.year = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (r.month <= 2));
  r.hour = static_cast<int>(rest / 60);
  r.minute = static_cast<int>(rest % 60);
  return r;
}

int LocalOffsetMinutes(const DateParts& local) {
  std::tm tm{};
  tm.tm_year = local.year - 1900;
  tm.tm_mon = local.month - 1;
  tm.tm_mday = local.day;
  tm.tm_hour = local.hour;
  tm.tm_min = local.minute;
  tm.tm_sec = local.second;
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) return 0;
  std::tm back{};
  localtime_r(&t, &back);
  return static_cast<int>(back.tm_gmtoff / 60);
}

DateParts AddSeconds(const DateParts& d, long seconds) {
  long total = d.second + seconds;
  long minutes = total >= 0 ? total / 60 : -((-total + 59) / 60);
  DateParts r = AddMinutes(d, minutes);
  r.second = static_cast<int>(total - minutes * 60);
  return r;
}

std::string TimestampText(const DateParts& d, unsigned fsec, int digits) {
  std::string s = FormatDate(d, "DD-MON-RR HH.MI.SS");
  if (digits > 0) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%09u", fsec);
    s += "." + std::string(buf, static_cast<size_t>(std::min(digits, 9)));
  }
  return s + (d.hour < 12 ? " AM" : " PM");
}

DateParts UtcToLocal(const DateParts& utc) {
  std::tm tm{};
  tm.tm_year = utc.year - 1900;
  tm.tm_mon = utc.month - 1;
  tm.tm_mday = utc.day;
  tm.tm_hour = utc.hour;
  tm.tm_min = utc.minute;
  tm.tm_sec = utc.second;
  std::time_t t = timegm(&tm);
  std::tm local{};
  if (t == static_cast<std::time_t>(-1) || !localtime_r(&t, &local)) return utc;
  return AddMinutes(utc, local.tm_gmtoff / 60);
}

std::string FormatDate(const DateParts& d, std::string_view fmt) {
  std::string out;
  bool fill_mode = true;  // FM toggles suppression of padding
  char buf[16];
  auto num = [&](int v, int width) {
    if (fill_mode) std::snprintf(buf, sizeof buf, "%0*d", width, v);
    else std::snprintf(buf, sizeof buf, "%d", v);
    out += buf;
  };
  for (size_t i = 0; i < fmt.size();) {
    if (fmt[i] == '"') {
      out.append(QuotedLiteral(fmt, &i));
      continue;
    }
    std::string_view e;
    size_t len = MatchElement(fmt, i, &e);
    if (len == 0) {
      if (!IsSeparator(fmt[i])) throw MakeError(1821);
      out += fmt[i++];
      continue;
    }
    std::string u = AsciiUpper(e);
    if (u == "YYYY" || u == "RRRR" || u == "SYYYY") num(d.year, 4);
    else if (u == "YYY") num(d.year % 1000, 3);
    else if (u == "YY" || u == "RR") num(d.year % 100, 2);
    else if (u == "Y") num(d.year % 10, 1);
    else if (u == "MM") num(d.month, 2);
    else if (u == "DD") num(d.day, 2);
    else if (u == "D") num(Weekday(d) + 1, 1);
    else if (u == "HH24") num(d.hour, 2);
    else if (u == "HH" || u == "HH12") num(d.hour % 12 == 0 ? 12 : d.hour % 12, 2);
    else if (u == "MI") num(d.minute, 2);
    else if (u == "SS") num(d.second, 2);
    else if (u == "MON") out += Cased(std::string(kMonths[d.month - 1]).substr(0, 3), e);
    else if (u == "MONTH") {
      std::string m = Cased(kMonths[d.month - 1], e);
      if (fill_mode) m.resize(9, ' ');
      out += m;
    } else if (u == "DY") out += Cased(std::string(kDays[Weekday(d)]).substr(0, 3), e);
    else if (u == "DAY") {
      std::string m = Cased(kDays[Weekday(d)], e);
      if (fill_mode) m.resize(9, ' ');
      out += m;
    } else if (u == "AM" || u == "PM") out += Cased(d.hour < 12 ? "AM" : "PM", e);
    else if (u == "FM") fill_mode = !fill_mode;
    else if (u == "J") {
      // Julian day: days since 4712-01-01 BC; computed for the Gregorian calendar.
      int a = (14 - d.month) / 12, y = d.year + 4800 - a, m = d.month + 12 * a - 3;
      long jd = d.day + (153 * m + 2) / 5 + 365L * y + y / 4 - y / 100 + y / 400 - 32045;
      out += std::to_string(jd);
    }
    i += len;
  }
  return out;
}

namespace {

// The text ParseDate reads, and how far it has read.
struct DateReader {
  std::string_view text;
  size_t t = 0;

  void SkipBlanks() { while (t < text.size() && text[t] == ' ') ++t; }

  // A number of up to max_digits digits, and how many it had.
  std::pair<int, int> Number(int max_digits) {
    SkipBlanks();
    size_t start = t;
    int v = 0;
    while (t < text.size() && t - start < static_cast<size_t>(max_digits) &&
           std::isdigit(static_cast<unsigned char>(text[t])))
      v = v * 10 + (text[t++] - '0');
    if (t == start) throw MakeError(1858);
    return std::pair<int, int>(v, static_cast<int>(t - start));
  }

  // A month's name, whole or its first three letters.
  int MonthName() {
    SkipBlanks();
    std::string rest = AsciiUpper(text.substr(t));
    int found = 0;
    for (int m = 0; m < 12 && !found; ++m) {
      std::string full = kMonths[m];
      if (rest.compare(0, full.size(), full) == 0) { found = m + 1; t += full.size(); }
      else if (rest.compare(0, 3, full.substr(0, 3)) == 0) { found = m + 1; t += 3; }
    }
    if (!found) throw MakeError(1843);
    return found;
  }
};

// Julian day v to its Gregorian date.
void FromJulian(int v, DateParts& d) {
  long l = v + 68569, nn = 4 * l / 146097;
  l = l - (146097 * nn + 3) / 4;
  long i2 = 4000 * (l + 1) / 1461001;
  l = l - 1461 * i2 / 4 + 31;
  long j = 80 * l / 2447;
  d.day = static_cast<int>(l - 2447 * j / 80);
  l = j / 11;
  d.month = static_cast<int>(j + 2 - 12 * l);
  d.year = static_cast<int>(100 * (nn - 49) + i2 + l);
}

// Reads the text of one format element u into d. A meridian is only noted:
// the hour it applies to may come after it.
void ReadElement(const std::string& u, DateReader& r, const DateParts& now, DateParts& d,
                 bool& pm, bool& has_meridian) {
  if (u == "YYYY" || u == "SYYYY" || u == "RRRR") {
    auto [v, n] = r.Number(4);
    d.year = (u == "RRRR" && n <= 2) ? (v < 50 ? 2000 + v : 1900 + v) : v;
  } else if (u == "RR") {
    auto [v, n] = r.Number(4);
    d.year = n <= 2 ? (v < 50 ? 2000 + v : 1900 + v) : v;
  } else if (u == "YY") d.year = now.year / 100 * 100 + r.Number(2).first;
  else if (u == "YYY") d.year = now.year / 1000 * 1000 + r.Number(3).first;
  else if (u == "Y") d.year = now.year / 10 * 10 + r.Number(1).first;
  else if (u == "MM") d.month = r.Number(2).first;
  else if (u == "DD") d.day = r.Number(2).first;
  else if (u == "HH24") d.hour = r.Number(2).first;
  else if (u == "HH" || u == "HH12") {
    d.hour = r.Number(2).first;
    if (d.hour < 1 || d.hour > 12) throw MakeError(1849);
  } else if (u == "MI") d.minute = r.Number(2).first;
  else if (u == "SS") d.second = r.Number(2).first;
  else if (u == "MON" || u == "MONTH") d.month = r.MonthName();
  else if (u == "DY" || u == "DAY") {
    while (r.t < r.text.size() && std::isalpha(static_cast<unsigned char>(r.text[r.t]))) ++r.t;
  } else if (u == "AM" || u == "PM") {
    r.SkipBlanks();
    std::string rest = AsciiUpper(r.text.substr(r.t, 2));
    if (rest != "AM" && rest != "PM") throw MakeError(1861);
    has_meridian = true;
    pm = rest == "PM";
    r.t += 2;
  } else if (u == "D") r.Number(1);
  else if (u == "J") FromJulian(r.Number(7).first, d);
}

}  // namespace

DateParts ParseDate(std::string_view text, std::string_view fmt) {
  DateParts d;
  DateParts now = Now();
  d.year = now.year;
  d.month = now.month;
  d.day = 1;
  bool pm = false, has_meridian = false;
  DateReader r{text};
  size_t& t = r.t;
  for (size_t i = 0; i < fmt.size();) {
    if (fmt[i] == '"') {
      t += QuotedLiteral(fmt, &i).size();
      continue;
    }
    std::string_view e;
    size_t len = MatchElement(fmt, i, &e);
    if (len == 0) {
      if (!IsSeparator(fmt[i])) throw MakeError(1821);
      if (t < text.size() && IsSeparator(text[t])) ++t;
      else if (t < text.size() && !std::isalnum(static_cast<unsigned char>(text[t]))) throw MakeError(1861);
      ++i;
      continue;
    }
    if (t >= text.size()) break;  // missing trailing elements keep their defaults
    std::string u = AsciiUpper(e);
    i += len;
    ReadElement(u, r, now, d, pm, has_meridian);
  }
  r.SkipBlanks();
  if (t < text.size()) throw MakeError(1830);
  if (has_meridian) d.hour = d.hour % 12 + (pm ? 12 : 0);
  if (d.month < 1 || d.month > 12) throw MakeError(1843);
  if (d.year < 1 || d.year > 9999) throw MakeError(1841);
  if (d.day < 1 || d.day > DaysIn(d.year, d.month)) throw MakeError(1847);
  if (d.hour > 23) throw MakeError(1850);
  if (d.minute > 59) throw MakeError(1851);
  if (d.second > 59) throw MakeError(1852);
  return d;
}

}  // namespace kavo::ocisqlite
