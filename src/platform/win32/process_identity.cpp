#include "platform/process_identity.h"

#include <windows.h>

#include "rtl/ustring.h"

namespace kavo {

String ProcessIdentity() {
  wchar_t host[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  String name = GetComputerNameW(host, &size) && size > 0 ? String(host, host + size) : u"?";
  return name + u":" + IntToStr(static_cast<int64_t>(GetCurrentProcessId()));
}

}  // namespace kavo
