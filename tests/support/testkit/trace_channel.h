// A trace channel of one test's own: KAVO_SQLMONITOR_SUFFIX names a channel
// no other test, test run or worktree uses, for as long as the object lives
// (child processes inherit it); the channel is removed at the end.
#ifndef KAVO_TESTKIT_TRACE_CHANNEL_H_
#define KAVO_TESTKIT_TRACE_CHANNEL_H_

#include <stdlib.h>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

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
    SetSuffix(suffix_.c_str());
    name_ = TraceChannelName();
  }
  ~PrivateTraceChannel() {
    SharedMemory::Remove(name_);
    SetSuffix(old_ ? old_->c_str() : nullptr);
  }
  PrivateTraceChannel(const PrivateTraceChannel&) = delete;
  PrivateTraceChannel& operator=(const PrivateTraceChannel&) = delete;

  const std::string& name() const { return name_; }
  std::string path() const { return SharedMemory::FilePath(name_); }

 private:
  // Child processes inherit it (on Windows too: _putenv_s sets the process's
  // environment as well as the C library's).
  static void SetSuffix(const char* value) {
#ifdef _WIN32
    _putenv_s("KAVO_SQLMONITOR_SUFFIX", value ? value : "");
#else
    if (value) {
      setenv("KAVO_SQLMONITOR_SUFFIX", value, 1);
    } else {
      unsetenv("KAVO_SQLMONITOR_SUFFIX");
    }
#endif
  }

  std::optional<std::string> old_;
  std::string suffix_;
  std::string name_;
};

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_TRACE_CHANNEL_H_
