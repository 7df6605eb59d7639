// File-system and environment helpers of the client search (internal); each
// system's backend (posix/, win32/) supplies them with its own path rules.
#ifndef KAVO_ORACLE_LOADER_UTIL_H_
#define KAVO_ORACLE_LOADER_UTIL_H_

#include <vector>

#include "rtl/ustring.h"

namespace kavo::loader {

bool FileExists(const String& path);       // a regular file (or a link to one)
bool DirectoryExists(const String& path);
std::vector<String> ListDirectory(const String& dir);  // file names, unsorted
String GetEnv(const char* name);
void SetEnv(const char* name, const String& value);
String CurrentDirectory();
bool SetCurrentDirectory(const String& dir);
// The directory part of a path ("" for a bare name), without a trailing slash.
String ExtractFileDir(const String& path);
// Appends the path delimiter to `dir` unless it ends in one, then `sub`.
String AddToPath(const String& dir, StringView sub);
// Splits a search path at the system's separator, dropping empty entries and
// trailing delimiters.
std::vector<String> SplitSearchPath(const String& value);

// The client library's unversioned file name, how file names compare, and a
// candidate's version from its name (empty when it is no versioned client
// library; compared element by element, greater is newer).
StringView ClientLibraryName();
bool SameFileName(const String& a, StringView b);
std::vector<int> LibraryVersion(const String& file_name);
// NLS_LANG when the environment has none ("" for none).
String NlsLangFallback(const String& home_key);
// A 32-bit process on 64-bit Windows, which needs a 32-bit client.
bool IsWindows64bit();

}  // namespace kavo::loader

#endif  // KAVO_ORACLE_LOADER_UTIL_H_
