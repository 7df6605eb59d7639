// TOracleDataSet: the Oracle layer's record set. It runs its select on a
// session, describes the select list into column descriptions and field
// definitions, fetches every row (by default) into its own record store in
// array fetches of ReadBuffer rows, and answers navigation, bookmarks, counts
// and field values from the store. A change is written back to the updating
// table by the row's ROWID: the row is checked against the server when the
// edit starts, locked and checked again when it is posted (savepoint
// VZO__LOCKPOINT, select ... for update nowait), written with only the
// changed columns, and the session commits.
//
// Built on the record-set model (recordset/dataset.h); it plays the Oracle
// record set role the integration cycle drives.
//
// Left out, and refused with a clear error where a setting would ask for
// them: master/detail links, the data-provider interface, object, collection
// and XML columns (the statement refuses them), LZH-compressed long raw
// values, QBE mode and its condition language, and the data-dictionary
// options FieldKinds, DisplayFormats, RangeValues and CharacterSize.
//
// Filters: Filter (the language of filter_parser.h), Filtered,
// FilterOptions and OnFilterRecord hide the records they refuse; the store
// keeps them and shows the filtered list. Cached updates (dataset_updates.cpp,
// change_log.h): with CachedUpdates, posts and deletes only log the change
// until ApplyUpdates writes the log inside a savepoint of its own.
// The QBE definition itself is kept and stored.
#ifndef KAVO_ORACLE_ORACLE_DATASET_H_
#define KAVO_ORACLE_ORACLE_DATASET_H_

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "oracle/cached_updates.h"
#include "oracle/change_log.h"
#include "oracle/field_info.h"
#include "oracle/filter_expression.h"
#include "oracle/filter_parser.h"
#include "oracle/oracle_error.h"
#include "oracle/qbe_definition.h"
#include "oracle/query.h"
#include "oracle/row_reader.h"
#include "oracle/row_store.h"
#include "oracle/row_writer.h"
#include "oracle/session.h"
#include "oracle/table_info.h"
#include "recordset/data_source.h"
#include "recordset/blob_fields.h"
#include "recordset/locate_keys.h"
#include "recordset/roles.h"
#include "rtl/string_list.h"

