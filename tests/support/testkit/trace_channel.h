// A trace channel of one test's own: KAVO_SQLMONITOR_SUFFIX names a channel
// no other test, test run or worktree uses, for as long as the object lives
// (child processes inherit it); the channel is removed at the end.
#ifndef KAVO_TESTKIT_TRACE_CHANNEL_H_
#define KAVO_TESTKIT_TRACE_CHANNEL_H_

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <optional>
#include <random>
#include <string>

#include "ib/ib_trace_channel.h"
#include "platform/shared_memory.h"

namespace kavo::test {

class PrivateTraceChannel {
 public:
  PrivateTraceChannel() {
    if (const char* old = getenv("KAVO_SQLMONITOR_SUFFIX")) old_ = old;
    static std::atomic<int> counter{0};
    suffix_ = ".kavo-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" +
              std::to_string(std::random_device{}() % 1000000);
    setenv("KAVO_SQLMONITOR_SUFFIX", suffix_.c_str(), 1);
    name_ = TraceChannelName();
  }
  ~PrivateTraceChannel() {
    SharedMemory::Remove(name_);
    if (old_) {
      setenv("KAVO_SQLMONITOR_SUFFIX", old_->c_str(), 1);
    } else {
      unsetenv("KAVO_SQLMONITOR_SUFFIX");
    }
  }
  PrivateTraceChannel(const PrivateTraceChannel&) = delete;
  PrivateTraceChannel& operator=(const PrivateTraceChannel&) = delete;

  const std::string& name() const { return name_; }
  std::string path() const { return SharedMemory::FilePath(name_); }

 private:
  std::optional<std::string> old_;
  std::string suffix_;
  std::string name_;
};

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_TRACE_CHANNEL_H_
