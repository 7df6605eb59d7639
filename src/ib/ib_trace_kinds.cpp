#include "ib/ib_trace_kinds.h"

namespace kavo {

namespace {

constexpr const char* kKindNames[kTraceFlagCount] = {
    "prepare", "execute", "fetch", "error", "stmt",
    "connect", "transact", "blob", "service", "misc"};

}  // namespace

const char* TraceKindName(int data_type) {
  return data_type >= 0 && data_type < kTraceFlagCount ? kKindNames[data_type] : "unknown";
}

bool ParseTraceKinds(const std::string& list, TTraceFlags& flags, std::string& error) {
  if (list == "all") {
    flags = kAllTraceFlags;
    return true;
  }
  TTraceFlags parsed = 0;
  size_t pos = 0;
  while (pos <= list.size()) {
    size_t comma = list.find(',', pos);
    if (comma == std::string::npos) comma = list.size();
    std::string name = list.substr(pos, comma - pos);
    int found = -1;
    for (int i = 0; i < kTraceFlagCount; ++i)
      if (name == kKindNames[i]) found = i;
    if (found < 0) {
      error = "unknown kind \"" + name + "\"";
      return false;
    }
    parsed |= TraceFlag(static_cast<TTraceFlag>(found));
    pos = comma + 1;
  }
  flags = parsed;
  return true;
}

}  // namespace kavo
