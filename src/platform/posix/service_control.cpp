#include "platform/service_control.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace kavo {
namespace {

struct DispatcherState {
  std::mutex mutex;
  bool active = false;
  String service_name;
  HandlerFunction handler = nullptr;
  uint32_t state = 0;
  uint32_t accepted = 0;
  bool ready_sent = false;
  uint32_t deferred = 0;  // a stop or shutdown waiting to be accepted
  bool entry_done = false;
  int wake_fd = -1;
};

DispatcherState& State() {
  static DispatcherState state;
  return state;
}

constexpr ServiceStatusHandle kStatusHandle = 1;

sigset_t ControlSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGTERM, SIGUSR1, SIGUSR2, SIGHUP, SIGPWR}) sigaddset(&set, s);
  for (int s = SIGRTMIN; s <= SIGRTMAX && s - SIGRTMIN < 128; ++s) sigaddset(&set, s);
  return set;
}

void Wake(int fd) {
  uint64_t one = 1;
  if (fd >= 0 && write(fd, &one, sizeof one) < 0) {
    // The loop also wakes on the next signal; nothing more to do.
  }
}

// As the service manager this stands in for: a service that is starting or
// stopping takes no control but interrogate, whatever its report accepts.
bool Accepts(uint32_t state, uint32_t accepted, uint32_t code) {
  if (code == SERVICE_CONTROL_INTERROGATE) return true;
  if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) return false;
  switch (code) {
    case SERVICE_CONTROL_STOP: return accepted & SERVICE_ACCEPT_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE: return accepted & SERVICE_ACCEPT_PAUSE_CONTINUE;
    case SERVICE_CONTROL_SHUTDOWN: return accepted & SERVICE_ACCEPT_SHUTDOWN;
    default: return true;
  }
}

// Delivers `code` to the handler when the last status accepts it.
void Deliver(uint32_t code) {
  DispatcherState& st = State();
  HandlerFunction handler = nullptr;
  {
    std::lock_guard<std::mutex> lock(st.mutex);
    if (st.state == SERVICE_STOPPED) return;
    bool stopping = code == SERVICE_CONTROL_STOP || code == SERVICE_CONTROL_SHUTDOWN;
    if (!st.handler || !Accepts(st.state, st.accepted, code)) {
      if (stopping && (!st.handler || st.state == SERVICE_START_PENDING)) st.deferred = code;
      return;
    }
    handler = st.handler;
  }
  handler(code);
}

void DeliverDeferred() {
  DispatcherState& st = State();
  uint32_t code;
  {
    std::lock_guard<std::mutex> lock(st.mutex);
    code = st.deferred;
    if (!code || !st.handler || !Accepts(st.state, st.accepted, code)) return;
    st.deferred = 0;
  }
  Deliver(code);
}

}  // namespace

