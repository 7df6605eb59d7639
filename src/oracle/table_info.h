// What the Oracle data dictionary says about a record set's updating table:
// its owner and name, columns with their defaults, and constraints. A
// session keeps one TOracleTableInfo per updating table (compared without
// regard to case) for its whole life; each part is read on first need on
// the description's own statement ("TableInfoQuery").
#ifndef KAVO_ORACLE_TABLE_INFO_H_
#define KAVO_ORACLE_TABLE_INFO_H_

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "recordset/variant.h"
#include "oracle/query.h"
#include "rtl/exceptions.h"
#include "rtl/ustring.h"

namespace kavo {

class TOracleSession;

enum TConstraintType { ctUnknown, ctPrimaryKey, ctUniqueKey, ctForeignKey, ctCheck };

struct TOracleColumnInfo {
  String ColumnName;
  int ColumnType = 0;  // buffer type of the column (otString, otFloat, ...)
  int ColumnPrecision = 0;
  int ColumnScale = 0;
  String DefaultExpression;  // as the dictionary holds it; empty: none
  OraVariant DefaultValue;   // the last evaluation of DefaultExpression
};

struct TOracleConstraintInfo {
  std::vector<String> ColumnNames;
  String ConstraintName;
  TConstraintType ConstraintType = ctUnknown;
  String RefOwner, RefTableName;  // foreign keys: the parent table
  std::vector<String> RefColumnNames;
  String SearchCondition;  // check constraints
  bool Enabled = true;
};

// The owner and name that `name` (as a record set's updating table gives
// it) stands for: a name with a full stop is split there and upper-cased;
// otherwise the user's tables, then views, then the user's synonyms, then
// public synonyms are searched. Both are empty when nothing matches.
void ResolveName(TOracleQuery& query, const String& name, String& owner, String& table);

// The columns of the table's primary key, or else of its first unique key,
// in key order; empty when it has neither.
std::vector<String> GetPKFields(TOracleQuery& query, const String& owner, const String& table);

// Looks up the ROWID of the one row of `table` whose `columns` have `values`
// (a null or empty value matches NULL). "Error determining ROWID: no record
// found" / "... more than one record found" (Exception) otherwise.
String FetchRowIdByKey(TOracleQuery& query, const String& table,
                       const std::vector<String>& columns, const std::vector<OraVariant>& values);

// The server's message for the error numbers the client-side constraint
// check raises (1, 2290, 2291), naming the constraint as owner.name.
String ConstraintMessage(int error_code, const String& constraint);

// A record as the constraint check reads it.
struct TConstraintRecord {
  bool Inserting = false;
  String RowId;  // the stored row's, when editing
  // The record's value of a column; false when the record set has no field
  // for it (a constraint over such a column is not checked).
  std::function<bool(const String& column, OraVariant& value)> Value;
};

struct TConstraintViolation {
  int ErrorCode = 0;
  String Constraint;  // owner.name
};

class TOracleTableInfo {
 public:
  TOracleTableInfo(TOracleSession& session, String table_expression);
  ~TOracleTableInfo();

  const String& TableExpression() const { return table_expression_; }
  const String& TableOwner();
  const String& TableName();
  // owner.name when the name resolved, else the expression.
  String QualifiedName();

  // The columns of "select * from <table>", with the defaults the
  // dictionary holds. A failure empties the list and goes to `on_error`
  // instead of being raised.
  const std::vector<TOracleColumnInfo>& Columns(
      const std::function<void(const Exception&)>& on_error = nullptr);
  // Every constraint with a given (not generated, "SYS_C%") name.
  const std::vector<TOracleConstraintInfo>& Constraints();

  // The defaults of every column that has one, evaluated on the server in
  // one block. Evaluated once; again for every call with `dynamic`.
  const std::vector<TOracleColumnInfo*>& EvaluateDefaults(bool dynamic);

  // Checks the enabled constraints (not named in `disabled`) that involve
  // `column` (every one when empty) against the record: unique and primary
  // keys (error 1 when another row has the key), foreign keys (2291 when
  // the parent row is missing), checks (2290 when the condition is false).
  std::optional<TConstraintViolation> CheckConstraints(const TConstraintRecord& record,
                                                       const String& column,
                                                       const std::vector<String>& disabled);

  TOracleQuery& Query() { return *query_; }

 private:
  void Resolve();
  bool CheckKey(const TOracleConstraintInfo& c, const TConstraintRecord& record);
  bool CheckForeignKey(const TOracleConstraintInfo& c, const TConstraintRecord& record);
  bool CheckCondition(const TOracleConstraintInfo& c, const TConstraintRecord& record);

  TOracleSession& session_;
  String table_expression_;
  String owner_, name_;
  bool resolved_ = false;
  bool columns_read_ = false;
  bool constraints_read_ = false;
  bool defaults_evaluated_ = false;
  std::vector<TOracleColumnInfo> columns_;
  std::vector<TOracleConstraintInfo> constraints_;
  std::vector<TOracleColumnInfo*> defaults_;
  std::unique_ptr<TOracleQuery> query_;
};

// The session's descriptions, found by the updating table's text without
// regard to case.
class TOracleTableInfoList {
 public:
  explicit TOracleTableInfoList(TOracleSession& session) : session_(session) {}
  TOracleTableInfo& Find(const String& table_expression);
  int Count() const { return static_cast<int>(items_.size()); }

 private:
  TOracleSession& session_;
  std::vector<std::unique_ptr<TOracleTableInfo>> items_;
};

}  // namespace kavo

#endif  // KAVO_ORACLE_TABLE_INFO_H_
