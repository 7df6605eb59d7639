// Applying one stored setting of a component while the module is created.
#ifndef KAVO_SERVICE_STORED_SETTING_H_
#define KAVO_SERVICE_STORED_SETTING_H_

#include "rtl/component.h"
#include "rtl/exceptions.h"
#include "rtl/format.h"

namespace kavo {

// Runs `apply`; an Exception it raises ends the module's creation as an
// EReadError "Error reading <component>.<property>: <message>".
template <typename Apply>
void ApplyStoredSetting(const TComponent& component, const Char* property, Apply&& apply) {
  try {
    apply();
  } catch (const Exception& e) {
    throw EReadError(Format(u"Error reading %s%s%s: %s",
                            {component.Name(), String(u"."), String(property), e.Message()}));
  }
}

}  // namespace kavo

#endif  // KAVO_SERVICE_STORED_SETTING_H_
