#include "ib/ib_trace_hook.h"

#include <atomic>
#include <mutex>

#include "ib/ib_sql_monitor_hook.h"

namespace kavo {

namespace {

std::mutex g_cs;
std::atomic<IIBSQLMonitorHook*> g_override{nullptr};
std::atomic<TIBSQLMonitorHook*> g_hook{nullptr};
// Kept reachable once created: another thread may still hold it while the
// process ends.
TIBSQLMonitorHook* g_created = nullptr;
bool g_shutting_down = false;

// The hook's threads end before the process does.
struct ShutdownAtExit {
  ~ShutdownAtExit() {
    TIBSQLMonitorHook* hook;
    {
      std::lock_guard lock(g_cs);
      g_shutting_down = true;
      hook = g_hook.exchange(nullptr);
    }
    if (hook != nullptr) hook->Shutdown();
  }
} g_shutdown_at_exit;

}  // namespace

IIBSQLMonitorHook* MonitorHook() {
  if (IIBSQLMonitorHook* hook = g_override.load()) return hook;
  if (TIBSQLMonitorHook* hook = g_hook.load(std::memory_order_acquire)) return hook;
  std::lock_guard lock(g_cs);
  if (g_shutting_down) return nullptr;
  if (g_created == nullptr) {
    g_created = new TIBSQLMonitorHook();
    g_hook.store(g_created, std::memory_order_release);
  }
  return g_created;
}

void SetMonitorHook(IIBSQLMonitorHook* hook) { g_override.store(hook); }

void ReportError(const String& text) {
  ReportToHook([&](IIBSQLMonitorHook& h) { h.SendError(text); });
}

void ReportError(const String& text, TIBDatabase& db) {
  ReportToHook([&](IIBSQLMonitorHook& h) { h.SendError(text, db); });
}

}  // namespace kavo
