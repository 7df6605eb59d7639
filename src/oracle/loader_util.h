// File-system and environment helpers of the client search (internal).
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
// Appends a slash to `dir` unless it ends in one, then `sub`.
String AddToPath(const String& dir, StringView sub);
// Splits a colon-separated search path, dropping empty entries and trailing slashes.
std::vector<String> SplitSearchPath(const String& value);

}  // namespace kavo::loader

#endif  // KAVO_ORACLE_LOADER_UTIL_H_
