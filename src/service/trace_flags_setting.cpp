#include "service/trace_flags_setting.h"

#include <cstdlib>
#include <string>

#include "ib/ib_trace_kinds.h"
#include "rtl/code_page.h"
#include "rtl/exceptions.h"

namespace kavo {

void ApplyTraceFlagsFromEnvironment(TIBDatabase& database) {
  const char* value = std::getenv("KAVO_TRACE_FLAGS");
  if (value == nullptr || *value == '\0') return;
  TTraceFlags flags = 0;
  std::string error;
  if (!ParseTraceKinds(value, flags, error)) {
    std::string kinds;
    for (int kind = 0; kind < kTraceFlagCount; ++kind)
      kinds += std::string(TraceKindName(kind)) + ", ";
    throw EConvertError(u"KAVO_TRACE_FLAGS: " + Utf8ToString(error) + u" (kinds: " +
                        Utf8ToString(kinds) + u"or all)");
  }
  database.SetTraceFlags(flags);
}

}  // namespace kavo
