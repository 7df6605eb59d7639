#include "rtl/system.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/time.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <cwctype>

namespace kavo::sys {

static_assert(sizeof(iconv_t) == sizeof(Converter));

Converter OpenConverter(const char* to, const char* from) {
  return static_cast<Converter>(iconv_open(to, from));
}

size_t Convert(Converter cd, char** in, size_t* inleft, char** out, size_t* outleft) {
  return iconv(static_cast<iconv_t>(cd), in, inleft, out, outleft);
}

void CloseConverter(Converter cd) { iconv_close(static_cast<iconv_t>(cd)); }

std::string ProcessCodeSet() {
  // "C"/"POSIX" report ANSI_X3.4-1968.
  locale_t loc = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
  std::string cs;
  if (loc != static_cast<locale_t>(0)) {
    cs = nl_langinfo_l(CODESET, loc);
    freelocale(loc);
  }
  return cs.empty() ? std::string("ANSI_X3.4-1968") : cs;
}

String ErrorText(int code) {
  char buf[256];
  // GNU strerror_r returns the text, which may or may not live in buf.
  const char* text = strerror_r(code, buf, sizeof buf);
  return Utf8ToString(text ? text : "");
}

int LastError() { return errno; }

namespace {

locale_t CaseLocale() {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return l ? l : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
  }();
  return loc;
}

}  // namespace

Char UpCaseChar(Char c) {
  return static_cast<Char>(towupper_l(static_cast<wint_t>(c), CaseLocale()));
}

Char LowCaseChar(Char c) {
  return static_cast<Char>(towlower_l(static_cast<wint_t>(c), CaseLocale()));
}

LocalTime LocalNow() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm lt;
  time_t secs = tv.tv_sec;
  localtime_r(&secs, &lt);
  return LocalTime{lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min,
                   lt.tm_sec > 59 ? 59 : lt.tm_sec, static_cast<int>(tv.tv_usec / 1000)};
}

}  // namespace kavo::sys
