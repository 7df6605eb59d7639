// TOracleQuery: the layer's statement. It holds SQL text and its variables,
// prepares the text, binds the variables, executes, describes the select list
// into one array buffer per column and fetches rows in batches of ReadBuffer
// (OCI's own prefetching off), with typed access to the current row.
//
// TIMESTAMP columns and variables travel through date-time descriptors, CLOB
// and BLOB columns through LOB locators; a cursor variable hands its cursor
// to another statement, which then reads it as a select.
//
// Not built, and refused with a clear error: threaded and scrollable
// execution, object, REF, BFILE and cursor columns, object, REF and BFILE
// variables.
#ifndef KAVO_ORACLE_QUERY_H_
#define KAVO_ORACLE_QUERY_H_

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "oracle/field_data.h"
#include "oracle/oci_library.h"
#include "oracle/oci_types.h"
#include "recordset/variant.h"
#include "oracle/oracle_types.h"
#include "oracle/variable_data.h"
#include "recordset/field_name.h"
#include "rtl/component.h"
#include "rtl/string_list.h"

namespace kavo {

class TOracleSession;

enum TQueryState { qsIdle, qsExecuting, qsFetching };

using TOracleQueryEvent = std::function<void(TOracleQuery*)>;
// Array DML: a failing row; set `continue_` False to stop.
using TArrayErrorEvent = std::function<void(TOracleQuery* sender, int index, int error_code,
                                            const String& error_message, bool& continue_)>;

// Layer-wide switches.
extern std::atomic<bool> NoQueryOptimize;              // True: every execution parses again
extern std::atomic<bool> NoRowidFix;                   // False: string variables named *ROWID* get 501 bytes
extern std::atomic<bool> ForceDefaultVariableCharSet;  // True
extern std::atomic<bool> SafeStringFieldsOnly;         // False

class TOracleQuery : public TComponent {
 public:
  explicit TOracleQuery(TComponent* owner);
  ~TOracleQuery() override;

  // Statement text; lines are joined with line breaks.
  TStringList& SQL();
  void SetSQLText(const String& text);
  // As SetSQLText, for a caller that keeps no list from SQL() to change
  // later: the text is kept as its lines join, and made into lines only when
  // SQL() is asked for.
  void SetStatementText(const String& text);

  TOracleSession* Session() const { return session_; }
  void SetSession(TOracleSession* session);
  int ReadBuffer() const { return read_buffer_; }
  void SetReadBuffer(int rows) { read_buffer_ = rows < 1 ? 1 : rows; }
  bool Optimize() const { return optimize_; }
  void SetOptimize(bool v) { optimize_ = v; }
  bool Debug() const { return debug_; }
  void SetDebug(bool v) { debug_ = v; }
  // The screen cursor shown while the statement works (stored only).
  int Cursor() const { return cursor_; }
  void SetCursor(int v) { cursor_ = v; }
  bool StringFieldsOnly() const { return string_fields_only_; }
  void SetStringFieldsOnly(bool v) { string_fields_only_ = v; }
  bool Threaded() const { return false; }
  void SetThreaded(bool v);      // True is refused
  bool Scrollable() const { return false; }
  void SetScrollable(bool v);    // True is refused

  TOracleQueryEvent BeforeQuery;
  TOracleQueryEvent AfterQuery;
  TArrayErrorEvent OnArrayError;
  // Receives the statement text and variables before each execution when
  // Debug is set (the process has no screen to show them on).
  static std::function<void(TOracleQuery*, const String&)>& DebugHook();

  // Variables. Names are normalised to ":" + upper case.
  TVariables& Variables() { return variables_; }
  void DeclareVariable(const String& name, int type);
  void DeclareAndSet(const String& name, int type, const OraVariant& value);
  void DeleteVariable(const String& name);
  void DeleteVariables();
  void SetVariable(const String& name, const OraVariant& value);
  void SetVariable(int index, const OraVariant& value);
  OraVariant GetVariable(const String& name);
  OraVariant GetVariable(int index);
  void ClearVariables();
  // The statement that receives the cursor a cursor variable (otCursor)
  // returns; it must live as long as this one executes with it.
  void SetComplexVariable(const String& name, TOracleQuery* cursor);
  TOracleQuery* GetComplexVariable(const String& name) const;
  // Receives its rows from a cursor variable of another statement.
  bool ResultSet() const { return result_set_; }
  int VariableCount() const { return variables_.Count(); }
  String VariableName(int index) const;
  int VariableType(int index) const;
  int VariableIndex(const String& name) const;
  void DeclareVariableCharSet(const String& name, uint8_t form, uint16_t charset_id);
  void DimPLSQLTable(const String& name, int size, int string_size);
  String SubstitutedSQL();
  // Re-derives the character set of string variables from the session's.
  void SetDefaultVariableCharSets();
  void Clear();

