#include "oracle/field_info.h"

#include <set>

#include "oracle/oracle_types.h"
#include "oracle/query.h"

namespace kavo {

std::vector<TColumnDescription> DescribeColumns(const TOracleQuery& q) {
  std::vector<TColumnDescription> columns;
  for (int i = 0; i < q.FieldCount(); ++i) {
    TColumnDescription c;
    c.Name = q.FieldName(i);
    c.DataType = q.FieldType(i);
    c.DBType = q.FieldDBType(i);
    c.Size = q.FieldSize(i);
    c.Scale = q.FieldScale(i);
    c.Precision = q.FieldPrecision(i);
    c.Optional = q.FieldOptional(i);
    c.CharSetID = q.FieldCharSetId(i);
    c.CharSetForm = q.FieldCharSetForm(i);
    c.IsUTF8 = q.FieldIsUTF8(i);
    c.IsUTF16 = q.FieldIsUTF16(i);
    columns.push_back(std::move(c));
  }
  return columns;
}

int TOracleFieldInfoList::IndexOfField(const TField* field) const {
  for (int i = 1; i < Count(); ++i)
    if (items_[static_cast<size_t>(i)].Field == field) return i;
  return field ? IndexOfName(field->FieldName()) : -1;
}

int TOracleFieldInfoList::IndexOfName(StringView name) const {
  for (int i = 1; i < Count(); ++i)
    if (SameText(items_[static_cast<size_t>(i)].FFullName, name)) return i;
  return -1;
}

int FindRowIdIndex(const std::vector<TColumnDescription>& columns) {
  for (size_t i = 0; i < columns.size(); ++i)
    if (SameText(columns[i].Name, u"ROWID")) return static_cast<int>(i);
  for (size_t i = 0; i < columns.size(); ++i)
    if (columns[i].DBType == otRowId || columns[i].DBType == otRowidDesc) return static_cast<int>(i);
  return -1;
}

std::vector<String> UniqueColumnNames(const std::vector<String>& names) {
  std::set<String> reserved, used;
  for (const String& n : names) reserved.insert(UpperCase(n));
  std::vector<String> result;
  std::vector<std::pair<String, int>> counters;  // per upper-cased name: last suffix
  for (const String& name : names) {
    String key = UpperCase(name);
    if (used.insert(key).second) {
      result.push_back(name);
      continue;
    }
    int* counter = nullptr;
    for (auto& [k, n] : counters)
      if (k == key) counter = &n;
    if (counter == nullptr) {
      counters.emplace_back(key, 0);
      counter = &counters.back().second;
    }
    String candidate;
    do {
      candidate = name + u"_" + IntToStr(++*counter);
    } while (reserved.count(UpperCase(candidate)) != 0 || used.count(UpperCase(candidate)) != 0);
    used.insert(UpperCase(candidate));
    result.push_back(candidate);
  }
  return result;
}

bool IsWideColumn(const TColumnDescription& c, const TSessionPreferences& prefs) {
  if (c.IsUTF16 && prefs.ConvertUTF() != cuUTF16ToUTF8) return true;
  if (c.IsUTF8 && prefs.ConvertUTF() == cuUTF8ToUTF16) return true;
  return (c.DataType == otString || c.DataType == otCLOB) && prefs.ForceWideStringFields();
}

std::optional<TFieldDef> CreateFieldDef(const TOracleFieldInfo& info, const String& name,
                                        int field_no, bool required,
                                        const TSessionPreferences& prefs) {
  TFieldDef def;
  def.Name = name;
  def.FieldNo = field_no;
  def.Required = required;
  switch (info.DataType) {
    case otInteger: {
      int limit = prefs.SmallIntPrecision() == 0 ? 4 : prefs.SmallIntPrecision();
      def.DataType = info.Precision > limit ? ftInteger : ftSmallint;
      break;
    }
    case otFloat:
      def.DataType = ftFloat;
      break;
    case otString: {
      def.DataType = info.IsWide ? ftWideString : ftString;
      int size = info.Size;
      if (info.IsUTF16 && !info.IsWide) size *= 2;
      def.Size = size < 1 ? 1 : size;
      if (!info.IsWide && prefs.MaxStringFieldSize() != 0 && info.Size > prefs.MaxStringFieldSize()) {
        def.DataType = ftMemo;
        def.Size = 0;
      }
      break;
    }
    case otLong:
      def.DataType = info.IsWide ? ftWideMemo : ftMemo;
      break;
    case otDate:
    case otTimestamp:
    case otTimestampTZ:
    case otTimestampLTZ:
      def.DataType = ftDateTime;
      break;
    case otLongRaw:
      def.DataType = ftBlob;
      break;
    case otReference:
      def.DataType = ftString;
      def.Size = 256;
      break;
    case otCLOB:
      def.DataType = info.IsWide ? ftWideMemo : ftOraClob;
      break;
    case otBLOB:
    case otBFile:
      def.DataType = ftOraBlob;
      break;
    default:
      return std::nullopt;
  }
  return def;
}

String OracleTypeName(int t) {
  switch (t) {
    case otVarchar2: return u"VARCHAR2";
    case otNumber: return u"NUMBER";
    case otLong: return u"LONG";
    case otRowId: case otRowidDesc: return u"ROWID";
    case otDate: return u"DATE";
    case otRaw: return u"RAW";
    case otLongRaw: return u"LONG RAW";
    case otCharDB: return u"CHAR";
    case otBinaryFloat: return u"BINARY_FLOAT";
    case otBinaryDouble: return u"BINARY_DOUBLE";
    case otMLSLabel: return u"MLSLABEL";
    case otCLOB: return u"CLOB";
    case otBLOB: return u"BLOB";
    case otBFile: return u"BFILE";
    default: return u"";
  }
}

}  // namespace kavo
