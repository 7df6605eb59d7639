// TIBCustomDataSet / TIBDataSet: the Firebird record set.
//
// Rows come from the select statement and are kept, as they are fetched, in
// its RowStore (records of the layout of ib_record_buffer.h), read by its
// RowReader. Changes are written back by its RowWriter through four more
// statements given as SQL text (insert, modify, delete, refresh), whose
// parameters are filled from the record by name: a name with the prefix
// OLD_ takes the row as it was before the change, NEW_ (or no prefix) the
// current values, IB_INTERNAL_DBKEY the row's database key; a name that
// matches no select column keeps the value it had.
//
//   TIBDataSet ds(owner);
//   ds.SetDatabase(&db);                  // its default transaction too
//   ds.SelectSQL().SetText(u"SELECT * FROM T where ID = 1");
//   ds.InsertSQL().SetText(u"insert into T (ID, NAME) values (:ID, :NAME)");
//   ds.Open();                            // connects, starts, prepares all
//   ds.Insert();
//   ds.FieldByName(u"NAME").SetAsString(u"x");
//   ds.Post();                            // runs the insert statement
//
// The statements are prepared once per connection and stay prepared across
// Close and Open. A commit or rollback of the transaction (not the retaining
// forms) closes the record set and releases its statements; a disconnect of
// the database closes it too.
#ifndef KAVO_IB_IB_DATASET_H_
#define KAVO_IB_IB_DATASET_H_

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "ib/ib_base.h"
#include "ib/ib_database.h"
#include "ib/ib_fields.h"
#include "ib/ib_param_list.h"
#include "ib/ib_record_buffer.h"
#include "ib/ib_row_reader.h"
#include "ib/ib_row_store.h"
#include "ib/ib_row_writer.h"
#include "ib/ib_sql.h"
#include "ib/ib_transaction.h"
#include "recordset/data_source.h"
#include "recordset/locate_keys.h"
#include "recordset/roles.h"

namespace kavo {

class TIBCustomDataSet;

enum TLiveModeFlag : unsigned { lmInsert = 1, lmModify = 2, lmDelete = 4, lmRefresh = 8 };
// What an update error handler decides: raise, end the run ("User abort"),
// leave the record pending, try again, or count it as written.
enum TIBUpdateAction { uaFail, uaAbort, uaSkip, uaRetry, uaApply, uaApplied };

// Supplies the update statements in place of the record set's own texts and
// applies a change itself.
class TIBDataSetUpdateObject : public TComponent {
 public:
  explicit TIBDataSetUpdateObject(TComponent* owner) : TComponent(owner) {}
  // The text for a kind of change; empty when it supplies none.
  virtual String GetSQL(TUpdateKind kind) = 0;
  virtual String RefreshSQL() = 0;
  // Writes the current record of `dataset` to the server.
  virtual void Apply(TUpdateKind kind, TIBCustomDataSet& dataset) = 0;
};

class TIBCustomDataSet : public roles::IBDataSet {
 public:
  using TIBUpdateErrorEvent =
      std::function<void(TDataSet&, EDatabaseError&, TUpdateKind, TIBUpdateAction&)>;
  using TIBUpdateRecordEvent = std::function<void(TDataSet&, TUpdateKind, TIBUpdateAction&)>;

  explicit TIBCustomDataSet(TComponent* owner);
  ~TIBCustomDataSet() override;

  // ---- connection and transaction (changed only while closed) -----------
  TIBDatabase* Database() const { return base_.Database(); }
  void SetDatabase(TIBDatabase* db);
  // The transaction the record set runs in; "Transaction not assigned"
  // without one.
  TIBTransaction& Transaction() override;
  TIBTransaction* AssignedTransaction() const { return base_.Transaction(); }
  void SetTransaction(TIBTransaction* tr);
  TIBBase& Base() { return base_; }

  // ---- statements -----------------------------------------------------------
  TIBParamList& SelectSQL() { return q_select_->SQL(); }
  TIBParamList& InsertSQL() { return QInsert().SQL(); }
  TIBParamList& ModifySQL() { return QModify().SQL(); }
  TIBParamList& DeleteSQL() { return QDelete().SQL(); }
  TIBParamList& RefreshSQL() { return QRefresh().SQL(); }
  TIBSQL& QSelect() { return *q_select_; }
  TIBSQL& QInsert() { return writer_.Statement(ukInsert); }
  TIBSQL& QModify() { return writer_.Statement(ukModify); }
  TIBSQL& QDelete() { return writer_.Statement(ukDelete); }
  TIBSQL& QRefresh() { return writer_.RefreshStatement(); }
  bool ParamCheck() const { return param_check_; }
  void SetParamCheck(bool value) { param_check_ = value; }

