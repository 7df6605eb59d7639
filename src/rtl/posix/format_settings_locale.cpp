#include <langinfo.h>
#include <locale.h>

#include <string>

#include "rtl/code_page.h"
#include "rtl/format_settings.h"

namespace kavo {

TFormatSettings FormatSettingsFromLocale(const char* name) {
  locale_t loc = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return TFormatSettings();
  // Locale strings are in the locale's code set; convert the few non-ASCII
  // designators through it.
  std::string cs = nl_langinfo_l(CODESET, loc);
  auto conv = [&](nl_item item) {
    std::string raw = nl_langinfo_l(item, loc);
    return IsUtf8CodePage(cs) ? raw : StringToUtf8(CodePageToString(raw, cs));
  };
  std::string d_fmt = nl_langinfo_l(D_FMT, loc);
  std::string t_fmt = nl_langinfo_l(T_FMT, loc);
  std::string t_ampm = nl_langinfo_l(T_FMT_AMPM, loc);
  std::string am = conv(AM_STR), pm = conv(PM_STR), radix = conv(RADIXCHAR),
              thousands = conv(THOUSEP);
  freelocale(loc);
  // Locales whose T_FMT is "%r" use the 12-hour pattern.
  if (t_fmt.find("%r") != std::string::npos) t_fmt = t_ampm;
  return FormatSettingsFromPatterns(d_fmt.c_str(), t_fmt.c_str(), am.c_str(), pm.c_str(),
                                    radix.c_str(), thousands.c_str());
}

}  // namespace kavo