void BlockControlSignals() {
  sigset_t set = ControlSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void UnblockControlSignals() {
  sigset_t set = ControlSignals();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

uint32_t ControlCodeForSignal(int s) {
  switch (s) {
    case SIGTERM: return SERVICE_CONTROL_STOP;
    case SIGUSR1: return SERVICE_CONTROL_PAUSE;
    case SIGUSR2: return SERVICE_CONTROL_CONTINUE;
    case SIGHUP: return SERVICE_CONTROL_INTERROGATE;
    case SIGPWR: return SERVICE_CONTROL_SHUTDOWN;
    default: break;
  }
  if (s >= SIGRTMIN && s <= SIGRTMAX && s - SIGRTMIN < 128)
    return 128 + static_cast<uint32_t>(s - SIGRTMIN);
  return 0;
}

std::string NotifyMessage(const ServiceStatus& status, std::string_view state_name,
                          bool first_running) {
  std::string accepts;
  if (status.controls_accepted & SERVICE_ACCEPT_STOP) accepts += "stop,";
  if (status.controls_accepted & SERVICE_ACCEPT_PAUSE_CONTINUE) accepts += "pause-continue,";
  if (status.controls_accepted & SERVICE_ACCEPT_SHUTDOWN) accepts += "shutdown,";
  if (accepts.empty()) accepts = "none,";
  accepts.pop_back();

  std::string text = "STATUS=" + std::string(state_name) +
                     " checkpoint=" + std::to_string(status.check_point) +
                     " accepts=" + accepts + " wait-hint=" + std::to_string(status.wait_hint) +
                     "ms";
  if (status.win32_exit_code != 0)
    text += " exit-code=" + std::to_string(status.win32_exit_code) + "/" +
            std::to_string(status.service_specific_exit_code);
  switch (status.current_state) {
    case SERVICE_START_PENDING:
    case SERVICE_STOP_PENDING:
    case SERVICE_CONTINUE_PENDING:
    case SERVICE_PAUSE_PENDING:
      text += "\nEXTEND_TIMEOUT_USEC=" + std::to_string(uint64_t{status.wait_hint} * 1000);
      break;
    default: break;
  }
  if (status.current_state == SERVICE_RUNNING && first_running) text += "\nREADY=1";
  if (status.current_state == SERVICE_STOP_PENDING) text += "\nSTOPPING=1";
  return text;
}

ServiceStatusHandle RegisterServiceCtrlHandler(StringView service_name, HandlerFunction handler) {
  DispatcherState& st = State();
  int wake_fd;
  {
    std::lock_guard<std::mutex> lock(st.mutex);
    if (!st.active || !SameText(service_name, st.service_name)) {
      errno = ESRCH;
      return 0;
    }
    st.handler = handler;
    wake_fd = st.wake_fd;
  }
  Wake(wake_fd);
  return kStatusHandle;
}

bool SetServiceStatus(ServiceStatusHandle handle, const ServiceStatus& status,
                      std::string_view state_name) {
  DispatcherState& st = State();
  std::string text;
  int wake_fd;
  int error = 0;
  {
    std::lock_guard<std::mutex> lock(st.mutex);
    wake_fd = st.wake_fd;
    if (handle != kStatusHandle || !st.active) {
      errno = EBADF;
      return false;
    }
    bool first = status.current_state == SERVICE_RUNNING && !st.ready_sent;
    text = NotifyMessage(status, state_name, first);
    int r = sd_notify(0, text.c_str());
    if (r <= 0) error = r < 0 ? -r : ENOTCONN;
    if (first && !error) st.ready_sent = true;
    // The service is in the state it reported, heard or not: a report that
    // failed must not leave it deaf to stop, pause and continue.
    st.state = status.current_state;
    st.accepted = status.controls_accepted;
  }
  Wake(wake_fd);
  errno = error;
  return error == 0;
}

int StartServiceCtrlDispatcher(const std::vector<ServiceTableEntry>& table) {
  const char* socket = std::getenv("NOTIFY_SOCKET");
  if (!socket || !*socket) return ENOTCONN;
  if (table.empty() || !table.front().proc) return EINVAL;

  BlockControlSignals();
  sigset_t set = ControlSignals();
  int sfd = signalfd(-1, &set, SFD_CLOEXEC);
  if (sfd < 0) return errno;
  int efd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (efd < 0) {
    int e = errno;
    close(sfd);
    return e;
  }

  DispatcherState& st = State();
  {
    std::lock_guard<std::mutex> lock(st.mutex);
    st.active = true;
    st.service_name = table.front().name;
    st.handler = nullptr;
    // Starting until the service says otherwise: a stop that comes before its
    // first report is kept, not lost.
    st.state = SERVICE_START_PENDING;
    st.accepted = 0;
    st.ready_sent = false;
    st.deferred = 0;
    st.entry_done = false;
    st.wake_fd = efd;
  }

  const ServiceTableEntry entry = table.front();
  std::thread service_entry([entry, efd] {
    entry.proc({entry.name});
    {
      std::lock_guard<std::mutex> lock(State().mutex);
      State().entry_done = true;
    }
    Wake(efd);
  });

  for (;;) {
    pollfd fds[2] = {{sfd, POLLIN, 0}, {efd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;  // cannot wait any more; the entry is joined below
    }
    if (fds[1].revents & POLLIN) {
      uint64_t count;
      while (read(efd, &count, sizeof count) > 0) {
      }
      {
        std::lock_guard<std::mutex> lock(st.mutex);
        if (st.entry_done) break;
      }
      DeliverDeferred();
    }
    if (fds[0].revents & POLLIN) {
      signalfd_siginfo info;
      if (read(sfd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        uint32_t code = ControlCodeForSignal(static_cast<int>(info.ssi_signo));
        if (code) Deliver(code);
      }
    }
  }

  service_entry.join();
  {
    std::lock_guard<std::mutex> lock(st.mutex);
    st.active = false;
    st.handler = nullptr;
    st.wake_fd = -1;
  }
  close(efd);
  close(sfd);
  return 0;
}

}  // namespace kavo