namespace kavo {

class TOracleDataSet;

enum TLockingModeOptions { lmLockImmediate, lmCheckImmediate, lmLockDelayed, lmNone };

// RefreshOptions is a set of these.
enum TRefreshOption : unsigned {
  roBeforeEdit = 1u << 0,
  roAfterInsert = 1u << 1,
  roAfterUpdate = 1u << 2,
  roAllFields = 1u << 3,
};

enum TSequenceApplyMoment { amOnNewRecord, amOnPost, amOnServer };

struct TSequenceField {
  String Field;
  String Sequence;
  TSequenceApplyMoment ApplyMoment = amOnPost;
};

struct TOracleDictionary {
  bool EnforceConstraints = false;
  std::vector<String> DisabledConstraints;
  bool UseMessageTable = false;
  bool DefaultValues = false;
  bool DynamicDefaults = false;
  bool FieldKinds = false;
  bool DisplayFormats = false;
  bool RangeValues = false;
  bool RequiredFields = true;
  bool CharacterSize = false;
};

enum TAfterFetchRecordAction { afContinue, afPause, afStop, afCancel };

// ProviderOptions is a set of these (stored only).
enum TProviderOption : unsigned {
  opNoKeyFields = 1u << 0,
  opNoIndexDefs = 1u << 1,
  opNoDefaultOrder = 1u << 2,
  opNoCommit = 1u << 3,
};

// SearchRecord's options (a set): one direction, one starting point, and how
// texts compare. Without a direction the search goes forward; without a
// starting point it starts at the first record going forward and at the last
// going backward.
enum TSearchRecordOption : unsigned {
  srForward = 1u << 0,
  srBackward = 1u << 1,
  srFromCurrent = 1u << 2,
  srFromBeginning = 1u << 3,
  srFromEnd = 1u << 4,
  srIgnoreCase = 1u << 5,
  srPartialMatch = 1u << 6,
};

using TOracleDataSetEvent = std::function<void(TOracleDataSet&)>;
using TAfterFetchRecordEvent =
    std::function<void(TOracleDataSet&, bool filter_accept, TAfterFetchRecordAction& action)>;
// Action: 'L' lock, 'C' check, 'R' refresh, 'I' insert, 'U' update, 'D' delete.
using TApplyRecordEvent =
    std::function<void(TOracleDataSet&, Char action, bool& applied, String& new_rowid)>;
using TTranslateMessageEvent = std::function<void(TOracleDataSet&, int error_code,
                                                  const String& constraint_name, Char action,
                                                  String& message)>;
using TBlobEvent = std::function<void(TOracleDataSet&, std::string& bytes)>;

// The default fields of CLOB and BLOB columns: a memo and a blob whose kinds
// say which LOB they hold.
class TOracleClobField : public TMemoField {
 public:
  explicit TOracleClobField(TComponent* owner);
};
class TOracleBlobField : public TBlobField {
 public:
  explicit TOracleBlobField(TComponent* owner);
};

class TOracleDataSet : public roles::OracleDataSet,
                       public TOracleSessionDataSet,
                       public TOracleUpdatesDataSet {
 public:
  explicit TOracleDataSet(TComponent* owner);
  ~TOracleDataSet() override;

  // ---- the statement ------------------------------------------------------
  // Setting the text (any change of the list) forgets the updating table and
  // reopens an open record set.
  TStringList& SQL();
  TOracleSession* Session() const { return session_; }
  // Closes the record set unless the new value is none and it is
  // Detachable.
  void SetSession(TOracleSession* session);
  int ReadBuffer() const { return read_buffer_; }
  void SetReadBuffer(int rows);
  bool Optimize() const { return optimize_; }
  void SetOptimize(bool v);
  bool Debug() const { return debug_; }
  void SetDebug(bool v);
  // Every column fetched as text; reopens an open record set.
  bool StringFieldsOnly() const { return string_fields_only_; }
  void SetStringFieldsOnly(bool v);
  int Cursor() const { return cursor_; }
  void SetCursor(int v) { cursor_ = v; }
  // The bind variables of SQL (the main statement's).
  TVariables& Variables();
  void DeclareVariable(const String& name, int type);
  void SetVariable(const String& name, const OraVariant& value);
  OraVariant GetVariable(const String& name);
  void DeleteVariables();
  // The SQL with substitution variables replaced.
  String SubstitutedSQL();

  // ---- properties ----------------------------------------------------------
  TSequenceField& SequenceField() { return sequence_field_; }
  TOracleDictionary& OracleDictionary() { return dictionary_; }
  TQBEDefinition& QBEDefinition() { return qbe_definition_; }
  const String& UniqueFields() const { return unique_fields_; }
  void SetUniqueFields(const String& v) { unique_fields_ = v; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool v) { read_only_ = v; }
  TLockingModeOptions LockingMode() const { return locking_mode_; }
  void SetLockingMode(TLockingModeOptions v) { locking_mode_ = v; }
  bool QueryAllRecords() const { return query_all_records_; }
  void SetQueryAllRecords(bool v) { query_all_records_ = v; }
  // Only while closed.
  bool Unidirectional() const { return unidirectional_; }
  void SetUnidirectional(bool v);
  bool CountAllRecords() const { return count_all_records_; }
  void SetCountAllRecords(bool v) { count_all_records_ = v; }
  unsigned RefreshOptions() const { return refresh_options_; }
  void SetRefreshOptions(unsigned v) { refresh_options_ = v; }
  const String& UpdatingTable() const { return updating_table_; }
  void SetUpdatingTable(const String& v);
  bool CommitOnPost() const { return commit_on_post_; }
  void SetCommitOnPost(bool v) { commit_on_post_ = v; }
  bool CachedUpdates() const { return cached_updates_; }
  // Posts a pending change first; turning it off keeps a pending log until
  // ApplyUpdates, CommitUpdates or CancelUpdates.
  void SetCachedUpdates(bool v);
  bool QBEMode() const { return false; }
  // True is refused: QBE mode is not built.
  void SetQBEMode(bool v);
  bool DesignActivation() const { return design_activation_; }
  void SetDesignActivation(bool v) { design_activation_ = v; }
  bool Detachable() const { return detachable_; }
  void SetDetachable(bool v) { detachable_ = v; }
  // Open while the session is not connected.
  bool Detached() const;
  bool CompressBLOBs() const { return compress_blobs_; }
  void SetCompressBLOBs(bool v) { compress_blobs_ = v; }
  unsigned ProviderOptions() const { return provider_options_; }
  void SetProviderOptions(unsigned v) { provider_options_ = v; }
  // The master record set this one follows (dataset_master.cpp): the
  // variables named like MasterFields ("A;B", the master's fields) take the
  // master's current values and the rows are queried again when they
  // change; without a master record (none, or one being inserted) no rows
  // are fetched. A new record gets the master's values in DetailFields (this
  // record set's fields, in the same order).
  TOracleDataSet* Master() const;
  void SetMaster(TOracleDataSet* master);
  const String& MasterFields() const { return master_link_->FieldNames(); }
  void SetMasterFields(const String& v);
  const String& DetailFields() const { return detail_fields_; }
  void SetDetailFields(const String& v) { detail_fields_ = v; }
  // The filter text; an open record set parses it at once (a text that is
  // not a filter leaves no filter and raises EExpression) and, when
  // Filtered, shows the records it accepts.
  const String& Filter() const { return filter_; }
  void SetFilter(const String& v);
  bool Filtered() const { return filtered_; }
  // Posts or cancels a pending change, rebuilds the visible records from
  // all held records and goes to the first.
  void SetFiltered(bool v);
  TFilterOptions FilterOptions() const { return filter_options_; }
  void SetFilterOptions(TFilterOptions v);
  // Uncompressed / compressed bytes written so far; 0 before any.
  double CompressionFactor() const { return 0; }

  // ---- events --------------------------------------------------------------
  TOracleDataSetEvent BeforeQuery, AfterQuery, AfterRefreshRecord;
  TAfterFetchRecordEvent AfterFetchRecord;
  TApplyRecordEvent OnApplyRecord;
  TTranslateMessageEvent OnTranslateMessage;
  TBlobEvent OnCompressBLOB, OnDecompressBLOB;
  // Decides first whether a record passes the filter.
  std::function<void(TOracleDataSet&, bool& accept)> OnFilterRecord;
  // Where errors that are reported rather than raised go (an AfterFetchRecord
  // handler's error, taken as afCancel), and errors taken from the store
  // before they pass on. No screen here: nothing by default.
  static std::function<void(const Exception&)>& ShowMessageHook();

  // ---- records ---------------------------------------------------------------
  // The current record's ROWID (the stored record's, also while editing).
  String RowId();
  // Runs the count query now.
  int CountQueryHits();
  // Searches the records (fetching further rows as needed) for the one whose
  // fields (names separated by ";", "ROWID" for the row identifier) hold the
  // values; moves to it and answers true, or stays and answers false.
  // "<name>.SearchRecord: number of fields and values do not match",
  // "<name>.SearchRecord options invalid", and "You cannot search a rowid if
  // it is not included in the select list".
  bool SearchRecord(const String& fields, const std::vector<OraVariant>& values, unsigned options);
  bool Locate(const String& fields, const std::vector<OraVariant>& values, unsigned options);
  // The values of `result_fields` in the first record that matches, without
  // moving; empty when none matches (one field: its value; more: an array).
  OraVariant Lookup(const String& fields, const std::vector<OraVariant>& values,
                    const String& result_fields);
  // Moves to record number `value` (from 1).
  void SetRecNo(int value);
  bool BookmarkValid(const TBookmark& bookmark) override;
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;
  // Locks and checks the current row now (only checks with `check_only`).
  void LockRecord(bool check_only = false);
  // Re-reads the current row from the server.
  void RefreshRecord();
  // The updating table and its alias in the SQL, as the write-back uses them.
  String GetUpdatingTable();
  String GetUpdatingAlias();

  // ---- cached updates (dataset_updates.cpp) --------------------------------
  // Logs every change while still writing it at once (neither committing
  // nor setting savepoints) until CommitUpdates or CancelUpdates.
  void StartUpdates();
  // Posts a pending change, then writes the logged deletes, updates and
  // inserts (those in `actions`) in log order without committing. Inside a
  // savepoint of its own: a failure leaves the server, the log and the
  // records as they were, makes the failing record current and passes on.
  // The log stays until CommitUpdates.
  void ApplyUpdates(TApplyActions actions = kAllApplyActions) override;
  // Empties the log (the count of added records becomes the net logged
  // inserts) and notifies; writes and commits nothing, and a pending edit
  // stays pending.
  void CommitUpdates() override;
  // Cancels a pending change, undoes every logged change from the last,
  // empties the log and stops logging.
  void CancelUpdates() override;
  bool UpdatesPending() const { return cached_updates_ && !change_log_.Empty(); }
  TUpdateStatus UpdateStatus() override;
  const TChangeLog& ChangeLog() const { return change_log_; }

  // TOracleUpdatesDataSet
  TOracleSession* UpdatesSession() const override { return session_; }
  void SaveApplyState() override;
  void RestoreApplyState() override;

  // ---- for tests and measurements ----------------------------------------------
  const oracle_engine::RowStore* Store() const { return store_.get(); }
  const TOracleFieldInfoList& FieldInfos() const { return infos_; }
  bool HasRowIdColumn() const { return rowid_index_ >= 0; }

  // TOracleSessionDataSet
  bool SessionDetachable() const override { return detachable_; }
  void SessionClose() override;
  void SessionStateChanged() override;

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInitFieldDefs() override;
  void InternalHandleException() override;
  bool IsCursorOpen() const override { return store_ != nullptr; }
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) override;

