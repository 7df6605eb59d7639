// The trace flags by the lower-case names operators type: "prepare",
// "execute", "fetch", "error", "stmt", "connect", "transact", "blob",
// "service", "misc" (a record's kind is its flag's ordinal).
#ifndef KAVO_IB_IB_TRACE_KINDS_H_
#define KAVO_IB_IB_TRACE_KINDS_H_

#include <string>

#include "ib/ib_trace_hook.h"

namespace kavo {

// The name of a record kind; "unknown" outside the flags.
const char* TraceKindName(int data_type);

// A comma-separated list of names ("all" for every flag) as a set of flags.
// On a mistake, false and `error` says what is wrong; `flags` is then left
// as it was.
bool ParseTraceKinds(const std::string& list, TTraceFlags& flags, std::string& error);

}  // namespace kavo

#endif  // KAVO_IB_IB_TRACE_KINDS_H_
