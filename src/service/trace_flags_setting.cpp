#include "service/trace_flags_setting.h"

#include <cstdlib>

#include "ib/ib_trace_kinds.h"
#include "rtl/code_page.h"
#include "rtl/exceptions.h"

namespace kavo {

void ApplyTraceFlagsFromEnvironment(TIBDatabase& database) {
  const char* value = std::getenv("KAVO_TRACE_FLAGS");
  if (value == nullptr || *value == '\0') return;
  TTraceFlags flags = 0;
  std::string error;
  if (!ParseTraceKinds(value, flags, error))
    throw EConvertError(u"KAVO_TRACE_FLAGS: " + Utf8ToString(error) +
                        u" (kinds: prepare, execute, fetch, error, stmt, connect, transact, "
                        u"blob, service, misc, or all)");
  database.SetTraceFlags(flags);
}

}  // namespace kavo
