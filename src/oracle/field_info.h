// The Oracle record set's column descriptions: one TOracleFieldInfo per
// select-list column (the ROWID column excepted) after a placeholder item 0,
// the field kind each column gets (the type table), the names made unique,
// and where the ROWID column is.
#ifndef KAVO_ORACLE_FIELD_INFO_H_
#define KAVO_ORACLE_FIELD_INFO_H_

#include <optional>
#include <vector>

#include "oracle/session_preferences.h"
#include "recordset/field.h"
#include "recordset/field_defs.h"
#include "rtl/ustring.h"

namespace kavo {

class TOracleQuery;
struct TQBEField;

// What a describe reports of one select-list column.
struct TColumnDescription {
  String Name;
  int DataType = 0;  // buffer type chosen by the statement
  int DBType = 0;    // server type
  int Size = 0;      // string buffer length without terminator; 0 for other types
  int Scale = 0;
  int Precision = 0;
  bool Optional = true;
  int CharSetID = 0;
  int CharSetForm = 0;
  bool IsUTF8 = false;
  bool IsUTF16 = false;
};

// Every column of a described or executed statement.
std::vector<TColumnDescription> DescribeColumns(const TOracleQuery& query);

enum TOracleFieldInfoType { itField, itUnusedField, itAttr, itOther };

struct TOracleFieldInfo {
  TField* Field = nullptr;
  int FieldOffset = 0;  // the field's null byte in the data area
  bool ReadOnly = false;
  bool Required = false;
  TOracleFieldInfoType InfoType = itOther;
  String FFullName;     // the field name
  String ColumnName;    // as the server described it
  int DataType = 0;     // buffer type (an Oracle type code)
  int DBType = 0;
  String TypeName;
  int Size = 0, Scale = 0, Precision = 0;
  int FieldIndex = -1;  // position in the select list
  int CharSetID = 0, CharSetForm = 0;
  bool IsUTF16 = false, IsUTF8 = false, IsWide = false, IsXMLCLOB = false;
  TQBEField* QBE = nullptr;
};

class TOracleFieldInfoList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TOracleFieldInfo& operator[](int i) { return items_.at(static_cast<size_t>(i)); }
  const TOracleFieldInfo& operator[](int i) const { return items_.at(static_cast<size_t>(i)); }
  std::vector<TOracleFieldInfo>& Items() { return items_; }
  void Clear() { items_.clear(); }
  // The item of a field, else of a column whose field name matches without
  // regard to case; -1 when none.
  int IndexOfField(const TField* field) const;
  int IndexOfName(StringView name) const;

 private:
  std::vector<TOracleFieldInfo> items_;
};

// The column named ROWID (without regard to case), else the first column of
// server type ROWID (11) or ROWID descriptor (104); -1 when none.
int FindRowIdIndex(const std::vector<TColumnDescription>& columns);

// Names made unique without regard to case: a repeat gets "_1", the next
// "_2" and so on, skipping any suffix that another column's name or an
// earlier result already has (NAME, NAME, NAME_1 give NAME, NAME_2, NAME_1).
std::vector<String> UniqueColumnNames(const std::vector<String>& names);

// Whether the column's text is held as UTF-16 in its field.
bool IsWideColumn(const TColumnDescription& column, const TSessionPreferences& prefs);

// The field definition of a column (the type table); none for a type that
// gets no field. `field_no` becomes its FieldNo, `name` its name.
std::optional<TFieldDef> CreateFieldDef(const TOracleFieldInfo& info, const String& name,
                                        int field_no, bool required,
                                        const TSessionPreferences& prefs);

// The server type's name ("VARCHAR2", "NUMBER", ...).
String OracleTypeName(int db_type);

}  // namespace kavo

#endif  // KAVO_ORACLE_FIELD_INFO_H_
