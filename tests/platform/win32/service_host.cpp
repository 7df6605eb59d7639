// A service over the platform layer's service-control calls, for the
// lifecycle test: it writes each control it gets to the file named by its
// first start argument and reports the status each one calls for.
// The platform's constants first: <windows.h> defines the same names as macros.
#include "platform/service_control.h"

#include <windows.h>
#undef RegisterServiceCtrlHandler
#undef StartServiceCtrlDispatcher

#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>

namespace {

using namespace kavo;

const String kName = u"KavoTestService";
std::mutex g_mutex;
std::condition_variable g_stop;
bool g_stopping = false;
ServiceStatusHandle g_handle = 0;
uint32_t g_state = SERVICE_START_PENDING;
std::string g_log;

void Log(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::ofstream(g_log, std::ios::app) << line << "\n";
}

void Report(uint32_t state, uint32_t check_point = 0) {
  ServiceStatus s;
  s.service_type = SERVICE_WIN32_OWN_PROCESS;
  s.current_state = g_state = state;
  s.controls_accepted = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
                                state == SERVICE_STOPPED
                            ? 0
                            : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
  s.check_point = check_point;
  s.wait_hint = check_point ? 3000 : 0;
  if (!SetServiceStatus(g_handle, s, "")) Log("status failed " + std::to_string(GetLastError()));
}

void OnControl(uint32_t code) {
  Log("control " + std::to_string(code));
  switch (code) {
    case SERVICE_CONTROL_PAUSE: Report(SERVICE_PAUSED); break;
    case SERVICE_CONTROL_CONTINUE: Report(SERVICE_RUNNING); break;
    case SERVICE_CONTROL_STOP: {
      std::lock_guard<std::mutex> lock(g_mutex);
      g_stopping = true;
      g_stop.notify_all();
      break;
    }
    default: Report(g_state); break;
  }
}

void Main(const std::vector<String>& arguments) {
  if (arguments.size() > 1) g_log = StringToUtf8(arguments[1]);
  g_handle = RegisterServiceCtrlHandler(kName, OnControl);
  if (g_handle == 0) return;
  Log("started " + StringToUtf8(arguments.empty() ? String() : arguments[0]));
  Report(SERVICE_START_PENDING, 1);
  Report(SERVICE_RUNNING);
  {
    std::unique_lock<std::mutex> lock(g_mutex);
    g_stop.wait(lock, [] { return g_stopping; });
  }
  Report(SERVICE_STOP_PENDING, 1);
  Log("stopped");
  Report(SERVICE_STOPPED);
}

}  // namespace

int main() {
  int rc = StartServiceCtrlDispatcher({ServiceTableEntry{kName, Main}});
  if (rc != 0) std::fprintf(stderr, "dispatcher: %d\n", rc);
  return rc == 0 ? 0 : 2;
}