  using TDataSet::GetFieldData;
  using TDataSet::SetFieldData;
  bool GetFieldData(TField* field, void* buffer) override;
  void SetFieldData(TField* field, const void* buffer) override;
  TField* CreateDefaultField(const TFieldDef& def) override;

 public:
  // A stream over a blob or memo field's value in the current record: the
  // edit's working value while editing or inserting, else the stored one.
  // Writing needs edit or insert; opening for writing empties the value.
  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;

 protected:

  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& buffer) override;
  int GetRecordSize() override { return static_cast<int>(record_size_); }
  void GetBookmarkData(TRecordBuffer buffer, void* data) override;
  void SetBookmarkData(TRecordBuffer buffer, const void* data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override;
  void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
  void InternalGotoBookmark(const void* bookmark) override;
  void InternalSetToRecord(TRecordBuffer buffer) override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalInitRecord(TRecordBuffer buffer) override;
  void InternalInsert() override;
  void InternalEdit() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  void InternalRefresh() override;
  bool GetCanModify() override;
  int GetRecordCount() override;
  int GetRecNo() override;
  bool IsUniDirectional() const override { return unidirectional_; }
  void ClearCalcFields(TRecordBuffer buffer) override;

  void DoSetActive(bool value) override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class oracle_engine::RowReader;
  friend class oracle_engine::RowWriter;
  using Form = SlotForm;
  using Slot = RecordSlot;

  // dataset_open.cpp
  TOracleQuery& MainQuery() { return *main_query_; }
  // The statement the rows come from: the cursor statement while a cursor
  // variable's block feeds the record set, else the main statement.
  TOracleQuery& FetchQuery() { return cursor_query_ ? *cursor_query_ : *main_query_; }
  // Runs the main statement, and with a cursor variable opens its cursor
  // statement too (only describing it unless `fetch`); answers FetchQuery().
  TOracleQuery& RunStatement(bool fetch);
  TOracleQuery& DMLQuery();
  void CloseDMLQuery();
  void SetOracleFieldInfo();
  void BuildLayout();
  void CheckUnsupportedOptions();
  void QueryRecords(bool opening);
  bool QueryRecord();
  // Hands a fetched record to AfterFetchRecord (an error there counts as afCancel).
  TAfterFetchRecordAction OfferFetchedRecord(TRecordBuffer record, bool accepted);
  void StopFetching();
  // The slot keeps a value it could not hold exactly; `why` is raised when it is read.
  void MarkNotHeld(TRecordBuffer record, const Slot& slot, String why);
  void SQLChanged();
  void Reopen();

  // dataset_master.cpp
  void MasterChanged();
  // A master without a record to follow.
  bool WaitingForMaster() const;
  void CopyMasterValues();
  void FillDetailFields();
  // Before a refresh: a loose detail's pending cached updates refuse it;
  // pending edits of the details are posted.
  void CheckDetailsForRefresh();
  // The record as it was before the current edit, for dsOldValue.
  TRecordBuffer OldRecord();

  // dataset_fields.cpp
  const Slot* SlotOf(const TField* field) const;
  TRecordBuffer ActiveRecord() const;
  // The stored record behind a buffer (by its bookmark); null when none.
  // The stored record a buffer shows; `header_only` leaves a packed one
  // packed, for a look at its header.
  TRecordBuffer StoredRecord(const uint8_t* buffer, bool header_only = false) const;
  bool ReadNative(const uint8_t* record, const Slot& slot, void* dest) const;
  void WriteNative(uint8_t* record, const Slot& slot, const void* source) const;
  // The blob list a record's long values go to: the store's for a stored
  // record, a logged copy's own, the working list for the edit buffer.
  TBlobList& BlobsOf(TRecordBuffer record);
  // Refuses, naming the field, a native value its column cannot hold.
  void CheckStorable(const Slot& slot, const void* source);
  // What an 8-bit field of `size` bytes holds of `text`, as the server's
  // text: whole characters while their code-page form fits; `exact` tells
  // whether the code page shows every one of them as it is.
  static String AnsiHeldText(StringView text, size_t size, bool& exact);
  // The server's text kept in a stored record (or a logged copy) for an
  // 8-bit field that cannot show it; null when the field shows the server's.
  static const TOracleBlob* ServerTextIn(const uint8_t* record, const Slot& slot);
  // After reading `text` from the server into an 8-bit field of a stored
  // record: keeps it when the field cannot show it, else forgets a kept one.
  void KeepServerText(TRecordBuffer record, const Slot& slot, StringView text);
  bool IsNullIn(const uint8_t* record, const Slot& slot) const;
  // A field's value in a record as the statement layer takes it (null:
  // empty variant); strings as UTF-16 text.
  OraVariant ValueIn(const uint8_t* record, const Slot& slot) const;
  String TextIn(const uint8_t* record, const Slot& slot) const;
  const TOracleBlob* BlobIn(const uint8_t* record, const Slot& slot) const;
  // Writes a value read from the server into a record (null: clear).
  void StoreValue(uint8_t* record, const Slot& slot, const OraVariant& value);
  bool StoreFixedValue(uint8_t* value, const Slot& slot, const OraVariant& v);

  // dataset_navigation.cpp
  TRecordBuffer CurrentStored(bool header_only = false) const;
  int IndexOfBookmark(int32_t bookmark) const;
  void FetchAll();

  // dataset_rowcheck.cpp
  // Reads the row of `record` (none: the current) back to lock, check or
  // refresh it; answers whether a refresh changed the stored record.
  bool FetchRecord(oracle_engine::RowFetch what, TRecordBuffer record);
  bool OfferApply(Char action, String* new_rowid = nullptr);
  void Lockpoint();
  void RollbackToLockpoint();
  void CommitSession();
  void RollbackSession();
  void CopyVariablesNamedIn(TOracleQuery& q, const String& text);
  String TranslatedMessage(Char action, int error_code, const String& text);
  [[noreturn]] void RaiseTranslated(Char action, int error_code, const String& text);
  [[noreturn]] void RaiseOracleFailure(Char action, const EOracleError& e);
  String LookUpMessageTable(const String& constraint, Char action, int error_code);

  // dataset_search.cpp
  int FindRecord(const String& fields, const std::vector<OraVariant>& values, unsigned options);
  bool RecordMatches(const uint8_t* record, const std::vector<const Slot*>& slots,
                     const std::vector<OraVariant>& values, unsigned options) const;

  // dataset_dictionary.cpp
  // The session's description of the updating table ("Session undefined").
  TOracleTableInfo& TableInfo();
  // The identifying columns when UniqueFields is set ("Primary or Unique key
  // columns must be included" when it names no field).
  void GetIdColumns();
  // The ROWID of a row just inserted, found by its identifying columns.
  String FetchRowId(const uint8_t* record);
  // Client-side constraint check of the edited record: the constraints over
  // `field`'s column, or all of them (null).
  void CheckConstraints(TField* field);
  // Column defaults into the new record.
  void ApplyDefaultValues();

  // The reader's and writer's hooks for what is in use now: the change log,
  // the filter, the dictionary options (which a caller may change at any
  // time through OracleDictionary, so the writer's entry points ask again).
  void InstallHooks();

  // dataset_filter.cpp
  void BuildFilter();
  bool ApplyFilterTo(TRecordBuffer record);
  void RefilterRecords();

  // dataset_updates.cpp
  // Logs a post or delete of the stored record `stored` (null for a new
  // insert) with the edited `edited` (null for a delete) when logging.
  void RecordToChangeLog(Char action, TRecordBuffer stored, const uint8_t* edited);
  // Changes are logged, and neither commits nor savepoints are made.
  bool Logging() const { return cached_updates_ || logging_ || applying_; }
  // The record store's numbering of a visible record.
  int DataIndexOf(int visible_index) const;
  // Fetching: a logged insert due at the store's end, made a record again.
  TRecordBuffer ReAddLoggedInsert(bool leftover);
  void ApplyEntry(TChangeLogItem& item);

  // dataset_write.cpp
  bool FieldChanged(const Slot& slot, const uint8_t* old_record, const uint8_t* new_record);
  bool IsEmptyValue(const uint8_t* record, const Slot& slot) const;
  void InternalInsertUpdate(bool inserting);
  void AddRowCondition(TOracleQuery& q, String& sql, const uint8_t* record);
  String ColumnSQL(TOracleQuery& q, const Slot& slot, const uint8_t* record, bool inserting);
  void ApplySequence();
  static String ColumnNameSQL(const String& column);

  std::unique_ptr<TOracleQuery> main_query_;
  std::unique_ptr<TOracleQuery> dml_query_;
  std::unique_ptr<TOracleQuery> cursor_query_;
  TOracleSession* session_ = nullptr;

  int read_buffer_ = 25;
  bool optimize_ = true;
  bool debug_ = false;
  bool string_fields_only_ = false;
  int cursor_ = 0;
  TSequenceField sequence_field_;
  TOracleDictionary dictionary_;
  TQBEDefinition qbe_definition_;
  String unique_fields_;
  bool read_only_ = false;
  TLockingModeOptions locking_mode_ = lmCheckImmediate;
  bool query_all_records_ = true;
  bool unidirectional_ = false;
  bool count_all_records_ = false;
  unsigned refresh_options_ = 0;
  String updating_table_;
  bool commit_on_post_ = true;
  bool cached_updates_ = false;
  bool design_activation_ = false;
  bool detachable_ = false;
  bool compress_blobs_ = false;
  unsigned provider_options_ = 0;
  String detail_fields_, filter_;
  // The source goes after the link that watches it.
  std::unique_ptr<TDataSource> master_source_;
  std::unique_ptr<TMasterDataLink> master_link_;
  std::vector<const Slot*> id_slots_;  // identifying columns (UniqueFields)
  bool filtered_ = false;
  TFilterOptions filter_options_ = 0;
  TExpressionPtr filter_expr_;
  TChangeLog change_log_{this};
  bool logging_ = false;   // StartUpdates
  bool applying_ = false;  // ApplyUpdates is writing the log
  // The ROWIDs applying changes (of an entry's record, of its after-image),
  // kept to be put back when the apply fails.
  struct TApplyState {
    TChangeLogItem* item;
    String record_rowid, after_rowid;
  };
  std::vector<TApplyState> apply_state_;
  // Records ApplyUpdates reads back once every change is written.
  std::vector<int32_t> reread_;
  bool stored_active_ = false;

  // The open state.
  std::vector<TColumnDescription> columns_;
  TOracleFieldInfoList infos_;
  int rowid_index_ = -1;
  std::vector<Slot> slots_;
  TRecordPacking packing_;  // of the stored records' data areas
  std::vector<uint8_t> probe_;  // a packed record read by a search
  std::unordered_map<const TField*, size_t> slot_of_;
  size_t record_size_ = RecInfoSize;
  std::unique_ptr<oracle_engine::RowStore> store_;
  // The change log's say in what the reader reads (dataset_updates.cpp).
  class LoggedRows : public oracle_engine::RowReader::LogHook {
   public:
    explicit LoggedRows(TOracleDataSet& dataset) : ds_(dataset) {}
    TRecordBuffer Interpose(bool leftover) override { return ds_.ReAddLoggedInsert(leftover); }
    TChangeLogItem* Entry(const char* rowid, size_t length) override;

   private:
    TOracleDataSet& ds_;
  };
  LoggedRows logged_rows_{*this};
  // The filter's say in what the reader shows (dataset_filter.cpp).
  class FilteredRows : public oracle_engine::RowReader::FilterHook {
   public:
    explicit FilteredRows(TOracleDataSet& dataset) : ds_(dataset) {}
    bool Accept(TRecordBuffer record) override;

   private:
    TOracleDataSet& ds_;
  };
  FilteredRows filtered_rows_{*this};
  // The dictionary options' say in describing and writing (dataset_dictionary.cpp).
  class DictionaryOptions : public oracle_engine::DictionaryHook {
   public:
    explicit DictionaryOptions(TOracleDataSet& dataset) : ds_(dataset) {}
    bool Required(bool optional_column) override;
    void NewRecord() override;
    void Posting() override;
    void FieldWritten(TField* field, const unsigned char* record) override;

   private:
    TOracleDataSet& ds_;
  };
  DictionaryOptions dictionary_options_{*this};
  oracle_engine::RowReader reader_{*this};
  oracle_engine::RowWriter writer_{*this};
  int position_ = -1;
  int32_t bookmark_counter_ = 0;
  bool activating_ = false;
  bool counted_ = false;
  int count_ = 0;
  int added_ = 0;
  String updating_table_cache_;
  bool updating_table_cached_ = false;
  TBlobList work_blobs_;
  TRecordBuffer fetch_record_ = nullptr;  // current for AfterFetchRecord
  bool lockpoint_set_ = false;
};

}  // namespace kavo

#endif  // KAVO_ORACLE_ORACLE_DATASET_H_
