#include "service/service_types.h"

#include "rtl/exceptions.h"

namespace kavo {

const char* StatusName(TCurrentStatus status) {
  static const char* const kNames[] = {"csStopped", "csStartPending", "csStopPending",
                                       "csRunning", "csContinuePending", "csPausePending",
                                       "csPaused"};
  return kNames[status];
}

uint32_t StateNumber(TCurrentStatus status) { return static_cast<uint32_t>(status) + 1; }

bool IsPendingStatus(TCurrentStatus status) {
  return status == csStartPending || status == csStopPending || status == csContinuePending ||
         status == csPausePending;
}

String ControlName(uint32_t code) {
  switch (code) {
    case 1: return u"stop";
    case 2: return u"pause";
    case 3: return u"continue";
    case 4: return u"interrogate";
    case 5: return u"shutdown";
    default: return String();
  }
}

String ExceptionMessage(const std::exception& e) {
  if (auto* ours = dynamic_cast<const Exception*>(&e)) return ours->Message();
  return Utf8ToString(e.what());
}

}  // namespace kavo
