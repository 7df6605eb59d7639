#include "ib/ib_trace_hook.h"

#include <atomic>

namespace kavo {

namespace {
std::atomic<IIBSQLMonitorHook*> g_hook{nullptr};
}  // namespace

IIBSQLMonitorHook* MonitorHook() { return g_hook.load(); }
void SetMonitorHook(IIBSQLMonitorHook* hook) { g_hook.store(hook); }

void ReportError(const String& text) {
  ReportToHook([&](IIBSQLMonitorHook& h) { h.SendError(text); });
}

void ReportError(const String& text, TIBDatabase& db) {
  ReportToHook([&](IIBSQLMonitorHook& h) { h.SendError(text, db); });
}

}  // namespace kavo
