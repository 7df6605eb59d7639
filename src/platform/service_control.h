// The service manager's side of a service process, over systemd (Type=notify).
// On Windows these are the service control manager's own calls, and the
// signal functions do nothing; the rest of this comment is the systemd side.
//
// StartServiceCtrlDispatcher "connects" through $NOTIFY_SOCKET; without it the
// process was not started by the service manager and the call fails at once
// with ENOTCONN. Otherwise it runs the first service of the table on a thread
// of its own (the service-entry thread) and turns control signals into
// control codes for the handler that service registered, on the calling
// thread, until the service-entry thread has returned:
//
//   SIGTERM stop (1)   SIGUSR1 pause (2)    SIGUSR2 continue (3)
//   SIGHUP interrogate (4)   SIGPWR shutdown (5)   SIGRTMIN+n custom (128+n)
//
// A code that the last reported status does not accept is dropped, as the
// service manager this stands in for refuses it (a report that could not be
// sent counts all the same); so is every code but interrogate while the
// service is starting or stopping. A stop or shutdown refused while starting
// is kept, though, and delivered once the service accepts it (systemd would
// otherwise wait for its stop timeout). Each status report becomes one notify
// message: "STATUS=<state> checkpoint=<n> ..." plus READY=1 with the first
// running report, STOPPING=1 with stop pending and EXTEND_TIMEOUT_USEC from
// the wait hint while a pending state is reported.
#ifndef KAVO_PLATFORM_SERVICE_CONTROL_H_
#define KAVO_PLATFORM_SERVICE_CONTROL_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/ustring.h"

namespace kavo {

constexpr uint32_t SERVICE_STOPPED = 1;
constexpr uint32_t SERVICE_START_PENDING = 2;
constexpr uint32_t SERVICE_STOP_PENDING = 3;
constexpr uint32_t SERVICE_RUNNING = 4;
constexpr uint32_t SERVICE_CONTINUE_PENDING = 5;
constexpr uint32_t SERVICE_PAUSE_PENDING = 6;
constexpr uint32_t SERVICE_PAUSED = 7;

constexpr uint32_t SERVICE_ACCEPT_STOP = 1;
constexpr uint32_t SERVICE_ACCEPT_PAUSE_CONTINUE = 2;
constexpr uint32_t SERVICE_ACCEPT_SHUTDOWN = 4;

constexpr uint32_t SERVICE_CONTROL_STOP = 1;
constexpr uint32_t SERVICE_CONTROL_PAUSE = 2;
constexpr uint32_t SERVICE_CONTROL_CONTINUE = 3;
constexpr uint32_t SERVICE_CONTROL_INTERROGATE = 4;
constexpr uint32_t SERVICE_CONTROL_SHUTDOWN = 5;

using ServiceMainFunction = void (*)(const std::vector<String>& arguments);
using HandlerFunction = void (*)(uint32_t control);
using ServiceStatusHandle = uintptr_t;

struct ServiceTableEntry {
  String name;
  ServiceMainFunction proc = nullptr;
};

struct ServiceStatus {
  uint32_t service_type = 0;
  uint32_t current_state = 0;
  uint32_t controls_accepted = 0;
  uint32_t win32_exit_code = 0;
  uint32_t service_specific_exit_code = 0;
  uint32_t check_point = 0;
  uint32_t wait_hint = 0;
};

// Blocks the control signals in the calling thread, so that threads created
// from it inherit the mask. Call on the main thread before any other thread
// starts; otherwise a control signal may kill the process.
void BlockControlSignals();
// Lets them through again (their default actions apply).
void UnblockControlSignals();

// The control code of a signal, or 0 when the signal carries none.
uint32_t ControlCodeForSignal(int signal_number);

// Returns 0 once the service has run and its entry has returned, else an
// errno value (ENOTCONN without $NOTIFY_SOCKET).
int StartServiceCtrlDispatcher(const std::vector<ServiceTableEntry>& table);

// From the service entry: registers the control handler of `service_name`.
// Returns 0 and sets errno (ESRCH) when no dispatcher runs that service.
ServiceStatusHandle RegisterServiceCtrlHandler(StringView service_name, HandlerFunction handler);

// Sends one status report. `state_name` names the state in the STATUS text.
// Returns false and sets errno when the notify message cannot be sent; the
// reported state decides the controls taken all the same.
bool SetServiceStatus(ServiceStatusHandle handle, const ServiceStatus& status,
                      std::string_view state_name);

// The notify message for a report (`first_running`: READY=1 goes with it).
std::string NotifyMessage(const ServiceStatus& status, std::string_view state_name,
                          bool first_running);

}  // namespace kavo

#endif  // KAVO_PLATFORM_SERVICE_CONTROL_H_
