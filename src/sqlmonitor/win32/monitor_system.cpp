#include "monitor_system.h"

#include <windows.h>

#include <mutex>

namespace kavo {

std::string ChannelOwnership(const std::string&) { return ""; }

namespace {

std::mutex g_lock;
std::function<void()> g_on_stop;

BOOL WINAPI OnConsoleControl(DWORD) {
  std::function<void()> on_stop;
  {
    std::lock_guard lock(g_lock);
    on_stop = std::move(g_on_stop);
    g_on_stop = nullptr;
  }
  if (on_stop) on_stop();
  return TRUE;
}

}  // namespace

struct StopRequests::State {};

StopRequests::StopRequests(std::function<void()> on_stop) {
  {
    std::lock_guard lock(g_lock);
    g_on_stop = std::move(on_stop);
  }
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopRequests::~StopRequests() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  std::lock_guard lock(g_lock);
  g_on_stop = nullptr;
}

}  // namespace kavo
