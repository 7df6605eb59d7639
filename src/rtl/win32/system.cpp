#include "rtl/system.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kavo::sys {
namespace {

constexpr UINT kUtf16 = 1200;

// The names the rest of the program uses (iconv's spellings, as in the INI
// and the environment) to the system's code page numbers; 0 when unknown.
UINT CodePageNumber(const char* name) {
  std::string n;
  for (const char* p = name; *p; ++p)
    if (*p != '-' && *p != '_') n += static_cast<char>(*p >= 'a' && *p <= 'z' ? *p - 32 : *p);
  auto digits = [](const std::string& s) -> UINT {
    if (s.empty() || s.size() > 5 || s.find_first_not_of("0123456789") != std::string::npos)
      return 0;
    return static_cast<UINT>(std::strtoul(s.c_str(), nullptr, 10));
  };
  static const struct { const char* name; UINT cp; } kNamed[] = {
      {"UTF16LE", kUtf16}, {"UTF8", CP_UTF8}, {"UTF7", CP_UTF7}, {"LATIN1", 28591},
      {"ASCII", 20127}, {"USASCII", 20127}, {"ANSIX3.41968", 20127}, {"KOI8R", 20866},
      {"KOI8U", 21866}, {"SHIFTJIS", 932}, {"SJIS", 932}, {"GBK", 936}, {"GB2312", 936},
      {"GB18030", 54936}, {"BIG5", 950}, {"EUCKR", 51949}, {"EUCJP", 20932},
      {"ISO2022JP", 50220}};
  UINT cp = 0;
  for (const auto& k : kNamed)
    if (n == k.name) cp = k.cp;
  if (cp == 0) {
    for (const char* prefix : {"CP", "WINDOWS", "IBM", ""})
      if (n.rfind(prefix, 0) == 0 && (cp = digits(n.substr(std::strlen(prefix)))) != 0) break;
  }
  if (cp == 0 && n.rfind("ISO8859", 0) == 0) {
    UINT part = digits(n.substr(7));
    if (part >= 1 && part <= 15) cp = 28590 + part;
  }
  if (cp == kUtf16) return cp;
  return cp != 0 && IsValidCodePage(cp) ? cp : 0;
}

// Pages whose conversion takes no flags (the API refuses them there).
bool FlagFree(UINT cp) {
  return cp == CP_UTF7 || cp == 42 || cp == 50220 || cp == 50221 || cp == 50222 ||
         cp == 50225 || cp == 50227 || cp == 50229 || (cp >= 57002 && cp <= 57011);
}

struct Page {
  UINT cp;
  bool encode;  // UTF-16LE to the page
};

size_t Fail(int error) {
  errno = error;
  return static_cast<size_t>(-1);
}

// One character at a time, so that a failure leaves `in` at its start as
// iconv does; the pages here carry no state between characters.
size_t Encode(UINT cp, char** in, size_t* inleft, char** out, size_t* outleft) {
  while (*inleft >= 2) {
    const wchar_t* w = reinterpret_cast<const wchar_t*>(*in);
    int units = 1;
    if (w[0] >= 0xD800 && w[0] <= 0xDBFF) {
      if (*inleft < 4) return Fail(EINVAL);
      if (w[1] < 0xDC00 || w[1] > 0xDFFF) return Fail(EILSEQ);
      units = 2;
    } else if (w[0] >= 0xDC00 && w[0] <= 0xDFFF) {
      return Fail(EILSEQ);
    }
    char buf[16];
    BOOL used_default = FALSE;
    // UTF-8 and GB18030 hold every character and take no default one.
    const bool unicode = cp == CP_UTF8 || cp == 54936;
    const bool plain = unicode || FlagFree(cp);
    const DWORD flags = unicode ? WC_ERR_INVALID_CHARS : plain ? 0 : WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(cp, flags, w, units, buf, sizeof buf, nullptr,
                                plain ? nullptr : &used_default);
    if (n <= 0 || used_default) return Fail(EILSEQ);
    if (static_cast<size_t>(n) > *outleft) return Fail(E2BIG);
    std::memcpy(*out, buf, static_cast<size_t>(n));
    *out += n;
    *outleft -= static_cast<size_t>(n);
    *in += 2 * units;
    *inleft -= 2 * static_cast<size_t>(units);
  }
  if (*inleft == 1) return Fail(EINVAL);
  return 0;
}

size_t Decode(UINT cp, char** in, size_t* inleft, char** out, size_t* outleft) {
  CPINFO info{};
  const UINT max_len = GetCPInfo(cp, &info) && info.MaxCharSize > 0 ? info.MaxCharSize : 4;
  while (*inleft > 0) {
    wchar_t wide[4];
    int n = 0;
    size_t len = 1;
    for (; len <= max_len && len <= *inleft; ++len) {
      n = MultiByteToWideChar(cp, FlagFree(cp) ? 0 : MB_ERR_INVALID_CHARS, *in,
                              static_cast<int>(len), wide, 4);
      if (n > 0) break;
    }
    if (n <= 0) return Fail(*inleft < max_len && len > *inleft ? EINVAL : EILSEQ);
    if (2 * static_cast<size_t>(n) > *outleft) return Fail(E2BIG);
    std::memcpy(*out, wide, 2 * static_cast<size_t>(n));
    *out += 2 * n;
    *outleft -= 2 * static_cast<size_t>(n);
    *in += len;
    *inleft -= len;
  }
  return 0;
}

}  // namespace

Converter OpenConverter(const char* to, const char* from) {
  const UINT t = CodePageNumber(to), f = CodePageNumber(from);
  if (t == 0 || f == 0 || (t == kUtf16) == (f == kUtf16)) return kNoConverter;
  return new Page{t == kUtf16 ? f : t, f == kUtf16};
}

size_t Convert(Converter cd, char** in, size_t* inleft, char** out, size_t* outleft) {
  if (in == nullptr || *in == nullptr) return 0;
  const Page& page = *static_cast<Page*>(cd);
  return page.encode ? Encode(page.cp, in, inleft, out, outleft)
                     : Decode(page.cp, in, inleft, out, outleft);
}

void CloseConverter(Converter cd) { delete static_cast<Page*>(cd); }

std::string ProcessCodeSet() {
  const UINT acp = GetACP();
  return acp == CP_UTF8 ? std::string("UTF-8") : "CP" + std::to_string(acp);
}

String ErrorText(int code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&text),
                           0, nullptr);
  String message;
  if (n > 0 && text) message.assign(reinterpret_cast<const Char*>(text), n);
  if (text) LocalFree(text);
  // The system ends its texts with a line break.
  while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r'))
    message.pop_back();
  return message;
}

int LastError() { return static_cast<int>(GetLastError()); }

namespace {

Char MapCase(Char c, DWORD how) {
  wchar_t in = static_cast<wchar_t>(c), out = in;
  return LCMapStringEx(LOCALE_NAME_INVARIANT, how, &in, 1, &out, 1, nullptr, nullptr, 0) == 1
             ? static_cast<Char>(out)
             : c;
}

}  // namespace

Char UpCaseChar(Char c) { return MapCase(c, LCMAP_UPPERCASE); }
Char LowCaseChar(Char c) { return MapCase(c, LCMAP_LOWERCASE); }

LocalTime LocalNow() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace kavo::sys