  // Execution and fetching.
  void Execute();
  int ExecuteArray(int index, int count);
  void Describe();
  void Next();
  bool Eof() const { return eof_; }
  void Close();
  void Cancel() { eof_ = true; }
  int RowsProcessed() const { return rows_processed_; }
  int RowCount() const;
  int ReturnCode() const { return return_code_; }
  int WarningFlags() const { return warning_flags_; }
  const String& RowId() const { return row_id_; }
  int FunctionType() const { return function_type_; }
  int ErrorLine() const { return error_line_; }
  int ErrorPosition() const { return error_position_; }
  TQueryState State() const { return state_; }
  // The status of the last call mapped to an Oracle error number.
  int GetReturnCode();

  // Columns, numbered from 0.
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  String FieldName(int i) const;
  int FieldIndex(const String& name) const;
  int FieldType(int i) const;
  int FieldDBType(int i) const;
  int FieldSize(int i) const;
  int FieldPrecision(int i) const;
  int FieldScale(int i) const;
  bool FieldOptional(int i) const;
  int FieldCharSetId(int i) const;
  int FieldCharSetForm(int i) const;
  bool FieldIsUTF8(int i) const;
  bool FieldIsUTF16(int i) const;
  int FieldCharSize(int i) const;
  bool FieldIsNull(int i) const;
  OraVariant Field(int i) const;
  OraVariant Field(const String& name) const;
  String FieldAsString(int i) const;
  String FieldAsString(const String& name) const;
  String FieldAsWideString(int i) const;
  int32_t FieldAsInteger(int i) const;
  int32_t FieldAsInteger(const String& name) const;
  double FieldAsFloat(int i) const;
  double FieldAsFloat(const String& name) const;
  TDateTime FieldAsDate(int i) const;
  TDateTime FieldAsDate(const String& name) const;
  const uint8_t* FieldData(int i) const;
  int FieldLength(int i) const;
  int GetLongField(int i, void* buffer, int length, int offset) const;

  // Counts OCI fetch calls (execute calls that fetched rows included).
  int FetchCalls() const { return fetch_calls_; }

  // Used by the piece callback.
  TFieldData& FieldDataRecord(int i) { return *fields_.at(i); }
  // The element of the fetched batch that holds the current row.
  int CurrentElement() const { return cache_index_; }

 private:
  String NormaliseName(const String& name) const;
  int IndexForSet(const String& name) const;
  void CheckVariableIndex(int index) const;
  // Inline: every field read passes here.
  const TFieldData& CheckField(int i) const {
    if (i < 0 || i >= FieldCount()) RaiseNoSuchField(i);
    return *fields_[i];
  }
  const TFieldData& CheckFieldValue(int i) const {
    const TFieldData& f = CheckField(i);
    if (eof_) RaiseBeyondEof();
    return f;
  }
  [[noreturn]] static void RaiseNoSuchField(int i);
  [[noreturn]] static void RaiseBeyondEof();
  int IndexByName(const String& name) const;
  void CheckSession();
  void Open();
  void Parse();
  void Bind();
  void InternalDescribe();
  // Position `pos` (from 1) of the select list, with its buffer type and size.
  std::unique_ptr<TFieldData> DescribeColumn(int pos);
  void ReadColumnAttributes(OCIHandle param, int pos, TFieldData& f);
  void ChooseColumnBuffer(TFieldData& f);
  // NUMBER, BINARY_FLOAT and BINARY_DOUBLE: an integer within the preferred
  // integer precision, a double within the float one, else text.
  void ChooseNumberBuffer(TFieldData& f);
  // A descriptor, or text when the preferences ask for it.
  void ChooseTimestampBuffer(TFieldData& f);
  [[noreturn]] void RefuseColumn(const TFieldData& f);
  // One descriptor per element of a TIMESTAMP or LOB column, and back.
  void AllocateDescriptors(TFieldData& f);
  void FreeDescriptors(TFieldData& f);
  // The current row's TIMESTAMP or LOB value.
  TDateTime TimestampValue(const TFieldData& f) const;
  std::string LobBytes(const TFieldData& f) const;
  // Empties the column list; the records are kept for the next describe.
  void ReleaseFields();
  // The text of the name the client reported for position `pos` (from 1).
  const String& ColumnNameText(int pos, std::string_view bytes);
  void InternalDefine();
  void InternalExecute(bool describe_only, int offset, int iterations);
  // Anything but a query: once, or for the elements offset ... iterations - 1
  // of an array binding (all of them when iterations is below 1).
  void ExecuteStatement(bool describe_only, ub4 mode, int offset, int iterations);
  // The statement's text and its variables' values, to the debug hook.
  void CallDebugHook();
  void Fetch();
  // Elements of the array binding: 1 without arrays, or for a PL/SQL table.
  int ArrayElements() const;
  // Rows in the batch just fetched: the rows processed now less `before`, as
  // the client reports them, within 0 ... the rows per fetch.
  int BatchRows(int before);
  void ResetPieces();
  void RecordResults();
  void ImplicitClose();
  void ReadRowId();
  void ComputeErrorPosition();
  [[noreturn]] void RaiseException();
  // A statement that failed: its error position, a parse to be done again, raise.
  [[noreturn]] void RaiseStatementError();
  void FreeStatementHandles();
  // A cursor variable's statement made ready to receive the cursor: the
  // address of its fresh statement handle.
  void* PrepareCursorTarget(TVariableData& v);
  // TIMESTAMP, CLOB and BLOB variables: a descriptor made from the value for
  // the execution, and after it the value a block assigned (read_back) and
  // the descriptor freed.
  void PrepareDescriptor(TVariableData& v);
  void FinishDescriptors(bool read_back);
  String ReplaceSubstVariables(const String& text);
  bool HasSubstVariables() const;
  // Inline: the status of every OCI call passes here, from more than one file.
  sword Call(sword status) {
    last_oci_error_ = status;
    return status;
  }
  // Attribute values whose width differs between clients: read into a zeroed
  // 4-byte value.
  int32_t AttrInt(OCIHandle handle, ub4 type, ub4 attribute, OCIHandle err,
                  sword* status = nullptr) const;

