// TOCILibrary: the OCI client library as the layer sees it: the loaded
// library, its entry points, its generation flags and the loader's options.
// The process has one, OCILibrary(), shared by every session.
//
// Finding the library, in order: a library named by the program (OCIDLL) or
// by the command-line parameter OCIDLL=; else an Oracle home; else the
// ORACLE_HOME variable; else the first directory of the library search path
// holding the client library. In the home's library folder (or the home
// itself) the unversioned client library is taken, else the versioned one
// with the highest version. Each system's backend has its own homes and names:
//  - Linux (posix/): the homes listed in /etc/oratab (KAVO_ORATAB names
//    another); ORACLEHOME=name or OracleHomeName wins, then the home whose
//    "lib" folder comes first in LD_LIBRARY_PATH, then the last in name order;
//    libclntsh.so, else libclntsh.so.<major>.<minor>; LD_LIBRARY_PATH and
//    then the dynamic loader's own search.
//  - Windows (win32/): the homes registered under the registry key
//    HKEY_LOCAL_MACHINE\SOFTWARE\ORACLE (HOME<n> and KEY_<name>), chosen likewise by their "bin" folder's
//    place in PATH; oci.dll, else ora<digits>.dll (ora805.dll is 0.805); PATH.
//
// Entry points are resolved by name group by group (OCI 7, 7.2, 7.3, 8, the
// external procedures, 8.1, 9.0, 9.2, 10.1, 10.2, 11.1); a group is complete
// only when all its names and those of every earlier OCI 8 group were found,
// which the generation flags tell. Each routine the layer calls is a member
// named like it (oci_routines.h); calling one the library lacks raises
// Exception naming the routine, never a jump through an empty pointer.
#ifndef KAVO_ORACLE_OCI_LIBRARY_H_
#define KAVO_ORACLE_OCI_LIBRARY_H_

#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "oracle/oci_routines.h"
#include "oracle/oci_types.h"
#include "platform/dynamic_library.h"
#include "rtl/ustring.h"

namespace kavo {

// The loader's texts.
inline constexpr StringView ociClientNotInstalled = u"Oracle Client not properly installed";
inline constexpr StringView ociCouldNotLoad = u"Could not load";
inline constexpr StringView ociCouldNotLocateOCI = u"Could not locate OCI dll";
inline constexpr StringView ociCouldNotLocate = u"Could not locate";
inline constexpr StringView ociCouldNotInit = u"Could not initialize";
// Only a 32-bit process on 64-bit Windows needs it; kept for the texts' sake.
inline constexpr StringView oci32BitClientReq =
    u"Make sure you have the 32 bits Oracle Client installed.";
// A call through an entry point that is not there.
inline constexpr StringView ociRoutineNotAvailable =
    u"The OCI routine %s is not available in \"%s\"";
inline constexpr StringView ociRoutineNotLoaded =
    u"The OCI routine %s is not available: no OCI library is loaded";

class TOCILibrary {
 public:
  TOCILibrary();
  ~TOCILibrary();
  TOCILibrary(const TOCILibrary&) = delete;
  TOCILibrary& operator=(const TOCILibrary&) = delete;

  // --- Options: the program sets them before the first load ---------------

  // Path of the library: set to force one, else filled by the search
  // (DefaultOCIDLL() then true, and unloading empties it again).
  String OCIDLL;
  // File names skipped in the first search pass, each between double quotes.
  String ExcludedOCIDLLs;
  // Whether the loader may put the library's directory first in the library
  // search path (LD_LIBRARY_PATH, or PATH on Windows).
  bool AllowAdjustPath = true;
  // The wanted home; filled by the search when empty (DefaultHomeName() then true).
  String OracleHomeName;
  // Never use the OCI 8 interface even when present.
  bool ForceOCI7 = false;
  // All sessions share one OCI environment, SingleEnv, created by the first
  // session that needs it under OCISection and freed at process end.
  bool UseSingleEnvironment = false;
  OCIHandle SingleEnv = nullptr;

  // --- Loading --------------------------------------------------------------

  // Loads and initialises the library unless loaded, under OCISection; raises
  // Exception ("Initialization error" ...) on failure. Afterwards DLLLoaded()
  // is true and the generation flags are final.
  void InitOCI();
  bool DLLLoaded() const { return library_.IsOpen(); }
  // Unloads the library and resets what the search found; a library path or
  // home name set by the program survives.
  void DLLExit();
  // Choose, load and resolve: 0 success, 1 not located or not loadable, 2
  // found but unusable, 3 no Oracle home.
  int DLLInit();
  // Choose OCIDLL: 0 chosen, 1 none found, 3 no Oracle home.
  int FindOCIDLL();
  // Candidate libraries of the chosen home.
  std::vector<String> GetOCIDLLList(bool log);
  // Directory of the Oracle home to use, and the key of the chosen home (its
  // oratab name, or its registry key on Windows).
  String OracleHome();
  String FindHomeKey();

  // The value of a NAME=value command-line parameter (at most 255 characters).
  String GetParamString(StringView name) const;
  // The parameters GetParamString reads: by default those of this process as
  // kept by SetCommandLine (without the program name); tests replace them.
  void SetParamStrings(std::vector<String> params);

  // Puts `dir` first in the process's library search path, starting again from the
  // value captured at the first adjustment, so entries never accumulate.
  void AdjustPath(const String& dir);
  // Restores the current directory changed by a second load attempt.
  void ResetOCIPath();
  void OCILog(const String& line);