  // ---- behaviour --------------------------------------------------------------
  bool UniDirectional() const { return uni_directional_; }
  void SetUniDirectional(bool value);  // "Dataset open" while open
  int BufferChunks() const { return buffer_chunks_; }
  // Below 1 counts as 1.
  void SetBufferChunks(int value) { buffer_chunks_ = value < 1 ? 1 : value; }
  bool CachedUpdates() const { return cached_updates_; }
  void SetCachedUpdates(bool value);
  bool ForcedRefresh() const { return forced_refresh_; }
  void SetForcedRefresh(bool value) { forced_refresh_ = value; }
  TIBGeneratorField& GeneratorField() { return generator_field_; }
  // A master record set's source (ib_dataset_master.cpp): the select's
  // parameters named like the master's fields take its current values, and
  // the rows are queried again when they change (NULL while the master has
  // no record to follow).
  TDataSource* DataSource() const { return master_link_->DataSource(); }
  void SetDataSource(TDataSource* source);
  TIBDataSetUpdateObject* UpdateObject() const { return update_object_; }
  void SetUpdateObject(TIBDataSetUpdateObject* object) { update_object_ = object; }

  // ---- state ----------------------------------------------------------------
  void Prepare() { InternalPrepare(); }
  void UnPrepare();
  bool Prepared() const { return internal_prepared_; }
  unsigned LiveMode() const { return live_mode_; }
  bool CanInsert() const;
  bool CanEdit() const;
  bool CanDelete() const;
  bool CanRefresh() const;
  // Rows held in the cache, less the deleted ones.
  int GetRecordCount() override;
  // The statement's count after the last open or write; asked of the
  // server only when wanted.
  int RowsAffected();
  // A column default or a computed column: every post is followed by the
  // refresh statement.
  bool NeedsRefresh() const { return needs_refresh_; }
  bool UpdatesPending() const { return updates_pending_; }

  // Runs the select text when it is not a query ("use Open for a Select
  // Statement" when it is).
  void ExecSQL();
  void FetchAll();
  // Searches the records (fetching further rows as needed) for the first
  // whose fields (names separated by ";") hold the values, NULL matching
  // only NULL; moves to it and answers true, or stays and answers false.
  // A count of values unlike the count of fields raises.
  bool Locate(const String& fields, const std::vector<OraVariant>& values, unsigned options);
  // The values of `result_fields` in the first record that matches, without
  // moving; empty when none matches (one field: its value; more: an array).
  OraVariant Lookup(const String& fields, const std::vector<OraVariant>& values,
                    const String& result_fields);
  // Cached updates: writes the pending records ("CachedUpdates not enabled"
  // when off), or restores the values they had.
  void ApplyUpdates();
  void CancelUpdates();

  void Post() override;
  // Fills the parameters of `q` from the record being written (else the
  // current record) the way the record set fills its own statements; for an
  // update object's statements.
  void FillParams(TIBSQL& q);
  bool BookmarkValid(const TBookmark& bookmark) override;
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;

  // ---- events -----------------------------------------------------------------
  TNotifyEvent BeforeDatabaseDisconnect, AfterDatabaseDisconnect, DatabaseFree;
  TNotifyEvent BeforeTransactionEnd, AfterTransactionEnd, TransactionFree;
  TIBUpdateErrorEvent OnUpdateError;
  TIBUpdateRecordEvent OnUpdateRecord;

  using TDataSet::GetFieldData;
  bool GetFieldData(TField* field, void* buffer) override;
  bool GetFieldData(int field_no, void* buffer) override;
  void SetFieldData(TField* field, const void* buffer) override;
  // Final: a text field of this record set calls it without the table.
  void SetFieldData(TField* field, const void* buffer, bool native) final;
  TUpdateStatus UpdateStatus() override;
  // Over the current record's blob (raw bytes) or memo (UTF-16 units) value;
  // the server's blob is read when the stream is made. A written value is
  // kept until Post creates its blob; a writing mode needs what a field
  // write needs ("Not in edit mode", "Cannot update. (No update query)").
  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInitFieldDefs() override;
  void InternalHandleException() override {}
  bool IsCursorOpen() const override { return open_; }
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) override;

