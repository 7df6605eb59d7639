// Who this process is, for records another process reads: the host name and
// the process number.
#ifndef KAVO_PLATFORM_PROCESS_IDENTITY_H_
#define KAVO_PLATFORM_PROCESS_IDENTITY_H_

#include "rtl/ustring.h"

namespace kavo {

// "host:pid"; the host name as OS text, "?" when the system gives none.
String ProcessIdentity();

}  // namespace kavo

#endif  // KAVO_PLATFORM_PROCESS_IDENTITY_H_