  // NLS_LANG, read once from the environment and cached upper-cased until
  // DLLExit; whether it names a UTF-8 character set.
  String NLS_LANG();
  // Whether text travels as UTF-8. A client with OCIEnvNlsCreate is always
  // asked for AL32UTF8, which holds every character, so that nothing is
  // replaced before the layer sees it; an older one speaks what NLS_LANG
  // names. Asked per column and variable bound: no copy of the text.
  bool UTF8Client() {
    if (Has(OCIEntry::OCIEnvNlsCreate)) return true;
    if (!nls_read_) NLS_LANG();
    return utf8_client_;
  }

  // --- What the search found --------------------------------------------------

  bool DefaultOCIDLL() const { return default_ocidll_; }
  bool DefaultHomeName() const { return default_home_name_; }
  // The chosen home: its key (oratab name or registry key), its directory, and
  // whether the library is expected in its "lib" ("bin") subdirectory.
  const String& OracleHomeKey() const { return oracle_home_key_; }
  const String& OracleHomeDir() const { return oracle_home_dir_; }
  bool OracleBinDir() const { return oracle_bin_dir_; }
  // Log of the last load attempt, lines joined by CR LF.
  const String& InitOCILog() const { return init_oci_log_; }

  // --- Generation flags: usable, and detected -----------------------------------

  bool OCI70() const { return flags_.OCI70; }
  bool OCI72() const { return flags_.OCI72; }
  bool OCI73() const { return flags_.OCI73; }
  bool OCI80() const { return flags_.OCI80; }
  bool OCI81() const { return flags_.OCI81; }
  bool OCI90() const { return flags_.OCI90; }
  bool OCI92() const { return flags_.OCI92; }
  bool OCI101() const { return flags_.OCI101; }
  bool OCI102() const { return flags_.OCI102; }
  bool OCI111() const { return flags_.OCI111; }
  bool OCI80Detected() const { return flags_.OCI80Detected; }
  bool OCI81Detected() const { return flags_.OCI81Detected; }
  bool OCI90Detected() const { return flags_.OCI90Detected; }
  bool OCI92Detected() const { return flags_.OCI92Detected; }
  bool OCI101Detected() const { return flags_.OCI101Detected; }
  bool OCI102Detected() const { return flags_.OCI102Detected; }
  bool OCI111Detected() const { return flags_.OCI111Detected; }
  bool ExtProcDetected() const { return flags_.ExtProcDetected; }
  bool MTSDetected() const { return flags_.MTSDetected; }

  // --- Entry points ---------------------------------------------------------

  // Fills the entries from `library` group by group with the flag chain, and
  // clears them (all empty, flags false) when `library` is null.
  void ResolveOCIEntryPoints(const DynamicLibrary* library);
  // The address resolved for any routine of the groups by its OCI name (also
  // those without a typed entry); null when absent or not loaded.
  void* OCIEntryPoint(const std::string& name) const;
  // Whether the typed entry was resolved.
  bool Has(OCIEntry entry) const { return entries_[Index(entry)] != nullptr; }
  // The typed entry's address; raises when it was not resolved.
  void* EntryAddress(OCIEntry entry) const {
    void* address = entries_[Index(entry)];
    if (address == nullptr) RaiseNotAvailable(entry);
    return address;
  }

  // One forwarding operation per typed entry, with the routine's own name and
  // its exact C signature.
#define KAVO_OCI_METHOD(name)                                                             \
  template <typename... A>                                                                \
  sword name(A&&... args) const {                                                         \
    auto fn = reinterpret_cast<decltype(&ocisig::name)>(EntryAddress(OCIEntry::name));    \
    return fn(std::forward<A>(args)...);                                                  \
  }
  KAVO_OCI_ENTRIES(KAVO_OCI_METHOD)
#undef KAVO_OCI_METHOD

 private:
  struct Flags {
    bool OCI70 = false, OCI72 = false, OCI73 = false, OCI80 = false, OCI81 = false,
         OCI90 = false, OCI92 = false, OCI101 = false, OCI102 = false, OCI111 = false;
    bool OCI80Detected = false, OCI81Detected = false, OCI90Detected = false,
         OCI92Detected = false, OCI101Detected = false, OCI102Detected = false,
         OCI111Detected = false, ExtProcDetected = false, MTSDetected = false;
  };

  static size_t Index(OCIEntry entry) { return static_cast<size_t>(entry); }
  [[noreturn]] void RaiseNotAvailable(OCIEntry entry) const;
  bool LoadLibrary(const String& path);
  std::vector<String> Params() const;

  DynamicLibrary library_;
  std::array<void*, kOCIEntryCount> entries_{};
  std::map<std::string, void*> resolved_;  // every address found, by name
  Flags flags_;

  bool default_ocidll_ = false;
  bool default_home_name_ = false;
  String oracle_home_key_;
  String oracle_home_dir_;
  bool oracle_bin_dir_ = false;
  String init_oci_log_;

  // The current directory saved before a second load attempt, and the search
  // path captured at the first adjustment.
  String saved_directory_;
  bool path_captured_ = false;
  String original_path_;

  bool nls_read_ = false;
  String nls_lang_;
  bool utf8_client_ = false;

  bool params_set_ = false;
  std::vector<String> params_;
};

// The process's library object.
TOCILibrary& OCILibrary();

}  // namespace kavo

#endif  // KAVO_ORACLE_OCI_LIBRARY_H_
