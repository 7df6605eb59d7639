#include "platform/process_identity.h"

#include <unistd.h>

#include <climits>

#include "rtl/os_text.h"
#include "rtl/ustring.h"

namespace kavo {

String ProcessIdentity() {
  char host[HOST_NAME_MAX + 1] = {};
  String name = gethostname(host, sizeof host - 1) == 0 && host[0] != 0 ? OsTextToString(host) : u"?";
  return name + u":" + IntToStr(static_cast<int64_t>(getpid()));
}

}  // namespace kavo
