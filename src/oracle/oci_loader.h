// Finding, loading and initialising the OCI client library.
//
// The search, in order: a library named by the program (OCIDLL) or by the
// command-line parameter OCIDLL=; else an Oracle home, chosen among the homes
// listed in /etc/oratab (ORACLEHOME=name or OracleHomeName wins, then the home
// whose library directory comes first in LD_LIBRARY_PATH, then the last in
// name order), else the ORACLE_HOME variable, else the first LD_LIBRARY_PATH
// directory (then the dynamic loader's own search) holding libclntsh.so. In
// the home's "lib" directory (or the home itself, the Instant Client layout)
// libclntsh.so is taken, else the libclntsh.so.<major>.<minor> with the
// highest version. The environment variable KAVO_ORATAB names another oratab.
//
// All of this state is process-wide: one loader per process.
#ifndef KAVO_ORACLE_OCI_LOADER_H_
#define KAVO_ORACLE_OCI_LOADER_H_

#include <string>
#include <vector>

#include "oracle/oci_entry_points.h"
#include "rtl/ustring.h"

namespace kavo {

// Path of the OCI library: set by the program before the first load to force
// one, else filled by the search (DefaultOCIDLL then True).
extern String OCIDLL;
extern bool DefaultOCIDLL;
// File names skipped in the first search pass, each between double quotes.
extern String ExcludedOCIDLLs;
// Whether the loader may put the library's directory first in LD_LIBRARY_PATH.
extern bool AllowAdjustPath;
// All sessions share one OCI environment (created on first use).
extern bool UseSingleEnvironment;
extern OCIHandle SingleEnv;
// The chosen home: its oratab name (the "key"), its directory, and whether
// the library is expected in its "lib" subdirectory.
extern String OracleHomeKey;
extern String OracleHomeDir;
extern bool OracleBinDir;
// The wanted home; the program may set it before the first load.
extern String OracleHomeName;
extern bool DefaultHomeName;
// Log of the last load attempt, lines joined by CR LF.
extern String InitOCILog;

// The loader's texts.
extern String ociClientNotInstalled;
extern String ociCouldNotLoad;
extern String ociCouldNotLocateOCI;
extern String ociCouldNotLocate;
extern String ociCouldNotInit;
extern String oci32BitClientReq;

// Loads and initialises the library unless loaded; raises Exception
// ("Initialization error" ...) on failure. Afterwards DLLLoaded() is true and
// the generation flags are final.
void InitOCI();
bool DLLLoaded();
// Unloads the library and resets the loader state; a library path or home
// name set by the program survives.
void DLLExit();
// Choose, load and resolve: 0 success, 1 not located or not loadable, 2 found
// but unusable, 3 no Oracle home.
int DLLInit();
// Choose OCIDLL: 0 chosen, 1 none found, 3 no Oracle home.
int FindOCIDLL();
// Candidate libraries of the chosen home.
std::vector<String> GetOCIDLLList(bool log);
// Directory of the Oracle home to use, and the oratab name of the chosen home.
String OracleHome();
String FindHomeKey();

// The value of a NAME=value command-line parameter (at most 255 characters).
String GetParamString(StringView name);
// The parameters GetParamString reads: by default those of this process as
// kept by SetCommandLine (without the program name); tests replace them.
void SetParamStrings(std::vector<String> params);

// Puts `dir` first in the process's LD_LIBRARY_PATH, starting again from the
// value captured at the first adjustment, so entries never accumulate.
void AdjustPath(const String& dir);
// Restores the current directory changed by a second load attempt.
void ResetOCIPath();
void OCILog(const String& line);

// NLS_LANG, read once from the environment and cached upper-cased; whether it
// names a UTF-8 character set.
String NLS_LANG();
bool UTF8Client();

}  // namespace kavo

#endif  // KAVO_ORACLE_OCI_LOADER_H_
