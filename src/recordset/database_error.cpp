#include "recordset/database_error.h"

namespace kavo {

void DatabaseError(const String& message, const TComponent* component) {
  if (component && !component->Name().empty())
    throw EDatabaseError(component->Name() + u": " + message);
  throw EDatabaseError(message);
}

}  // namespace kavo
