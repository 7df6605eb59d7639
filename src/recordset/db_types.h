// The enumerations and small types of the record-set and field model.
#ifndef KAVO_RECORDSET_DB_TYPES_H_
#define KAVO_RECORDSET_DB_TYPES_H_

#include <cstdint>

#include "rtl/ustring.h"

namespace kavo {

// Record buffers belong to each record set; the model only passes them on.
using TRecordBuffer = uint8_t*;

enum TDataSetState {
  dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter,
  dsNewValue, dsOldValue, dsCurValue, dsBlockRead, dsInternalCalc, dsOpening
};

enum TFieldType {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat,
  ftCurrency, ftBCD, ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes,
  ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle,
  ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT,
  ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant,
  ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd, ftFixedWideChar,
  ftWideMemo
};

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

enum TProviderFlag : unsigned {
  pfInUpdate = 1u << 0,
  pfInWhere = 1u << 1,
  pfInKey = 1u << 2,
  pfHidden = 1u << 3,
};

enum TDataEvent {
  deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll,
  deLayoutChange, deUpdateRecord, deUpdateState, deCheckBrowseMode,
  dePropertyChange, deFieldListChange, deFocusControl, deParentScroll,
  deConnectChange
};

// What GetRecord is asked for, and what it answers.
enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };

// What a record buffer stands for. bfBOF/bfEOF mark a new record in an empty
// record set; bfInserted a record that is being inserted.
enum TBookmarkFlag { bfCurrent, bfBOF, bfEOF, bfInserted };

enum TUpdateStatus { usUnmodified, usModified, usInserted, usDeleted };

// What an error event decides: raise the error, raise it silently (EAbort),
// or run the failed step again.
enum TDataAction { daFail, daAbort, daRetry };

// What a blob stream is opened for; bmWrite starts from an empty value.
enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

// The type names that error texts show ("String", "Float", "DateTime").
String FieldTypeName(TFieldType type);

// Types whose values convert into each other, so a field of one may be bound
// to a column of another: text, integers, floating/decimal, dates and times,
// booleans, binary, large objects. Other types are their own family.
bool SameFieldTypeFamily(TFieldType a, TFieldType b);

bool IsTextFieldType(TFieldType type);  // ftString and its fixed and wide forms

}  // namespace kavo

#endif  // KAVO_RECORDSET_DB_TYPES_H_