  TStringList sql_;
  // Text given by SetStatementText, as its lines join (the record set sets a
  // statement per row and never reads its lines); not while the list reports
  // changes.
  String sql_text_;
  bool sql_text_set_ = false;
  // The text SQL().Text() gives; `joined` holds it when the lines are made.
  const String& SQLText(String& joined) const;
  TOracleSession* session_ = nullptr;
  int read_buffer_ = 25;
  bool optimize_ = true;
  bool debug_ = false;
  bool string_fields_only_ = false;
  int cursor_ = 0;
  TVariables variables_{this};
  std::vector<std::unique_ptr<TFieldData>> fields_;
  // For FieldIndex; a column's name changes only when decoded anew.
  mutable FieldNameIndex column_index_;
  // Column records of earlier describes, reset: a statement parsed at every
  // execution describes its columns again into the same buffers' memory.
  std::vector<std::unique_ptr<TFieldData>> spare_fields_;
  // Variables of earlier statements, recycled: the record set declares its
  // row's variables anew for every statement.
  std::vector<std::unique_ptr<TVariableData>> spare_variables_;
  std::unique_ptr<TVariableData> NewVariable();
  void RecycleVariable(std::unique_ptr<TVariableData> v);
  void RecycleVariables();
  // Each position's name as last decoded, with what it was decoded from: a
  // statement parsed at every execution reads the same names every time.
  struct DecodedName {
    bool valid = false;
    bool utf8 = false;
    std::string bytes, code_page;
    String text;
  };
  std::vector<DecodedName> decoded_names_;

  OCIHandle stmthp_ = nullptr, errhp_ = nullptr, secerrhp_ = nullptr, rowidhp_ = nullptr;
  // The client library every OCI call goes through.
  TOCILibrary& oci_ = OCILibrary();
  sword last_oci_error_ = 0;
  std::string parsed_sql_;
  bool opened_ = false;
  bool result_set_ = false;
  bool stmt_from_cache_ = false;
  bool described_ = false;
  bool eof_ = true;
  int used_cache_ = 0;
  int cache_index_ = 0;
  int cached_ = 0;
  bool last_batch_ = false;  // the last fetch reported the end of the data
  // function_type_ of a query, as the server codes it.
  static constexpr int kSelect = 4;
  int function_type_ = 0;
  int array_bind_size_ = 0;
  bool call_after_query_ = false;
  TQueryState state_ = qsIdle;
  int error_line_ = 0, error_position_ = 0;
  int rows_processed_ = 0;
  int return_code_ = 0;
  int warning_flags_ = 0;
  String row_id_;
  int fetch_calls_ = 0;
};

}  // namespace kavo

#endif  // KAVO_ORACLE_QUERY_H_
