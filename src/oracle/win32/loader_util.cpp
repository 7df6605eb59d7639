#include "oracle/loader_util.h"

#include <windows.h>
// The helper of the same name is ours, not the ANSI/wide macro.
#undef SetCurrentDirectory

#include <string>

#include "platform/registry.h"

namespace kavo::loader {

namespace {

LPCWSTR W(const String& s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }

DWORD Attributes(const String& path) {
  return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(W(path));
}

bool IsDelimiter(Char c) { return c == u'\\' || c == u'/'; }

}  // namespace

bool FileExists(const String& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const String& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<String> ListDirectory(const String& dir) {
  std::vector<String> names;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(W(AddToPath(dir, u"*")), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    String n(reinterpret_cast<const Char*>(found.cFileName));
    if (n != u"." && n != u"..") names.push_back(n);
  } while (FindNextFileW(h, &found));
  FindClose(h);
  return names;
}

String GetEnv(const char* name) {
  String wide(name, name + std::char_traits<char>::length(name));
  DWORD n = GetEnvironmentVariableW(W(wide), nullptr, 0);
  if (n == 0) return String();
  std::wstring buf(n, L'\0');
  n = GetEnvironmentVariableW(W(wide), buf.data(), n);
  return String(reinterpret_cast<const Char*>(buf.data()), n);
}

// The process's own environment only, which LoadLibrary searches.
void SetEnv(const char* name, const String& value) {
  String wide(name, name + std::char_traits<char>::length(name));
  SetEnvironmentVariableW(W(wide), W(value));
}

String CurrentDirectory() {
  DWORD n = GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return String();
  std::wstring buf(n, L'\0');
  n = GetCurrentDirectoryW(n, buf.data());
  return String(reinterpret_cast<const Char*>(buf.data()), n);
}

bool SetCurrentDirectory(const String& dir) { return SetCurrentDirectoryW(W(dir)) != 0; }

String ExtractFileDir(const String& path) {
  size_t cut = path.find_last_of(u"\\/:");
  if (cut == String::npos) return String();
  // "C:\" and "C:" keep their delimiter: the drive's root is the directory.
  if (path[cut] == u':' || (cut > 0 && path[cut - 1] == u':')) return path.substr(0, cut + 1);
  return path.substr(0, cut);
}

String AddToPath(const String& dir, StringView sub) {
  String r = dir;
  if (r.empty() || r.back() != u'\\') r += u'\\';
  r += sub;
  return r;
}

std::vector<String> SplitSearchPath(const String& value) {
  std::vector<String> dirs;
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(u';', start);
    if (end == String::npos) end = value.size();
    String d = value.substr(start, end - start);
    while (d.size() > 3 && IsDelimiter(d.back())) d.pop_back();
    if (!d.empty()) dirs.push_back(d);
    start = end + 1;
  }
  return dirs;
}

StringView ClientLibraryName() { return u"oci.dll"; }

bool SameFileName(const String& a, StringView b) { return SameText(a, b); }

// ora805.dll is 0.805 and ora73.dll 0.73 (oraNT73.dll too): the digits after
// "ora" (or "oraNT") up to the first dot, read as a decimal fraction, so they
// are compared digit by digit from the left.
std::vector<int> LibraryVersion(const String& file_name) {
  size_t start = 3;
  if (file_name.size() >= 5 && SameText(StringView(file_name).substr(3, 2), u"NT")) start = 5;
  size_t dot = file_name.find(u'.', start);
  if (dot == String::npos) dot = file_name.size();
  std::vector<int> digits;
  for (size_t i = start; i < dot; ++i) {
    Char c = file_name[i];
    if (c < u'0' || c > u'9') return {};
    digits.push_back(c - u'0');
  }
  while (!digits.empty() && digits.back() == 0) digits.pop_back();
  return digits;  // empty when nothing converts or the value is 0
}

String NlsLangFallback(const String& home_key) { return ReadRegString(home_key, u"NLS_LANG"); }

bool IsWindows64bit() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  if (kernel == nullptr) return false;
  auto fn = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
  BOOL wow64 = FALSE;
  return fn != nullptr && fn(GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace kavo::loader
