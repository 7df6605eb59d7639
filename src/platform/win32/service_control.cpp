#include "platform/service_control.h"

#include <windows.h>

#include <mutex>

// <winsvc.h> makes these names macros for its A/W pairs; here they are ours.
#undef RegisterServiceCtrlHandler
#undef StartServiceCtrlDispatcher

namespace kavo {
namespace {

// The service control manager calls plain functions without context: the
// one service this process runs is kept here.
struct Dispatch {
  std::mutex mutex;
  ServiceMainFunction proc = nullptr;
  HandlerFunction handler = nullptr;
};

Dispatch& State() {
  static Dispatch* d = new Dispatch;
  return *d;
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
  std::vector<String> arguments;
  for (DWORD i = 0; i < argc; ++i) arguments.emplace_back(reinterpret_cast<const Char*>(argv[i]));
  ServiceMainFunction proc;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    proc = State().proc;
  }
  if (proc) proc(arguments);
}

// Runs on the dispatcher's thread, as every control request does.
void WINAPI Handler(DWORD control) {
  HandlerFunction handler;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    handler = State().handler;
  }
  if (handler) handler(control);
}

}  // namespace

// Control requests come from the service control manager, not as signals.
void BlockControlSignals() {}
void UnblockControlSignals() {}
uint32_t ControlCodeForSignal(int) { return 0; }

ServiceStatusHandle RegisterServiceCtrlHandler(StringView service_name, HandlerFunction handler) {
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().handler = handler;
  }
  const String name(service_name);
  SERVICE_STATUS_HANDLE h =
      RegisterServiceCtrlHandlerW(reinterpret_cast<LPCWSTR>(name.c_str()), Handler);
  return reinterpret_cast<ServiceStatusHandle>(h);
}

bool SetServiceStatus(ServiceStatusHandle handle, const ServiceStatus& status, std::string_view) {
  SERVICE_STATUS s{};
  s.dwServiceType = status.service_type;
  s.dwCurrentState = status.current_state;
  s.dwControlsAccepted = status.controls_accepted;
  s.dwWin32ExitCode = status.win32_exit_code;
  s.dwServiceSpecificExitCode = status.service_specific_exit_code;
  s.dwCheckPoint = status.check_point;
  s.dwWaitHint = status.wait_hint;
  return ::SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(handle), &s) != FALSE;
}

int StartServiceCtrlDispatcher(const std::vector<ServiceTableEntry>& table) {
  if (table.empty() || !table.front().proc) return ERROR_INVALID_PARAMETER;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().proc = table.front().proc;
  }
  String name = table.front().name;
  SERVICE_TABLE_ENTRYW entries[2] = {
      {reinterpret_cast<LPWSTR>(name.data()), ServiceMain}, {nullptr, nullptr}};
  // Returns when the service has stopped; fails at once in a process the
  // service control manager did not start.
  if (!::StartServiceCtrlDispatcherW(entries)) return static_cast<int>(GetLastError());
  return 0;
}

}  // namespace kavo
