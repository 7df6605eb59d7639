#include "testkit/oracle_standin.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "oracle/oci_library.h"

namespace kavo::test {

StandIn::StandIn(const std::string& dir_prefix)
    : dir_(dir_prefix), store_(dir_.File("store.db")) {
  setenv("ORACLE_HOME", OCISQLITE_HOME, 1);
  setenv("KAVO_ORATAB", dir_.File("no-oratab").c_str(), 1);
  unsetenv("NLS_LANG");
  OCILibrary().SetParamStrings({});
  if (Tool("create " + store_ + " manager") != 0)
    throw std::runtime_error("could not create the stand-in store");
}

int StandIn::Tool(const std::string& arguments) {
  std::string cmd = std::string(OCISQLITE_TOOL) + " " + arguments + " >/dev/null 2>&1";
  int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int StandIn::Sql(const std::string& logon, const std::string& script, std::string* output) {
  std::string script_file = dir_.File("script.sql");
  std::string out_file = dir_.File("out.txt");
  dir_.Write("script.sql", script);
  std::string cmd = std::string(OCISQLITE_TOOL) + " sql " + store_ + " " + logon + " <" +
                    script_file + " >" + out_file + " 2>&1";
  int status = std::system(cmd.c_str());
  if (output != nullptr) *output = dir_.Read("out.txt");
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace kavo::test
