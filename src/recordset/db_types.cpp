#include "recordset/db_types.h"

namespace kavo {

String FieldTypeName(TFieldType type) {
  static const Char* const kNames[] = {
      u"Unknown", u"String", u"SmallInt", u"Integer", u"Word", u"Boolean", u"Float",
      u"Currency", u"BCD", u"Date", u"Time", u"DateTime", u"Bytes", u"VarBytes",
      u"AutoInc", u"Blob", u"Memo", u"Graphic", u"FmtMemo", u"ParadoxOle", u"DBaseOle",
      u"TypedBinary", u"Cursor", u"FixedChar", u"WideString", u"Largeint", u"ADT",
      u"Array", u"Reference", u"DataSet", u"OraBlob", u"OraClob", u"Variant",
      u"Interface", u"IDispatch", u"Guid", u"TimeStamp", u"FMTBcd", u"FixedWideChar",
      u"WideMemo"};
  int i = static_cast<int>(type);
  if (i < 0 || i >= static_cast<int>(sizeof kNames / sizeof kNames[0])) return u"Unknown";
  return kNames[i];
}

namespace {

int Family(TFieldType t) {
  switch (t) {
    case ftString: case ftFixedChar: case ftWideString: case ftFixedWideChar:
      return 1;
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
      return 2;
    case ftFloat: case ftCurrency: case ftBCD: case ftFMTBcd:
      return 3;
    case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
      return 4;
    case ftBoolean:
      return 5;
    case ftBytes: case ftVarBytes:
      return 6;
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftTypedBinary:
    case ftOraBlob: case ftOraClob: case ftWideMemo:
      return 7;
    default:
      return 100 + static_cast<int>(t);
  }
}

}  // namespace

bool SameFieldTypeFamily(TFieldType a, TFieldType b) { return Family(a) == Family(b); }

bool IsTextFieldType(TFieldType t) { return Family(t) == 1; }

}  // namespace kavo
