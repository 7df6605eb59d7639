// A fresh store of the OCI stand-in per test group, reached through the
// ordinary client search (ORACLE_HOME pointing at the build's stand-in home).
#ifndef KAVO_TESTKIT_ORACLE_STANDIN_H_
#define KAVO_TESTKIT_ORACLE_STANDIN_H_

#include <string>

#include "testkit/temp_dir.h"

namespace kavo::test {

class StandIn {
 public:
  // Creates a store in a new temporary directory (named from `dir_prefix`)
  // with SYSTEM's password "manager" and points the client search at the
  // stand-in home.
  explicit StandIn(const std::string& dir_prefix = "/tmp/kavo-oracle-");
  ~StandIn() = default;
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  const std::string& Store() const { return store_; }
  // Runs a script through the admin tool; returns its exit code and output.
  int Sql(const std::string& logon, const std::string& script, std::string* output = nullptr);
  // Runs one admin command ("set STORE release 19.0.0.0.0" without the tool name).
  int Tool(const std::string& arguments);

 private:
  TempDir dir_;
  std::string store_;
};

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_ORACLE_STANDIN_H_
