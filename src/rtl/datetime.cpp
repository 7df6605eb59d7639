#include "rtl/datetime.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "rtl/exceptions.h"
#include "rtl/system.h"

namespace kavo {

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
  if (!(std::fabs(value) < kMaxDateTimeMagnitude)) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    throw EConvertError(u"Invalid date-time value " + AsciiToString(text));
  }
  // llround without the library call (every date and time a row carries
  // comes here): x minus its truncation is exact, and x is far inside the
  // range of int64_t.
  const double x = value * kMSecsPerDay;
  int64_t ms = static_cast<int64_t>(x);
  const double fraction = x - static_cast<double>(ms);
  if (fraction >= 0.5)
    ++ms;
  else if (fraction <= -0.5)
    --ms;
  TTimeStamp ts;
  ts.Date = static_cast<int32_t>(ms / kMSecsPerDay + kDateDelta);
  ts.Time = static_cast<int32_t>((ms < 0 ? -ms : ms) % kMSecsPerDay);
  return ts;
}

TDateTime TimeStampToDateTime(const TTimeStamp& ts) {
  double days = static_cast<double>(ts.Date) - kDateDelta;
  double frac = static_cast<double>(ts.Time) / kMSecsPerDay;
  // Before 1899-12-30 the fraction counts away from zero, as the split does.
  return days < 0 ? days - frac : days + frac;
}

int DaysInMonth(int y, int m) {
  return kDaysBeforeMonth[m] - kDaysBeforeMonth[m - 1] + (m == 2 && IsLeapYear(y) ? 1 : 0);
}

bool TryEncodeDate(int y, int m, int d, TDateTime& out) {
  int32_t day = 0;
  if (!TryDayNumber(y, m, d, day)) return false;
  out = static_cast<double>(day - kDateDelta);
  return true;
}

bool TryEncodeTime(int h, int n, int s, int ms, TDateTime& out) {
  if (h < 0 || h >= 24 || n < 0 || n >= 60 || s < 0 || s >= 60 || ms < 0 || ms >= 1000)
    return false;
  out = (static_cast<double>(h) * 3600000 + n * 60000 + s * 1000 + ms) / kMSecsPerDay;
  return true;
}

TDateTime EncodeDate(int y, int m, int d) {
  TDateTime r;
  if (!TryEncodeDate(y, m, d, r)) throw EConvertError(u"Invalid argument to date encode");
  return r;
}

TDateTime EncodeTime(int h, int n, int s, int ms) {
  TDateTime r;
  if (!TryEncodeTime(h, n, s, ms, r)) throw EConvertError(u"Invalid argument to time encode");
  return r;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  int64_t t = DateTimeToTimeStamp(value).Date;
  if (t <= 0) {
    year = month = day = 0;
    return;
  }
  // Civil-from-days on the proleptic Gregorian calendar (0001-01-01 is 1).
  --t;
  int64_t y = 1;
  int64_t n400 = t / 146097; t %= 146097; y += n400 * 400;
  int64_t n100 = t / 36524; if (n100 == 4) n100 = 3; t -= n100 * 36524; y += n100 * 100;
  int64_t n4 = t / 1461; t %= 1461; y += n4 * 4;
  int64_t n1 = t / 365; if (n1 == 4) n1 = 3; t -= n1 * 365; y += n1;
  // The month from the days before each one: a guess from 32-day months is
  // at most one month early.
  const int leap = IsLeapYear(static_cast<int>(y)) ? 1 : 0;
  auto before = [&](int m) { return kDaysBeforeMonth[m - 1] + (m > 2 ? leap : 0); };
  int m = static_cast<int>(t / 32) + 1;
  if (m < 12 && t >= before(m + 1)) ++m;
  year = static_cast<int>(y);
  month = m;
  day = static_cast<int>(t - before(m)) + 1;
}

void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec) {
  int32_t t = DateTimeToTimeStamp(value).Time;
  hour = t / 3600000;
  min = t / 60000 % 60;
  sec = t / 1000 % 60;
  msec = t % 1000;
}

