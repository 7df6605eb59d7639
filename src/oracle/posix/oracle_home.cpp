// The Oracle home and the candidate libraries in it.
#include <algorithm>
#include <fstream>
#include <string>

#include "oracle/loader_util.h"
#include "oracle/oci_library.h"
#include "platform/dynamic_library.h"
#include "rtl/code_page.h"

namespace kavo {

using namespace loader;

namespace {

constexpr StringView kLibrary = u"libclntsh.so";
constexpr StringView kVersionedPrefix = u"libclntsh.so.";

struct Home {
  String name;
  String dir;
};

String OratabPath() {
  String p = GetEnv("KAVO_ORATAB");
  return p.empty() ? String(u"/etc/oratab") : p;
}

// The homes of the oratab whose directory exists, sorted by name without
// regard to case; a repeated name keeps its first line.
std::vector<Home> BuildOracleHomeList() {
  std::vector<Home> homes;
  std::ifstream in(StringToUtf8(OratabPath()));
  std::string line;
  while (std::getline(in, line)) {
    String l = Trim(AnsiToString(line));
    if (l.empty() || l[0] == u'#') continue;
    size_t c1 = l.find(u':');
    if (c1 == String::npos) continue;
    size_t c2 = l.find(u':', c1 + 1);
    Home h{Trim(l.substr(0, c1)), Trim(l.substr(c1 + 1, c2 == String::npos ? String::npos
                                                                           : c2 - c1 - 1))};
    while (h.dir.size() > 1 && h.dir.back() == u'/') h.dir.pop_back();
    if (h.name.empty() || h.dir.empty() || !DirectoryExists(h.dir)) continue;
    bool dup = std::any_of(homes.begin(), homes.end(),
                           [&](const Home& o) { return SameText(o.name, h.name); });
    if (!dup) homes.push_back(h);
  }
  std::stable_sort(homes.begin(), homes.end(), [](const Home& a, const Home& b) {
    return UpperCase(a.name) < UpperCase(b.name);
  });
  return homes;
}

// The directory an oratab name stands for ("" when none).
String HomeDirOf(const String& key) {
  if (key.empty()) return String();
  for (const Home& h : BuildOracleHomeList())
    if (h.name == key) return h.dir;
  return String();
}

}  // namespace

namespace loader {

StringView ClientLibraryName() { return kLibrary; }

bool SameFileName(const String& a, StringView b) { return a == b; }

// A library's version from its file name: the numbers after "libclntsh.so.";
// empty when the name is not a versioned client library.
std::vector<int> LibraryVersion(const String& file_name) {
  std::vector<int> v;
  if (file_name.size() <= kVersionedPrefix.size() ||
      file_name.compare(0, kVersionedPrefix.size(), kVersionedPrefix) != 0)
    return v;
  String rest = file_name.substr(kVersionedPrefix.size());
  size_t start = 0;
  while (start <= rest.size()) {
    size_t dot = rest.find(u'.', start);
    if (dot == String::npos) dot = rest.size();
    String part = rest.substr(start, dot - start);
    if (part.empty() || part.size() > 6 ||
        !std::all_of(part.begin(), part.end(), [](Char c) { return c >= u'0' && c <= u'9'; }))
      return {};
    v.push_back(std::stoi(StringToUtf8(part)));
    start = dot + 1;
  }
  bool positive = std::any_of(v.begin(), v.end(), [](int n) { return n > 0; });
  return positive ? v : std::vector<int>{};
}

}  // namespace loader

String TOCILibrary::FindHomeKey() {
  if (!oracle_home_key_.empty()) return oracle_home_key_;
  std::vector<Home> homes = BuildOracleHomeList();
  String key;
  String name;
  if (!homes.empty()) {
    String wanted = UpperCase(GetParamString(u"ORACLEHOME"));
    if (wanted.empty()) wanted = OracleHomeName;
    default_home_name_ = false;
    String path = GetEnv("LD_LIBRARY_PATH");
    size_t best = path.size();
    bool taken = false;
    for (const Home& h : homes) {
      if (!wanted.empty() && SameText(h.name, wanted)) {
        key = name = h.name;
        taken = true;
        break;
      }
      // The home whose library directory comes first in LD_LIBRARY_PATH; only
      // whole entries count.
      String lib = AddToPath(h.dir, u"lib");
      String hay = u":" + path + u":";
      size_t pos = hay.find(u":" + lib + u":");
      if (pos != String::npos && pos + 1 < best) {
        key = name = h.name;
        best = pos + 1;
        taken = true;
      }
    }
    if (!taken) key = name = homes.back().name;
    if (OracleHomeName.empty()) {
      default_home_name_ = true;
      OracleHomeName = name;
    }
  }
  String dir = HomeDirOf(key);
  oracle_home_key_ = (dir.empty() || !DirectoryExists(dir)) ? String() : key;
  return oracle_home_key_;
}

String TOCILibrary::OracleHome() {
  oracle_bin_dir_ = true;
  String dir = HomeDirOf(FindHomeKey());
  if (!dir.empty()) return dir;
  oracle_home_key_.clear();
  String env = GetEnv("ORACLE_HOME");
  while (env.size() > 1 && env.back() == u'/') env.pop_back();
  if (!env.empty() && env != u".") {
    oracle_bin_dir_ = DirectoryExists(AddToPath(env, u"lib"));
    return env;
  }
  auto from_library_dir = [this](String found) {
    if (found.size() > 4 && found.compare(found.size() - 4, 4, u"/lib") == 0) {
      oracle_bin_dir_ = true;
      found.resize(found.size() - 4);
    } else {
      oracle_bin_dir_ = false;
    }
    return found;
  };
  for (const String& d : SplitSearchPath(GetEnv("LD_LIBRARY_PATH")))
    if (FileExists(AddToPath(d, kLibrary))) return from_library_dir(d);
  // Last, the dynamic loader's own search (ld.so.cache, the system directories).
  DynamicLibrary probe;
  if (probe.Open(StringToUtf8(kLibrary))) {
    String found = ExtractFileDir(Utf8ToString(probe.Path()));
    if (!found.empty()) return from_library_dir(found);
  }
  return String();
}

std::vector<String> TOCILibrary::GetOCIDLLList(bool log) {
  std::vector<String> list;
  oracle_home_dir_ = OracleHome();
  if (oracle_home_dir_.empty()) return list;
  for (int attempt = 0; attempt < 2 && list.empty(); ++attempt) {
    String dir =
        oracle_bin_dir_ ? AddToPath(oracle_home_dir_, u"lib/") : AddToPath(oracle_home_dir_, u"");
    if (FileExists(dir + String(kLibrary))) {
      list.push_back(dir + String(kLibrary));
      if (log) OCILog(u"Found: " + String(kLibrary));
    }
    std::vector<String> names = ListDirectory(dir);
    std::sort(names.begin(), names.end());
    for (const String& n : names) {
      if (LibraryVersion(n).empty() || !FileExists(dir + n)) continue;
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
    original_path_ = GetEnv("LD_LIBRARY_PATH");
    path_captured_ = true;
  }
  String path = original_path_;
  if (!dir.empty()) {
    String hay = u":" + path + u":";
    size_t pos = hay.find(u":" + dir + u":");
    if (pos != String::npos) hay.erase(pos, dir.size() + 1);
    path = hay.size() <= 2 ? String() : hay.substr(1, hay.size() - 2);
    path = path.empty() ? dir : dir + u":" + path;
  }
  SetEnv("LD_LIBRARY_PATH", path);
}

}  // namespace kavo
