// Loading the client library, its first-time initialisation and unloading.
#include "oracle/oci_loader.h"

#include <mutex>

#include "oracle/critical_section.h"
#include "oracle/loader_util.h"
#include "platform/command_line.h"
#include "platform/dynamic_library.h"
#include "rtl/exceptions.h"

namespace kavo {

using namespace loader;

String OCIDLL;
bool DefaultOCIDLL = false;
String ExcludedOCIDLLs;
bool AllowAdjustPath = true;
bool UseSingleEnvironment = false;
OCIHandle SingleEnv = nullptr;
String OracleHomeKey;
String OracleHomeDir;
bool OracleBinDir = false;
String OracleHomeName;
bool DefaultHomeName = false;
String InitOCILog;

String ociClientNotInstalled = u"Oracle Client not properly installed";
String ociCouldNotLoad = u"Could not load";
String ociCouldNotLocateOCI = u"Could not locate OCI dll";
String ociCouldNotLocate = u"Could not locate";
String ociCouldNotInit = u"Could not initialize";
// Only a 32-bit process on 64-bit Windows needs it; kept for the texts' sake.
String oci32BitClientReq = u"Make sure you have the 32 bits Oracle Client installed.";

namespace {

DynamicLibrary& OciLibrary() {
  static DynamicLibrary library;
  return library;
}

// The current directory saved before a second load attempt, and the search
// path captured at the first adjustment.
String g_saved_directory;
bool g_path_captured = false;
String g_original_path;

bool g_nls_read = false;
String g_nls_lang;
bool g_utf8_client = false;

bool g_params_set = false;
std::vector<String> g_params;

std::vector<String> Params() {
  if (g_params_set) return g_params;
  std::vector<String> params;
  for (int i = 1; i <= ParamCount(); ++i) params.push_back(ParamStr(i));
  return params;
}

bool LoadLibrary(const String& path) { return OciLibrary().Open(StringToUtf8(path)); }

}  // namespace

void SetParamStrings(std::vector<String> params) {
  g_params = std::move(params);
  g_params_set = true;
}

String GetParamString(StringView name) {
  String key = UpperCase(name) + u"=";
  for (const String& p : Params()) {
    if (UpperCase(p).find(key) == String::npos) continue;
    if (p.size() <= key.size()) return String();
    return p.substr(key.size(), 255);
  }
  return String();
}

void OCILog(const String& line) {
  if (!InitOCILog.empty()) InitOCILog += u"\r\n";
  InitOCILog += line;
}

void AdjustPath(const String& dir) {
  if (!AllowAdjustPath) return;
  if (!g_path_captured) {
    g_original_path = GetEnv("LD_LIBRARY_PATH");
    g_path_captured = true;
  }
  String path = g_original_path;
  if (!dir.empty()) {
    String hay = u":" + path + u":";
    size_t pos = hay.find(u":" + dir + u":");
    if (pos != String::npos) hay.erase(pos, dir.size() + 1);
    path = hay.size() <= 2 ? String() : hay.substr(1, hay.size() - 2);
    path = path.empty() ? dir : dir + u":" + path;
  }
  SetEnv("LD_LIBRARY_PATH", path);
}

void ResetOCIPath() {
  if (g_saved_directory.empty()) return;
  if (CurrentDirectory() == ExtractFileDir(OCIDLL)) SetCurrentDirectory(g_saved_directory);
  g_saved_directory.clear();
}

bool DLLLoaded() { return OciLibrary().IsOpen(); }

int DLLInit() {
  if (DLLLoaded()) return 0;
  InitOCILog.clear();
  int result = FindOCIDLL();
  if (result != 0) return result;
  String dir = ExtractFileDir(OCIDLL);
  AdjustPath(dir);
  bool loaded = LoadLibrary(OCIDLL);
  if (!loaded) {
    if (FileExists(OCIDLL)) {
      result = 2;
    } else {
      g_saved_directory = CurrentDirectory();
      if (!dir.empty()) SetCurrentDirectory(dir);
      AdjustPath(dir);
      loaded = LoadLibrary(OCIDLL);
    }
  }
  if (!loaded) {
    // A failed load has no handle: the log shows 0, then the loader's reason.
    OCILog(u"LoadLibrary(" + OCIDLL + u") returned 0");
    if (!OciLibrary().LastError().empty()) OCILog(Utf8ToString(OciLibrary().LastError()));
    if (result != 2) result = 1;
    return result;
  }
  ResolveOCIEntryPoints(&OciLibrary());
  if (!OCI70 && !OCI80) result = 2;
  return result;
}

void DLLExit() {
  OciLibrary().Close();
  ResolveOCIEntryPoints(nullptr);
  if (DefaultOCIDLL) OCIDLL.clear();
  if (DefaultHomeName) OracleHomeName.clear();
  DefaultOCIDLL = false;
  DefaultHomeName = false;
  OracleHomeKey.clear();
  OracleHomeDir.clear();
  OracleBinDir = false;
  g_nls_read = false;
  g_nls_lang.clear();
  g_utf8_client = false;
}

void InitOCI() {
  std::lock_guard<TOracleCriticalSection> lock(OCISection());
  if (DLLLoaded()) return;
  int r = DLLInit();
  String reason;
  switch (r) {
    case 1:
      reason = OCIDLL.empty() ? ociCouldNotLocateOCI
                              : ociCouldNotLoad + u" \"" + OCIDLL + u"\"";
      break;
    case 2:
      reason = ociCouldNotInit + u" \"" + OCIDLL + u"\"";
      break;
    case 3:
      reason = ociClientNotInstalled;
      break;
    default:
      break;
  }
  if (r != 0) {
    String log = InitOCILog;
    DLLExit();
    throw Exception(u"Initialization error\r\n" + reason + u"\r\n\r\n" + log);
  }
  if (OCI73 && !OCI80 && opinit != nullptr) opinit(0);
  if (OCI80 && !OCI81) OCIInitialize(OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr);
}

String NLS_LANG() {
  if (!g_nls_read) {
    g_nls_read = true;
    g_nls_lang = UpperCase(GetEnv("NLS_LANG"));
    g_utf8_client = g_nls_lang.find(u"UTF8") != String::npos;
  }
  return g_nls_lang;
}

bool UTF8Client() {
  NLS_LANG();
  return g_utf8_client;
}

}  // namespace kavo
