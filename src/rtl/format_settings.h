// Process-wide format settings, read once from the locale at start.
#ifndef KAVO_RTL_FORMAT_SETTINGS_H_
#define KAVO_RTL_FORMAT_SETTINGS_H_

#include "rtl/ustring.h"

namespace kavo {

struct TFormatSettings {
  String ShortDateFormat = u"mm/dd/yyyy";
  String LongTimeFormat = u"hh:nn:ss";
  Char DateSeparator = u'/';
  Char TimeSeparator = u':';
  Char DecimalSeparator = u'.';
  Char ThousandSeparator = u',';
  String TimeAMString = u"AM";
  String TimePMString = u"PM";
};

// The process-wide settings. The first call reads them from the locale
// (LC_ALL from the environment); tests assign to them to pin a locale.
TFormatSettings& FormatSettings();

// Settings as a locale's data describe them (`name` as for newlocale, or a
// Windows locale name; "" for the process's own). Unknown locales give the
// defaults.
TFormatSettings FormatSettingsFromLocale(const char* name);

// Builds settings from strftime-style patterns, as nl_langinfo reports them
// (D_FMT, T_FMT, T_FMT_AMPM), for tests and for FormatSettingsFromLocale.
TFormatSettings FormatSettingsFromPatterns(const char* d_fmt, const char* t_fmt,
                                           const char* am, const char* pm, const char* radix,
                                           const char* thousands);

}  // namespace kavo

#endif  // KAVO_RTL_FORMAT_SETTINGS_H_
