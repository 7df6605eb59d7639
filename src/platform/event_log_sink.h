// The sink that takes events in place of the system's log, if any (a test
// sink, or KAVO_EVENT_LOG_FILE's file). Only the platform layer includes it.
#ifndef KAVO_PLATFORM_EVENT_LOG_SINK_H_
#define KAVO_PLATFORM_EVENT_LOG_SINK_H_

#include "platform/event_log.h"

namespace kavo {

EventSink* ActiveEventSink();

}  // namespace kavo

#endif  // KAVO_PLATFORM_EVENT_LOG_SINK_H_
