#include "monitor_system.h"

#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>

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
  std::thread waiter;
};

StopRequests::StopRequests(std::function<void()> on_stop) : state_(std::make_unique<State>()) {
  // Blocked here, before other threads start, so that only the waiter takes
  // them.
  sigemptyset(&state_->stops);
  sigaddset(&state_->stops, SIGINT);
  sigaddset(&state_->stops, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &state_->stops, nullptr);
  state_->waiter = std::thread([stops = state_->stops, on_stop = std::move(on_stop)] {
    int sig = 0;
    sigwait(&stops, &sig);
    on_stop();
  });
}

// The monitor ends only on a stop request: the waiter has returned.
StopRequests::~StopRequests() { state_->waiter.join(); }

}  // namespace kavo
