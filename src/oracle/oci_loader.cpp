// Loading the client library, its first-time initialisation and unloading.
#include <mutex>

#include "oracle/critical_section.h"
#include "oracle/loader_util.h"
#include "oracle/oci_library.h"
#include "platform/command_line.h"
#include "platform/executable_path.h"
#include "rtl/exceptions.h"

namespace kavo {

using namespace loader;

std::vector<String> TOCILibrary::Params() const {
  if (params_set_) return params_;
  std::vector<String> params;
  for (int i = 1; i <= ParamCount(); ++i) params.push_back(ParamStr(i));
  return params;
}

bool TOCILibrary::LoadLibrary(const String& path) { return library_.Open(StringToUtf8(path)); }

void TOCILibrary::SetParamStrings(std::vector<String> params) {
  params_ = std::move(params);
  params_set_ = true;
}

String TOCILibrary::GetParamString(StringView name) const {
  String key = UpperCase(name) + u"=";
  for (const String& p : Params()) {
    if (UpperCase(p).find(key) == String::npos) continue;
    if (p.size() <= key.size()) return String();
    return p.substr(key.size(), 255);
  }
  return String();
}

void TOCILibrary::OCILog(const String& line) {
  if (!init_oci_log_.empty()) init_oci_log_ += u"\r\n";
  init_oci_log_ += line;
}

void TOCILibrary::ResetOCIPath() {
  if (saved_directory_.empty()) return;
  if (CurrentDirectory() == ExtractFileDir(OCIDLL)) SetCurrentDirectory(saved_directory_);
  saved_directory_.clear();
}

int TOCILibrary::FindOCIDLL() {
  default_ocidll_ = false;
  ExcludedOCIDLLs = UpperCase(ExcludedOCIDLLs);
  String forced = GetParamString(u"OCIDLL");
  if (!forced.empty()) OCIDLL = forced;
  if (!OCIDLL.empty()) {
    OCILog(u"OCIDLL forced to " + OCIDLL);
    return 0;
  }
  oracle_home_dir_ = OracleHome();
  OCILog(u"OracleHomeKey: " + oracle_home_key_);
  OCILog(u"OracleHomeDir: " + oracle_home_dir_);
  std::vector<String> list = GetOCIDLLList(true);
  if (oracle_home_dir_.empty()) return 3;
  for (int pass = 1; pass <= 2 && OCIDLL.empty(); ++pass) {
    std::vector<int> best;
    for (const String& path : list) {
      String file = ExtractFileName(path);
      if (pass == 1 && ExcludedOCIDLLs.find(u"\"" + UpperCase(file) + u"\"") != String::npos)
        continue;
      if (SameFileName(file, ClientLibraryName())) {
        OCIDLL = path;
        default_ocidll_ = true;
        break;
      }
      std::vector<int> v = LibraryVersion(file);
      if (v > best) {
        best = v;
        OCIDLL = path;
        default_ocidll_ = true;
      }
    }
  }
  if (OCIDLL.empty()) return 1;
  OCILog(u"Using: " + OCIDLL);
  return 0;
}

int TOCILibrary::DLLInit() {
  if (DLLLoaded()) return 0;
  init_oci_log_.clear();
  int result = FindOCIDLL();
  if (result != 0) return result;
  String dir = ExtractFileDir(OCIDLL);
  AdjustPath(dir);
  bool loaded = LoadLibrary(OCIDLL);
  if (!loaded) {
    if (FileExists(OCIDLL)) {
      result = 2;
    } else {
      saved_directory_ = CurrentDirectory();
      if (!dir.empty()) SetCurrentDirectory(dir);
      AdjustPath(dir);
      loaded = LoadLibrary(OCIDLL);
    }
  }
  if (!loaded) {
    // A failed load has no handle: the log shows 0, then the loader's reason.
    OCILog(u"LoadLibrary(" + OCIDLL + u") returned 0");
    if (!library_.LastError().empty()) OCILog(Utf8ToString(library_.LastError()));
    if (result != 2) result = 1;
    return result;
  }
  ResolveOCIEntryPoints(&library_);
  if (!OCI70() && !OCI80()) result = 2;
  return result;
}

void TOCILibrary::DLLExit() {
  library_.Close();
  ResolveOCIEntryPoints(nullptr);
  if (default_ocidll_) OCIDLL.clear();
  if (default_home_name_) OracleHomeName.clear();
  default_ocidll_ = false;
  default_home_name_ = false;
  oracle_home_key_.clear();
  oracle_home_dir_.clear();
  oracle_bin_dir_ = false;
  nls_read_ = false;
  nls_lang_.clear();
  utf8_client_ = false;
}

void TOCILibrary::InitOCI() {
  std::lock_guard<TOracleCriticalSection> lock(OCISection());
  if (DLLLoaded()) return;
  int r = DLLInit();
  String reason;
  switch (r) {
    case 1:
      reason = OCIDLL.empty() ? String(ociCouldNotLocateOCI)
                              : String(ociCouldNotLoad) + u" \"" + OCIDLL + u"\"";
      break;
    case 2:
      reason = String(ociCouldNotInit) + u" \"" + OCIDLL + u"\"";
      if (IsWindows64bit()) reason += u"\r\n" + String(oci32BitClientReq);
      break;
    case 3:
      reason = ociClientNotInstalled;
      break;
    default:
      break;
  }
  if (r != 0) {
    String log = init_oci_log_;
    DLLExit();
    throw Exception(u"Initialization error\r\n" + reason + u"\r\n\r\n" + log);
  }
  if (OCI73() && !OCI80() && Has(OCIEntry::opinit)) opinit(0);
  if (OCI80() && !OCI81())
    OCIInitialize(OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr);
}

String TOCILibrary::NLS_LANG() {
  if (!nls_read_) {
    nls_read_ = true;
    nls_lang_ = GetEnv("NLS_LANG");
    if (nls_lang_.empty()) nls_lang_ = NlsLangFallback(oracle_home_key_);
    nls_lang_ = UpperCase(nls_lang_);
    utf8_client_ = nls_lang_.find(u"UTF8") != String::npos;
  }
  return nls_lang_;
}

}  // namespace kavo