TDateTime Now() {
  const sys::LocalTime t = sys::LocalNow();
  return EncodeDate(t.year, t.month, t.day) +
         EncodeTime(t.hour, t.minute, t.second, t.millisecond);
}

static String Pad(int v, int width) {
  String s = IntToStr(v);
  while (static_cast<int>(s.size()) < width) s.insert(s.begin(), u'0');
  return s;
}

// Pad's digits appended in place: the log writes a date-time per line.
static void AppendPad(String& out, int v, int width) {
  if (v < 0) {
    out += Pad(v, width);
    return;
  }
  Char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<Char>(u'0' + v % 10);
    v /= 10;
  } while (v != 0);
  for (int k = n; k < width; ++k) out.push_back(u'0');
  while (n > 0) out.push_back(digits[--n]);
}

String FormatDateTime(StringView p, TDateTime value, const TFormatSettings& fs) {
  int y, mo, d, h, n, s, ms;
  DecodeDate(value, y, mo, d);
  DecodeTime(value, h, n, s, ms);
  bool twelve = p.find(u"AMPM") != StringView::npos || p.find(u"am/pm") != StringView::npos;
  int h12 = h % 12 == 0 ? 12 : h % 12;
  String out;
  out.reserve(p.size() + 16);
  bool after_hour = false;
  size_t i = 0;
  auto run = [&](Char c) {
    const Char uc = UpCase(c);
    size_t k = i;
    while (k < p.size() && (p[k] == c || p[k] == uc || UpCase(p[k]) == uc)) ++k;
    return k - i;
  };
  while (i < p.size()) {
    Char c = p[i];
    Char u = UpCase(c);
    if (c == u'\'' || c == u'"') {
      size_t e = p.find(c, i + 1);
      if (e == StringView::npos) e = p.size();
      out.append(p.substr(i + 1, e - i - 1));
      i = e + 1;
      continue;
    }
    if (c == u'A' && p.substr(i, 4) == u"AMPM") {
      out += h < 12 ? fs.TimeAMString : fs.TimePMString;
      i += 4;
      continue;
    }
    if (c == u'a' && p.substr(i, 5) == u"am/pm") {
      out += h < 12 ? u"am" : u"pm";
      i += 5;
      continue;
    }
    if (u == u'D') { size_t k = run(c); AppendPad(out, d, k >= 2 ? 2 : 1); i += k; continue; }
    if (u == u'Y') {
      size_t k = run(c);
      AppendPad(out, k <= 2 ? y % 100 : y, k <= 2 ? 2 : 4);
      i += k;
      continue;
    }
    if (u == u'M') {
      size_t k = run(c);
      AppendPad(out, after_hour ? n : mo, k >= 2 ? 2 : 1);
      after_hour = false;
      i += k;
      continue;
    }
    if (u == u'H') {
      size_t k = run(c);
      AppendPad(out, twelve ? h12 : h, k >= 2 ? 2 : 1);
      after_hour = true;
      i += k;
      continue;
    }
    if (u == u'N') { size_t k = run(c); AppendPad(out, n, k >= 2 ? 2 : 1); after_hour = false; i += k; continue; }
    if (u == u'S') { size_t k = run(c); AppendPad(out, s, k >= 2 ? 2 : 1); i += k; continue; }
    if (u == u'Z') { size_t k = run(c); AppendPad(out, ms, k >= 3 ? 3 : 1); i += k; continue; }
    if (c == u'/') { out.push_back(fs.DateSeparator); ++i; continue; }
    if (c == u':') { out.push_back(fs.TimeSeparator); ++i; continue; }
    out.push_back(c);
    ++i;
  }
  return out;
}

String DateTimeToStr(TDateTime value, const TFormatSettings& fs) {
  String out = FormatDateTime(fs.ShortDateFormat, value, fs);
  if (DateTimeToTimeStamp(value).Time != 0) out += u" " + FormatDateTime(fs.LongTimeFormat, value, fs);
  return out;
}

}  // namespace kavo
