// The stand-in under Wine: the store and the admin tool are Linux ones (the
// tool runs as a Linux process started by Wine, through /bin/sh for its
// redirections and exit code, which Wine does not hand back), reached from the
// Windows side through the oci.dll bridge of the stand-in home.
#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "oracle/oci_library.h"
#include "testkit/oracle_standin.h"

namespace kavo::test {

namespace {

// Runs a shell command line as a Linux process; its exit code, or -1. Wine
// gives no handle to wait on for a Linux process: the shell leaves the exit
// code in a file, renamed into place once written, which is waited for.
int RunUnixShell(const std::string& dir, const std::string& command) {
  std::string rc_file = dir + "/rc";
  std::remove(rc_file.c_str());
  // Wine splits the line by the Windows rules: double quotes hold the argument.
  std::string line = "/bin/sh -c \"" + command + "; echo $? >" + rc_file + ".new; mv " + rc_file +
                     ".new " + rc_file + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return -1;
  if (pi.hThread) CloseHandle(pi.hThread);
  if (pi.hProcess) CloseHandle(pi.hProcess);
  for (int waited = 0; waited < 120000; waited += 5) {
    if (FILE* f = std::fopen(rc_file.c_str(), "r")) {
      int rc = -1;
      if (std::fscanf(f, "%d", &rc) != 1) rc = -1;
      std::fclose(f);
      return rc;
    }
    Sleep(5);
  }
  return -1;
}

}  // namespace

// A Linux path (the store is opened by the Linux stand-in); Wine reaches it
// through its drive Z:.
StandIn::StandIn(const std::string& dir_prefix)
    : dir_(dir_prefix), store_(dir_.File("store.db")) {
  SetEnvironmentVariableA("ORACLE_HOME", OCISQLITE_HOME);
  SetEnvironmentVariableA("NLS_LANG", nullptr);
  OCILibrary().SetParamStrings({});
  if (Tool("create " + store_ + " manager") != 0)
    throw std::runtime_error("could not create the stand-in store");
}

int StandIn::Tool(const std::string& arguments) {
  return RunUnixShell(dir_.path(), std::string(OCISQLITE_TOOL) + " " + arguments +
                                       " >/dev/null 2>&1");
}

int StandIn::Sql(const std::string& logon, const std::string& script, std::string* output) {
  dir_.Write("script.sql", script);
  int rc = RunUnixShell(dir_.path(), std::string(OCISQLITE_TOOL) + " sql " + store_ + " " +
                                         logon + " <" + dir_.File("script.sql") + " >" +
                                         dir_.File("out.txt") + " 2>&1");
  if (output != nullptr) *output = dir_.Read("out.txt");
  return rc;
}

}  // namespace kavo::test
