#include "rtl/format_settings.h"

#include <mutex>
#include <string>

#include "rtl/code_page.h"

namespace kavo {
namespace {

// Expands the composite strftime directives that locales use in T_FMT.
std::string Expand(const std::string& f, const char* t_fmt_ampm) {
  std::string out;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] == '%' && i + 1 < f.size()) {
      char c = f[i + 1];
      if (c == 'T') { out += "%H:%M:%S"; ++i; continue; }
      if (c == 'R') { out += "%H:%M"; ++i; continue; }
      if (c == 'r') { out += t_fmt_ampm && *t_fmt_ampm ? t_fmt_ampm : "%I:%M:%S %p"; ++i; continue; }
      if (c == 'D') { out += "%m/%d/%y"; ++i; continue; }
      if (c == 'F') { out += "%Y-%m-%d"; ++i; continue; }
    }
    out.push_back(f[i]);
  }
  return out;
}

Char FirstSeparator(const std::string& f, char after) {
  for (size_t i = 0; i + 2 < f.size(); ++i)
    if (f[i] == '%' && f[i + 1] == after) return static_cast<unsigned char>(f[i + 2]);
  return 0;
}

}  // namespace

TFormatSettings FormatSettingsFromPatterns(const char* d_fmt_c, const char* t_fmt_c,
                                           const char* am, const char* pm, const char* radix,
                                           const char* thousands) {
  TFormatSettings fs;
  std::string d_fmt = Expand(d_fmt_c ? d_fmt_c : "", nullptr);
  std::string t_fmt = Expand(t_fmt_c ? t_fmt_c : "", nullptr);

  // Short date: the order and padding of day, month and year, "/" standing
  // for the locale's date separator.
  String date;
  Char date_sep = 0;
  for (size_t i = 0; i < d_fmt.size(); ++i) {
    if (d_fmt[i] == '%' && i + 1 < d_fmt.size()) {
      char c = d_fmt[++i];
      if (c == 'E' || c == 'O' || c == '-') { if (i + 1 < d_fmt.size()) c = d_fmt[++i]; }
      switch (c) {
        case 'd': date += u"dd"; break;
        case 'e': date += u"d"; break;
        case 'm': date += u"mm"; break;
        case 'y': date += u"yy"; break;
        case 'Y': case 'C': date += u"yyyy"; break;
        default: break;
      }
    } else {
      if (!date_sep) date_sep = static_cast<unsigned char>(d_fmt[i]);
      date.push_back(u'/');
    }
  }
  if (!date.empty()) {
    fs.ShortDateFormat = date;
    if (date_sep) fs.DateSeparator = date_sep;
  }

  // Long time: hours, ":nn:ss", and the designator where the locale puts it.
  bool twelve = t_fmt.find("%I") != std::string::npos || t_fmt.find("%l") != std::string::npos ||
                t_fmt.find("%p") != std::string::npos || t_fmt.find("%P") != std::string::npos;
  bool lead_zero = t_fmt.find("%H") != std::string::npos || t_fmt.find("%I") != std::string::npos;
  if (!t_fmt.empty()) {
    Char sep = FirstSeparator(t_fmt, twelve ? (t_fmt.find("%I") != std::string::npos ? 'I' : 'l')
                                            : (t_fmt.find("%H") != std::string::npos ? 'H' : 'k'));
    if (sep && sep != u'%') fs.TimeSeparator = sep;
    String time = lead_zero ? u"hh:nn:ss" : u"h:nn:ss";
    if (twelve) {
      size_t p = t_fmt.find("%p");
      if (p == std::string::npos) p = t_fmt.find("%P");
      size_t h = t_fmt.find_first_of("IlHk");
      bool before = p != std::string::npos && h != std::string::npos && p < h;
      time = before ? u"AMPM " + time : time + u" AMPM";
    }
    fs.LongTimeFormat = time;
  }
  String am_s = CodePageToString(am ? am : "", "UTF-8");
  String pm_s = CodePageToString(pm ? pm : "", "UTF-8");
  if (!am_s.empty()) fs.TimeAMString = am_s;
  if (!pm_s.empty()) fs.TimePMString = pm_s;
  if (radix && *radix) fs.DecimalSeparator = Utf8ToString(radix)[0];
  if (thousands && *thousands) fs.ThousandSeparator = Utf8ToString(thousands)[0];
  return fs;
}

TFormatSettings& FormatSettings() {
  static TFormatSettings* settings = new TFormatSettings(FormatSettingsFromLocale(""));
  return *settings;
}

}  // namespace kavo
