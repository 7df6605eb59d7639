#include "oracle/loader_util.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace kavo::loader {

namespace {
std::string Bytes(const String& s) { return StringToUtf8(s); }
}  // namespace

bool FileExists(const String& path) {
  struct stat st;
  return !path.empty() && stat(Bytes(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const String& path) {
  struct stat st;
  return !path.empty() && stat(Bytes(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<String> ListDirectory(const String& dir) {
  std::vector<String> names;
  DIR* d = opendir(Bytes(dir).c_str());
  if (d == nullptr) return names;  // unreadable directories count as empty
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(Utf8ToString(n));
  }
  closedir(d);
  return names;
}

String GetEnv(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? String() : Utf8ToString(v);
}

void SetEnv(const char* name, const String& value) { setenv(name, Bytes(value).c_str(), 1); }

String CurrentDirectory() {
  char buf[4096];
  return getcwd(buf, sizeof buf) == nullptr ? String() : Utf8ToString(buf);
}

bool SetCurrentDirectory(const String& dir) { return chdir(Bytes(dir).c_str()) == 0; }

String ExtractFileDir(const String& path) {
  size_t slash = path.rfind(u'/');
  if (slash == String::npos) return String();
  if (slash == 0) return u"/";
  return path.substr(0, slash);
}

String AddToPath(const String& dir, StringView sub) {
  String r = dir;
  if (r.empty() || r.back() != u'/') r += u'/';
  r += sub;
  return r;
}

std::vector<String> SplitSearchPath(const String& value) {
  std::vector<String> dirs;
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(u':', start);
    if (end == String::npos) end = value.size();
    String d = value.substr(start, end - start);
    while (d.size() > 1 && d.back() == u'/') d.pop_back();
    if (!d.empty()) dirs.push_back(d);
    start = end + 1;
  }
  return dirs;
}

// No registry: the environment alone names NLS_LANG.
String NlsLangFallback(const String&) { return String(); }

bool IsWindows64bit() { return false; }

}  // namespace kavo::loader
