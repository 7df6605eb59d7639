// What the monitor asks of the system it runs on.
#ifndef KAVO_SQLMONITOR_MONITOR_SYSTEM_H_
#define KAVO_SQLMONITOR_MONITOR_SYSTEM_H_

#include <functional>
#include <memory>
#include <string>

namespace kavo {

// Who may use the channel at `path`, for the permission messages:
// " (owner NAME, group id N, mode 0NNN)", or "" where the system has no such
// thing to say (Windows: the channel's objects are everyone's).
std::string ChannelOwnership(const std::string& path);

// Calls `on_stop` once when the user asks the monitor to stop (POSIX:
// SIGINT or SIGTERM, taken by a thread of its own; Windows: Ctrl+C, Ctrl+Break
// or the console closing). Made before any other thread starts.
class StopRequests {
 public:
  explicit StopRequests(std::function<void()> on_stop);
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kavo

#endif  // KAVO_SQLMONITOR_MONITOR_SYSTEM_H_
