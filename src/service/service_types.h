// The values that describe a service to the service manager.
#ifndef KAVO_SERVICE_SERVICE_TYPES_H_
#define KAVO_SERVICE_SERVICE_TYPES_H_

#include <cstdint>
#include <exception>
#include <functional>

#include "platform/message_queue.h"
#include "rtl/ustring.h"

namespace kavo {

class TService;

// In this order; the state number reported is the position plus one.
enum TCurrentStatus {
  csStopped,
  csStartPending,
  csStopPending,
  csRunning,
  csContinuePending,
  csPausePending,
  csPaused,
};

enum TServiceType { stWin32, stDevice, stFileSystem };
enum TStartType { stBoot, stSystem, stAuto, stManual, stDisabled };
enum TErrorSeverity { esIgnore, esNormal, esSevere, esCritical };

// The thread message that carries a control code (wParam) to the service
// thread.
constexpr uint32_t CM_SERVICE_CONTROL_CODE = WM_USER + 1;

// "csRunning" and so on.
const char* StatusName(TCurrentStatus status);
uint32_t StateNumber(TCurrentStatus status);
bool IsPendingStatus(TCurrentStatus status);

// "stop", "pause", "continue", "interrogate", "shutdown" for codes 1 to 5,
// else empty.
String ControlName(uint32_t code);

// The message of an exception: Message() of ours, else what() as UTF-8.
String ExceptionMessage(const std::exception& e);

// Handlers with an in-out flag (OnStart, OnStop, OnPause, OnContinue) and
// without (OnExecute, OnShutdown, the installation events).
using TContinueEvent = std::function<void(TService* sender, bool& flag)>;
using TServiceEvent = std::function<void(TService* sender)>;

}  // namespace kavo

#endif  // KAVO_SERVICE_SERVICE_TYPES_H_
