#include "monitor_system.h"

#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace kavo {

std::string ChannelOwnership(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return "";
  std::string owner = std::to_string(st.st_uid);
  if (passwd* pw = getpwuid(st.st_uid)) owner = pw->pw_name;
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", st.st_mode & 07777);
  return " (owner " + owner + ", group id " + std::to_string(st.st_gid) + ", mode " + mode + ")";
}

struct StopRequests::State {
  sigset_t stops{};
  std::atomic<bool> ending{false};
  std::thread waiter;
};

StopRequests::StopRequests(std::function<void()> on_stop) : state_(std::make_unique<State>()) {
  // Blocked here, before other threads start, so that only the waiter takes
  // them.
  sigemptyset(&state_->stops);
  sigaddset(&state_->stops, SIGINT);
  sigaddset(&state_->stops, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &state_->stops, nullptr);
  state_->waiter = std::thread([state = state_.get(), on_stop = std::move(on_stop)] {
    int sig = 0;
    sigwait(&state->stops, &sig);
    if (!state->ending) on_stop();
  });
}

// Ending without a stop request (the channel refused the monitor), the
// waiter is woken by a signal of its own.
StopRequests::~StopRequests() {
  state_->ending = true;
  pthread_kill(state_->waiter.native_handle(), SIGTERM);
  state_->waiter.join();
}

}  // namespace kavo
