// The statements an OCI stand-in of this process executes, read back from
// its trace file (OCISQLITE_TRACE): one record per statement, commit or
// rollback, line breaks inside a statement written as "\n".
#ifndef KAVO_TESTKIT_STANDIN_TRACE_H_
#define KAVO_TESTKIT_STANDIN_TRACE_H_

#include <fstream>
#include <string>
#include <vector>

#include "testkit/env.h"

namespace kavo::test {

class StandInTrace {
 public:
  explicit StandInTrace(std::string path) : path_(std::move(path)) {
    Clear();
    SetEnvVar("OCISQLITE_TRACE", path_.c_str());
  }
  ~StandInTrace() { UnsetEnvVar("OCISQLITE_TRACE"); }
  StandInTrace(const StandInTrace&) = delete;
  StandInTrace& operator=(const StandInTrace&) = delete;

  void Clear() { std::ofstream(path_, std::ios::trunc); }
  std::vector<std::string> Records() const {
    std::vector<std::string> lines;
    std::ifstream in(path_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The records so far, and the trace emptied.
  std::vector<std::string> Take() {
    std::vector<std::string> r = Records();
    Clear();
    return r;
  }

 private:
  std::string path_;
};

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_STANDIN_TRACE_H_
