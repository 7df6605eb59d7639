// The Oracle record set's own error texts. The line break inside a text is
// CR LF, as the layer writes every line break.
#ifndef KAVO_ORACLE_DATASET_MESSAGES_H_
#define KAVO_ORACLE_DATASET_MESSAGES_H_

#include "rtl/ustring.h"

namespace kavo {

inline constexpr const Char* SCachedUpdatesRowId = u"CachedUpdates requires a rowid!";
inline constexpr const Char* SUnexpectedDatatype = u"Unexpected datatype: ";
inline constexpr const Char* SNoRecords = u"No Records";
inline constexpr const Char* SCountCursor = u"Cannot count query hits for cursor dataset";
inline constexpr const Char* SSearchRowId =
    u"You cannot search a rowid if it is not included in the select list";
inline constexpr const Char* SBookmarkNotFound = u"Bookmark not found (";
inline constexpr const Char* SUnidirectional = u" not accessible in Unidirectional mode";

inline constexpr const Char* SRecordDeleted = u"Record has been deleted by another user";
inline constexpr const Char* SRecordChanged = u"Record has been changed by another user";
inline constexpr const Char* SRecordLocked = u"Record is locked by another user";
inline constexpr const Char* SLockNoRowId = u"A lock, refresh or check";
inline constexpr const Char* SDeleteNoRowId = u"A delete";
inline constexpr const Char* SNoRowIdTail =
    u" cannot be performed without a rowid.\r\nProvide a rowid in the query or handle this action "
    u"in the OnApplyRecord event";
inline constexpr const Char* SNoUniqueFields = u"No UniqueFields are present in dataset";
inline constexpr const Char* SNoKeyColumns = u"Primary or Unique key columns must be included";
inline constexpr const Char* SSessionUndefined = u"Session undefined";
inline constexpr const Char* SFieldValue = u"Field '%s': %s";
inline constexpr const Char* SNotFinite = u"%s is not a finite number and cannot be stored";
inline constexpr const Char* SUpdatingTableCursor =
    u"UpdatingTable property required for cursor dataset";
inline constexpr const Char* SDetailCachedUpdates =
    u"Refresh not allowed: detail records have cached updates.\r\n"
    u"You have to apply the updates first";
inline constexpr const Char* SCircularMaster = u"Circular datalinks are not allowed";

// What this build leaves out, refused with these texts.
inline constexpr const Char* SQBEModeNotBuilt = u"QBE mode is not supported by this TOracleDataSet";
inline constexpr const Char* SCompressedNotBuilt =
    u"Compressed long raw values are not supported (no LZH unpacking): field ";

// Why a value is not held exactly: it is longer than its field.
inline String SNotHeldTooLong(const String& field_name, size_t length, const Char* unit,
                              size_t size, bool widened) {
  return u"Field '" + field_name + u"': a value of " + IntToStr(static_cast<int64_t>(length)) +
         unit + u" does not fit the field's " + IntToStr(static_cast<int64_t>(size)) +
         (widened ? u" once its line ends are CR LF" : u"");
}

}  // namespace kavo

#endif  // KAVO_ORACLE_DATASET_MESSAGES_H_
