// KAVO_TRACE_FLAGS: the Firebird connection's TraceFlags for this run, so an
// operator can watch the service's statements with kavo-sqlmonitor without a
// new build. A comma-separated list of kinds ("prepare,execute,connect") or
// "all"; unset or empty keeps the stored flags (none: only errors are
// published, and those need no flag of the connection).
#ifndef KAVO_SERVICE_TRACE_FLAGS_SETTING_H_
#define KAVO_SERVICE_TRACE_FLAGS_SETTING_H_

#include "ib/ib_database.h"

namespace kavo {

// Applies the variable to `database`. A name that is not a kind raises
// EConvertError, which ends the program like any unhandled error: a watch
// the operator asked for is not silently left out.
void ApplyTraceFlagsFromEnvironment(TIBDatabase& database);

}  // namespace kavo

#endif  // KAVO_SERVICE_TRACE_FLAGS_SETTING_H_
