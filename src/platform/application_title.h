// The title the program goes by where it names itself to others (the SQL
// trace records' "[Application: ...]" line): the executable's file name
// unless the program sets another.
#ifndef KAVO_PLATFORM_APPLICATION_TITLE_H_
#define KAVO_PLATFORM_APPLICATION_TITLE_H_

#include "rtl/ustring.h"

namespace kavo {

String ApplicationTitle();
// An empty title goes back to the executable's name.
void SetApplicationTitle(const String& title);

}  // namespace kavo

#endif  // KAVO_PLATFORM_APPLICATION_TITLE_H_
