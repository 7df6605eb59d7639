// TIBSQL: one SQL statement with named parameters, prepared once and executed
// any number of times; queries get a forward-only cursor.
//
//   TIBSQL q(nullptr);
//   q.SetDatabase(&db);                 // takes db's default transaction
//   q.SQL().SetText(u"insert into T (A) values (:A)");
//   q.ParamByName(u"A").SetAsString(u"x");
//   q.ExecQuery();
#ifndef KAVO_IB_IB_SQL_H_
#define KAVO_IB_IB_SQL_H_

#include <functional>
#include <memory>
#include <string>

#include "ib/ib_base.h"
#include "ib/ib_header.h"
#include "ib/ib_param_list.h"
#include "ib/ib_xsqlda.h"
#include "platform/timer.h"
#include "rtl/component.h"

namespace kavo {

class IGDSLibrary;
class TIBDatabase;
class TIBTransaction;

class TIBSQL : public TComponent {
 public:
  explicit TIBSQL(TComponent* owner = nullptr);
  ~TIBSQL() override;

  TIBDatabase* Database() const { return base_.Database(); }
  void SetDatabase(TIBDatabase* db);
  TIBTransaction* Transaction() const { return base_.Transaction(); }
  // Releases a prepared statement first.
  void SetTransaction(TIBTransaction* tr);
  TIBBase& Base() { return base_; }

  TIBParamList& SQL() { return sql_; }
  bool ParamCheck() const { return param_check_; }
  void SetParamCheck(bool value) { param_check_ = value; }
  bool GoToFirstRecordOnExecute() const { return go_to_first_; }
  void SetGoToFirstRecordOnExecute(bool value) { go_to_first_ = value; }
  bool GenerateParamNames() const { return generate_param_names_; }
  void SetGenerateParamNames(bool value) { generate_param_names_ = value; }
  TNotifyEvent OnSQLChanging;

  void Prepare();
  void ExecQuery();
  // The result area of the next row, or null at the end.
  TIBXSQLDA* Next();
  // Closes the cursor (forced: failures are raised).
  void Close();
  // Releases the statement handle (forced).
  void FreeHandle();
  void Unprepare() { FreeHandle(); }

  // Starts, prepares and commits the transaction around it when needed.
  TIBXSQLDA& Params();
  TIBXSQLDA& Current() { return *record_; }
  TIBXSQLVAR& ParamByName(StringView name) {
    if (prepared_)
      if (TIBXSQLVAR* var = params_->ByName(name)) return *var;
    return PreparedParamByName(name);
  }
  TIBXSQLVAR& FieldByName(StringView name);
  TIBXSQLVAR& Fields(int index);

  bool Prepared() const { return prepared_; }
  bool Open() const { return open_; }
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  int RecordCount() const { return record_count_; }
  // From the server: rows of an insert, update or delete; -1 otherwise.
  int RowsAffected();
  TIBSQLTypes SQLType() const { return sql_type_; }
  String Plan();
  const String& UniqueRelationName() const;
  isc_stmt_handle Handle() const { return handle_; }
  const String& ProcessedSQL() const { return processed_sql_; }
  const std::string& CursorName() const { return cursor_; }

  // For the descriptor areas.
  IGDSLibrary& Library() const;
  int Dialect() const;
  ISC_STATUS Call(ISC_STATUS status, bool raise);

 private:
  // Prepares first when needed; raises when no parameter has the name.
  TIBXSQLVAR& PreparedParamByName(StringView name);
  void CloseCursor(bool force);
  void ReleaseHandle(bool force);
  void CheckOpen() const;
  void CheckClosed() const;
  void CheckValidStatement() const;
  std::string EncodedSQL() const;
  void DescribeResult();
  int ReadStatementType();

  TIBBase base_;
  TIBParamList sql_;
  String processed_sql_;
  isc_stmt_handle handle_ = 0;
  std::unique_ptr<TIBXSQLDA> params_;
  std::unique_ptr<TIBXSQLDA> record_;
  TIBSQLTypes sql_type_ = SQLUnknown;
  bool prepared_ = false;
  bool open_ = false;
  bool bof_ = false;
  bool eof_ = false;
  int record_count_ = 0;
  std::string cursor_;
  bool param_check_ = true;
  bool generate_param_names_ = false;
  bool go_to_first_ = true;
};

}  // namespace kavo

#endif  // KAVO_IB_IB_SQL_H_
