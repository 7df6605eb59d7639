// Where the layer reports what it does, for an SQL monitor.
//
// Connections, transactions and statements report every event here; the
// process-wide hook decides what to publish. Until a hook is installed the
// reports go nowhere. A report never changes the outcome of the operation
// that made it: failures inside the hook are swallowed by the Report*
// helpers below.
#ifndef KAVO_IB_IB_TRACE_HOOK_H_
#define KAVO_IB_IB_TRACE_HOOK_H_

#include "rtl/ustring.h"

namespace kavo {

class TIBDatabase;
class TIBTransaction;
class TIBSQL;

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

// A set of trace flags, one bit per flag.
using TTraceFlags = unsigned;
constexpr TTraceFlags TraceFlag(TTraceFlag f) { return 1u << f; }

class IIBSQLMonitorHook {
 public:
  virtual ~IIBSQLMonitorHook() = default;
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
  virtual void SendMisc(const String& text) = 0;
  // An error of a connection (lost connection, login dialog).
  virtual void SendError(const String& text, TIBDatabase& db) = 0;
  // Every client and server error.
  virtual void SendError(const String& text) = 0;
};

// The installed hook, or null. The trace channel installs itself here.
IIBSQLMonitorHook* MonitorHook();
void SetMonitorHook(IIBSQLMonitorHook* hook);

// Report helpers: do nothing without a hook, never raise.
void ReportError(const String& text);
void ReportError(const String& text, TIBDatabase& db);
template <typename F>
void ReportToHook(F&& report) {
  if (IIBSQLMonitorHook* hook = MonitorHook()) {
    try {
      report(*hook);
    } catch (...) {
    }
  }
}

}  // namespace kavo

#endif  // KAVO_IB_IB_TRACE_HOOK_H_