  int GetRecordSize() override { return static_cast<int>(store_.RecordSize()); }
  void GetBookmarkData(TRecordBuffer buffer, void* data) override;
  void SetBookmarkData(TRecordBuffer buffer, const void* data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override;
  void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
  void InternalGotoBookmark(const void* bookmark) override;
  void InternalSetToRecord(TRecordBuffer buffer) override;
  void InternalFirst() override { current_record_ = -1; }
  void InternalLast() override;
  void InternalInitRecord(TRecordBuffer buffer) override;
  void ClearCalcFields(TRecordBuffer buffer) override;
  void InternalEdit() override;
  void InternalPost() override;
  void InternalCancel() override { pending_blobs_.clear(); }
  void InternalDelete() override;
  void InternalRefresh() override;
  bool GetCanModify() override;
  int GetRecNo() override;
  bool IsUniDirectional() const override { return uni_directional_; }
  TField* CreateDefaultField(const TFieldDef& def) override;
  // The digits of the select column a numeric definition describes.
  int ColumnPrecision(const TFieldDef& def);
  void DoOnNewRecord() override;

  void InternalPrepare();
  void InternalUnPrepare();

 private:
  void ActivateConnection();
  // Starts the transaction when needed; true when this call started it.
  bool ActivateTransaction();
  void PrepareUpdate(TIBSQL& q, TLiveModeFlag flag);
  void SyncStatements();
  void BuildFieldDefs();
  void ResetStore();
  // Tells the text fields the record set they are bound to while open.
  void BindTextFields(TIBCustomDataSet* dataset);
  void ReleaseRecords();
  std::array<TIBSQL*, 5> AllStatements() const;
  // The select column behind a field; -1 when it is not among them.
  int ColumnOf(const TField* field) const;
  int CalcIndexOf(const TField* field) const;
  void CheckEditState();
  // Stores a field's value: `native` in its native form, `text` (a wide
  // text field's outside form) or `milliseconds` (a date or time field's
  // value as the native form would give it); all null is NULL.
  void PutFieldValue(TField* field, const void* native, const String* text,
                     const double* milliseconds = nullptr);
  // The writer's statements need the record set prepared.
  void CheckWritable(const uint8_t* record);
  // Sends one record's change to the server (through the update object
  // when there is one); a modify or delete that reaches no row raises.
  void SendChange(TUpdateKind kind, uint8_t* record);
  // Re-reads `record` through the refresh statement (the update object's
  // when it has one); false when no row came.
  bool RereadRecord(uint8_t* record);
  // Cached updates: notes a posted change instead of sending it.
  void LogChange(bool inserting, uint8_t* record, const uint8_t* stored);
  void ApplyGenerator();
  // ib_dataset_master.cpp
  void LinkMasterFields();
  void CopyMasterParams();
  void MasterChanged();
  void ApplyRecord(int position);
  // Runs `sql` (no parameters, no rows) in the record set's transaction.
  void ExecuteInTransaction(const String& sql);
  void OnTransactionEnding();
  // Creates the blobs written during the current edit and puts their ids
  // into `record`; a memo's text the connection cannot hold raises first.
  void WritePendingBlobs(uint8_t* record);
  // The value of blob column `column` in `record`, as the field's stream
  // carries it.
  std::vector<uint8_t> StoredBlobValue(const TField* field, uint8_t* record, int column);
  bool HasPendingBlob(const TField* field, int column) const;
  // Takes the pending count before its statement closes or goes.
  void SettleRowsAffected();
  void OnDatabaseDisconnecting();
  void Fire(const TNotifyEvent& e) {
    if (e) e(this);
  }
  bool Visible(int position) const { return store_.Visible(position, uni_directional_); }
  // Fetches the next row of the select into the store; false at its end.
  bool FetchRow() { return open_ && reader_.ReadNext(); }
  // The position of the first record matching the search; -1 when none.
  int FindRecord(const String& fields, const std::vector<OraVariant>& values, unsigned options);
  // A field's value in the stored record at `position`.
  OraVariant StoredValue(TField* field, int position);

  TIBBase base_;
  std::unique_ptr<TIBSQL> q_select_;
  ib_engine::RowStore store_;
  ib_engine::RowReader reader_;
  ib_engine::RowWriter writer_;
  bool internal_prepared_ = false;
  unsigned live_mode_ = 0;
  bool open_ = false;
  bool needs_refresh_ = false;
  bool forced_refresh_ = false;
  bool param_check_ = true;
  bool uni_directional_ = false;
  bool cached_updates_ = false;
  bool updates_pending_ = false;
  int buffer_chunks_ = 1000;
  int current_record_ = -1;
  int rows_affected_ = 0;
  // The statement whose count RowsAffected has yet to ask for.
  TIBSQL* rows_affected_from_ = nullptr;
  // For each column definition, the select column it came from.
  std::vector<int> mapped_field_position_;
  std::vector<const TField*> calc_fields_;
  // Fields of computed columns and their select columns.
  std::vector<std::pair<const TField*, int>> internal_calc_columns_;
  int db_key_column_ = -1;
  TIBGeneratorField generator_field_;
  TIBDataSetUpdateObject* update_object_ = nullptr;
  uint8_t* writing_record_ = nullptr;
  // The buffer a post has just copied into the store: the re-read that
  // follows finds it the same and need not copy it back.
  const uint8_t* posted_record_ = nullptr;
  // Blob and memo values written during the current edit, by select column,
  // until Post turns them into server blobs.
  struct PendingBlob {
    const TField* field;
    std::vector<uint8_t> bytes;
  };
  std::map<int, PendingBlob> pending_blobs_;
  // While searching: the stored record field values are read from.
  uint8_t* search_record_ = nullptr;
  std::unique_ptr<TMasterDataLink> master_link_;
};

// The record set as the service module stores it.
class TIBDataSet : public TIBCustomDataSet {
 public:
  explicit TIBDataSet(TComponent* owner) : TIBCustomDataSet(owner) {}
};

}  // namespace kavo

#endif  // KAVO_IB_IB_DATASET_H_
