// Where the layer reports what it does, for an SQL monitor.
//
// Connections, transactions and statements report every event to the
// process-wide hook, which decides what to publish on the trace channel (see
// ib_sql_monitor_hook.h). MonitorHook() creates that hook on first use; tests
// may put another in its place. A report never changes the outcome of the
// operation that made it: failures inside the hook are swallowed by the
// Report* helpers below.
#ifndef KAVO_IB_IB_TRACE_HOOK_H_
#define KAVO_IB_IB_TRACE_HOOK_H_

#include "rtl/component.h"
#include "rtl/ustring.h"

namespace kavo {

class TIBCustomSQLMonitor;
class TIBDatabase;
class TIBTransaction;
class TIBSQL;

// In order: the ordinal is also a trace record's data type.
enum TTraceFlag {
  tfQPrepare,
  tfQExecute,
  tfQFetch,
  tfError,
  tfStmt,
  tfConnect,
  tfTransact,
  tfBlob,
  tfService,
  tfMisc,
};
constexpr int kTraceFlagCount = tfMisc + 1;

// A set of trace flags, one bit per flag.
using TTraceFlags = unsigned;
constexpr TTraceFlags TraceFlag(TTraceFlag f) { return 1u << f; }
constexpr TTraceFlags kAllTraceFlags = (1u << kTraceFlagCount) - 1;

class IIBSQLMonitorHook {
 public:
  virtual ~IIBSQLMonitorHook() = default;
  // Monitors of this process.
  virtual void RegisterMonitor(TIBCustomSQLMonitor&) {}
  virtual void UnregisterMonitor(TIBCustomSQLMonitor&) {}
  virtual void ReleaseMonitor(TIBCustomSQLMonitor&) {}
  // Events.
  virtual void SQLPrepare(TIBSQL& sql) = 0;
  virtual void SQLExecute(TIBSQL& sql) = 0;
  virtual void SQLFetch(TIBSQL& sql) = 0;
  virtual void DBConnect(TIBDatabase& db) = 0;
  virtual void DBDisconnect(TIBDatabase& db) = 0;
  virtual void TRStart(TIBTransaction& tr) = 0;
  virtual void TRCommit(TIBTransaction& tr) = 0;
  virtual void TRCommitRetaining(TIBTransaction& tr) = 0;
  virtual void TRRollback(TIBTransaction& tr) = 0;
  virtual void TRRollbackRetaining(TIBTransaction& tr) = 0;
  // The peripheral service components' events; nothing here reports them.
  virtual void ServiceAttach(TComponent&) {}
  virtual void ServiceDetach(TComponent&) {}
  virtual void ServiceQuery(TComponent&) {}
  virtual void ServiceStart(TComponent&) {}
  virtual void SendMisc(const String& text) = 0;
  // An error of a connection (lost connection, login dialog).
  virtual void SendError(const String& text, TIBDatabase& db) = 0;
  // Every client and server error.
  virtual void SendError(const String& text) = 0;
  // The hook's own settings.
  virtual TTraceFlags GetTraceFlags() const { return kAllTraceFlags; }
  virtual int GetMonitorCount() const { return 0; }
  virtual void SetTraceFlags(TTraceFlags) {}
  virtual bool GetEnabled() const { return true; }
  virtual void SetEnabled(bool) {}
};

// The hook put in place by SetMonitorHook, else the process-wide trace hook
// (created on the first call); null once the process is shutting down.
IIBSQLMonitorHook* MonitorHook();
// Puts `hook` in place of the process-wide one (tests); null puts it back.
void SetMonitorHook(IIBSQLMonitorHook* hook);

// Report helpers: do nothing without a hook, never raise.
void ReportError(const String& text);
void ReportError(const String& text, TIBDatabase& db);
template <typename F>
void ReportToHook(F&& report) {
  try {
    if (IIBSQLMonitorHook* hook = MonitorHook()) report(*hook);
  } catch (...) {
  }
}

}  // namespace kavo

#endif  // KAVO_IB_IB_TRACE_HOOK_H_
