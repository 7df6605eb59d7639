#include "platform/registry.h"

#include <windows.h>

namespace kavo {

namespace {
LPCWSTR W(const String& s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }
}  // namespace

String ReadRegString(const String& key, const String& name) {
  HKEY h;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(key), 0, KEY_READ, &h) != ERROR_SUCCESS)
    return String();
  wchar_t buf[1024];
  DWORD bytes = sizeof buf;
  if (RegQueryValueExW(h, W(name), nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &bytes) !=
      ERROR_SUCCESS)
    bytes = 0;
  RegCloseKey(h);
  // The byte count includes the terminating zero.
  size_t chars = bytes == 0 ? 0 : (bytes - 1) / 2;
  return String(reinterpret_cast<const Char*>(buf), chars);
}

std::vector<String> ReadRegNames(const String& key) {
  std::vector<String> names;
  HKEY h;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(key), 0, KEY_READ, &h) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    wchar_t buf[1024];
    DWORD len = 1024;
    if (RegEnumKeyExW(h, i, buf, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (len > 0) names.emplace_back(reinterpret_cast<const Char*>(buf), len);
  }
  RegCloseKey(h);
  return names;
}

}  // namespace kavo
