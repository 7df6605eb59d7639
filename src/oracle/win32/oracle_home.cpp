// The Oracle home and the candidate libraries in it, as Oracle's installers
// register them: numbered homes (HOME0, HOME1, ...) and named ones (KEY_name)
// under HKEY_LOCAL_MACHINE\SOFTWARE\ORACLE, then ORACLE_HOME, then PATH.
#include <algorithm>
#include <string>

#include "oracle/loader_util.h"
#include "oracle/oci_library.h"
#include "platform/registry.h"

namespace kavo {

using namespace loader;

namespace {

constexpr StringView kOracleKey = u"SOFTWARE\\ORACLE";

struct Home {
  String name;
  int tag;  // the home's number, or -1 for a KEY_ home
};

String KeyOf(const Home& h) {
  return h.tag < 0 ? String(kOracleKey) + u"\\KEY_" + h.name
                   : String(kOracleKey) + u"\\HOME" + Utf8ToString(std::to_string(h.tag));
}

bool ValidInteger(const String& text, int* value) {
  String t = Trim(text);
  if (t.empty() || t.size() > 9) return false;
  size_t i = (t[0] == u'-' || t[0] == u'+') ? 1 : 0;
  if (i == t.size()) return false;
  for (size_t j = i; j < t.size(); ++j)
    if (t[j] < u'0' || t[j] > u'9') return false;
  *value = std::stoi(StringToUtf8(t));
  return true;
}

// Registered homes whose directory exists, sorted by name without regard to case.
std::vector<Home> BuildOracleHomeList() {
  std::vector<Home> homes;
  int n;
  if (ValidInteger(ReadRegString(String(kOracleKey) + u"\\ALL_HOMES", u"HOME_COUNTER"), &n)) {
    n = std::max(n, 1);
    for (int i = 0; i <= 999 && n > 0; ++i) {
      String key = KeyOf(Home{String(), i});
      String dir = ReadRegString(key, u"ORACLE_HOME");
      String name = ReadRegString(key, u"ORACLE_HOME_NAME");
      if (dir.empty() || name.empty() || !DirectoryExists(dir)) continue;
      homes.push_back(Home{name, i});
      --n;
    }
  }
  for (const String& sub : ReadRegNames(String(kOracleKey))) {
    if (sub.size() < 4 || !SameText(StringView(sub).substr(0, 4), u"KEY_")) continue;
    String dir = ReadRegString(String(kOracleKey) + u"\\" + sub, u"ORACLE_HOME");
    if (!dir.empty() && DirectoryExists(dir)) homes.push_back(Home{sub.substr(4), -1});
  }
  std::stable_sort(homes.begin(), homes.end(), [](const Home& a, const Home& b) {
    return UpperCase(a.name) < UpperCase(b.name);
  });
  return homes;
}

bool IsVersionedLibrary(const String& name) {
  return name.size() > 7 && SameText(StringView(name).substr(0, 3), u"ora") &&
         SameText(StringView(name).substr(name.size() - 4), u".dll");
}

}  // namespace

String TOCILibrary::FindHomeKey() {
  if (!oracle_home_key_.empty()) return oracle_home_key_;
  std::vector<Home> homes = BuildOracleHomeList();
  String key;
  if (homes.empty()) {
    key = kOracleKey;
  } else {
    String wanted = UpperCase(GetParamString(u"ORACLEHOME"));
    if (wanted.empty()) wanted = OracleHomeName;
    default_home_name_ = false;
    String path = UpperCase(GetEnv("PATH"));
    size_t best = path.size();
    const Home* taken = nullptr;
    for (const Home& h : homes) {
      if (SameText(h.name, wanted)) {
        taken = &h;
        break;
      }
      String dir = ReadRegString(KeyOf(h), u"ORACLE_HOME");
      if (dir.empty()) continue;
      // Positions count from 1 as the system counts them: a home whose bin
      // folder opens PATH is at 1.
      size_t pos = path.find(UpperCase(AddToPath(dir, u"bin")));
      if (pos != String::npos && pos + 1 < best) {
        taken = &h;
        best = pos + 1;
      }
    }
    if (taken == nullptr) taken = &homes.back();
    key = KeyOf(*taken);
    if (OracleHomeName.empty()) {
      default_home_name_ = true;
      OracleHomeName = taken->name;
    }
  }
  String dir = ReadRegString(key, u"ORACLE_HOME");
  oracle_home_key_ = (dir.empty() || !DirectoryExists(dir)) ? String() : key;
  return oracle_home_key_;
}

String TOCILibrary::OracleHome() {
  oracle_bin_dir_ = true;
  String dir = ReadRegString(FindHomeKey(), u"ORACLE_HOME");
  if (!dir.empty()) return dir;
  oracle_home_key_.clear();
  String env = GetEnv("ORACLE_HOME");
  if (!env.empty() && env != u".") {
    oracle_bin_dir_ = DirectoryExists(AddToPath(env, u"bin"));
    return env;
  }
  for (const String& d : SplitSearchPath(GetEnv("PATH"))) {
    if (!FileExists(AddToPath(d, ClientLibraryName()))) continue;
    if (d.size() > 4 && UpperCase(StringView(d).substr(d.size() - 4)) == u"\\BIN") {
      oracle_bin_dir_ = true;
      return d.substr(0, d.size() - 4);
    }
    oracle_bin_dir_ = false;
    return d;
  }
  return String();
}

std::vector<String> TOCILibrary::GetOCIDLLList(bool log) {
  std::vector<String> list;
  oracle_home_dir_ = OracleHome();
  if (oracle_home_dir_.empty()) return list;
  for (;;) {
    String dir =
        oracle_bin_dir_ ? AddToPath(oracle_home_dir_, u"bin\\") : AddToPath(oracle_home_dir_, u"");
    if (FileExists(dir + String(ClientLibraryName()))) {
      list.push_back(dir + String(ClientLibraryName()));
      if (log) OCILog(u"Found: " + String(ClientLibraryName()));
    }
    for (const String& n : ListDirectory(dir)) {
      if (!IsVersionedLibrary(n) || LibraryVersion(n).empty()) continue;
      list.push_back(dir + n);
      if (log) OCILog(u"Found: " + n);
    }
    if (!list.empty() || !oracle_bin_dir_) break;
    oracle_bin_dir_ = false;
  }
  return list;
}

void TOCILibrary::AdjustPath(const String& dir) {
  if (!AllowAdjustPath) return;
  if (!path_captured_) {
    original_path_ = GetEnv("Path");
    path_captured_ = true;
  }
  String path = original_path_;
  if (!dir.empty()) {
    String entry = dir + u";";
    size_t pos = UpperCase(path + u";").find(UpperCase(entry));
    if (pos != String::npos) path.erase(pos, std::min(entry.size(), path.size() - pos));
    path = path.empty() ? dir : entry + path;
  }
  SetEnv("Path", path);
}

}  // namespace kavo
