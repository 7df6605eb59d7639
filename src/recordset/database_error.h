// The record-set error texts and the one way they are raised.
#ifndef KAVO_RECORDSET_DATABASE_ERROR_H_
#define KAVO_RECORDSET_DATABASE_ERROR_H_

#include "rtl/component.h"
#include "rtl/exceptions.h"
#include "rtl/ustring.h"

namespace kavo {

// Raises EDatabaseError with `message`, prefixed by the component's name, a
// colon and a blank when there is a component with a name.
[[noreturn]] void DatabaseError(const String& message, const TComponent* component = nullptr);

// Texts (some with %s placeholders for Format).
inline constexpr const Char* SDataSetClosed = u"Cannot perform this operation on a closed dataset";
inline constexpr const Char* SDataSetOpen = u"Cannot perform this operation on an open dataset";
inline constexpr const Char* SNotEditing = u"Dataset not in edit or insert mode";
inline constexpr const Char* SDataSetReadOnly = u"Cannot modify a read-only dataset";
inline constexpr const Char* SFieldNotFound = u"Field '%s' not found";
inline constexpr const Char* SFieldTypeMismatch =
    u"Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const Char* SDataSetMissing = u"Field '%s' has no dataset";
inline constexpr const Char* SFieldAccessError = u"Cannot access field '%s' as type %s";
inline constexpr const Char* SRecordNotFound = u"Record not found";
inline constexpr const Char* SDataSetEmpty = u"Cannot perform this operation on an empty dataset";

}  // namespace kavo

#endif  // KAVO_RECORDSET_DATABASE_ERROR_H_
