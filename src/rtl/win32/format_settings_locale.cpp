#include <windows.h>

#include <string>

#include "rtl/format_settings.h"

namespace kavo {
namespace {

String LocaleText(const wchar_t* locale, LCTYPE type) {
  wchar_t buf[128];
  int n = GetLocaleInfoEx(locale, type, buf, 128);
  if (n <= 1) return String();
  return String(reinterpret_cast<const Char*>(buf), static_cast<size_t>(n - 1));
}

// Drops the quoted literals of a Windows picture ('de' in "d 'de' MMMM").
String Unquoted(const String& picture) {
  String out;
  bool quoted = false;
  for (Char c : picture) {
    if (c == u'\'') quoted = !quoted;
    else if (!quoted) out.push_back(c);
  }
  return out;
}

}  // namespace

TFormatSettings FormatSettingsFromLocale(const char* name) {
  // "" is the user's own locale, "C" the invariant one.
  std::wstring wide;
  const wchar_t* locale = LOCALE_NAME_USER_DEFAULT;
  if (std::string n = name ? name : ""; n == "C" || n == "POSIX") {
    locale = LOCALE_NAME_INVARIANT;
  } else if (!n.empty()) {
    wide.assign(n.begin(), n.end());
    locale = wide.c_str();
  }
  TFormatSettings fs;
  const String date_picture = Unquoted(LocaleText(locale, LOCALE_SSHORTDATE));
  const String time_picture = Unquoted(LocaleText(locale, LOCALE_STIMEFORMAT));
  if (date_picture.empty() || time_picture.empty()) return fs;

  // Short date: day, month and year in the locale's order and padding, "/"
  // standing for its separator; day and month names are left out.
  String date;
  Char date_sep = 0;
  for (size_t i = 0; i < date_picture.size();) {
    const Char c = date_picture[i];
    size_t run = 1;
    while (i + run < date_picture.size() && date_picture[i + run] == c) ++run;
    if (c == u'd' && run <= 2) date += run == 1 ? u"d" : u"dd";
    else if (c == u'M' && run <= 2) date += run == 1 ? u"m" : u"mm";
    else if (c == u'y') date += run <= 2 ? u"yy" : u"yyyy";
    else if (c != u'd' && c != u'M' && c != u'g' && c != u' ') {
      if (!date_sep) date_sep = c;
      date.append(run, u'/');
    }
    i += run;
  }
  fs.ShortDateFormat = date;
  if (date_sep) fs.DateSeparator = date_sep;

  // Long time: hours, ":nn:ss", and the designator where the locale puts it.
  const size_t hour = time_picture.find_first_of(u"hH");
  const size_t mark = time_picture.find(u't');
  const bool twelve = time_picture.find(u'h') != String::npos;
  const bool lead_zero = time_picture.find(u"hh") != String::npos ||
                         time_picture.find(u"HH") != String::npos;
  if (hour != String::npos) {
    size_t after = time_picture.find_first_not_of(u"hH", hour);
    if (after != String::npos && time_picture[after] != u'm')
      fs.TimeSeparator = time_picture[after];
  }
  String time = lead_zero ? u"hh:nn:ss" : u"h:nn:ss";
  if (twelve) time = mark != String::npos && mark < hour ? u"AMPM " + time : time + u" AMPM";
  fs.LongTimeFormat = time;

  if (String am = LocaleText(locale, LOCALE_S1159); !am.empty()) fs.TimeAMString = am;
  if (String pm = LocaleText(locale, LOCALE_S2359); !pm.empty()) fs.TimePMString = pm;
  if (String d = LocaleText(locale, LOCALE_SDECIMAL); !d.empty()) fs.DecimalSeparator = d[0];
  if (String t = LocaleText(locale, LOCALE_STHOUSAND); !t.empty()) fs.ThousandSeparator = t[0];
  return fs;
}

}  // namespace kavo
