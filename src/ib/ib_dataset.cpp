// TIBCustomDataSet: connection and transaction, preparing, the column
// definitions, open and close, and what the connection and the transaction
// tell it.
#include "ib/ib_dataset.h"

#include "ib/ib_errors.h"
#include "ib/ib_schema.h"
#include "recordset/database_error.h"

namespace kavo {

namespace {

const Char* const kDbKeyAlias = u"IB_INTERNAL_DBKEY";

}  // namespace

TIBCustomDataSet::TIBCustomDataSet(TComponent* owner)
    : roles::IBDataSet(owner),
      base_(this),
      q_select_(std::make_unique<TIBSQL>(nullptr)),
      store_(this),
      reader_(*q_select_, store_),
      writer_(*q_select_, store_, reader_) {
  q_select_->SetGoToFirstRecordOnExecute(false);
  master_link_ = std::make_unique<TMasterDataLink>(this);
  master_link_->OnMasterChange = [this] { MasterChanged(); };
  master_link_->OnMasterDisable = [this] { MasterChanged(); };
  for (TIBSQL* q : writer_.Statements()) {
    q->OnSQLChanging = [this](TComponent*) {
      Close();
      InternalUnPrepare();
    };
  }
  q_select_->OnSQLChanging = [this](TComponent*) {
    Close();
    InternalUnPrepare();
    FieldDefs().Clear();
  };
  SetBookmarkSize(static_cast<int>(sizeof(int32_t)));
  base_.OnBeforeDatabaseDisconnect = [this] { OnDatabaseDisconnecting(); };
  base_.OnAfterDatabaseDisconnect = [this] { Fire(AfterDatabaseDisconnect); };
  base_.OnDatabaseFree = [this] {
    if (Active()) Close();
    InternalUnPrepare();
    Fire(DatabaseFree);
  };
  base_.OnBeforeTransactionEnd = [this] { OnTransactionEnding(); };
  base_.OnAfterTransactionEnd = [this] { Fire(AfterTransactionEnd); };
  base_.OnTransactionFree = [this] {
    if (Active()) Close();
    InternalUnPrepare();
    Fire(TransactionFree);
  };
  base_.IsOpenDataSet = [this] { return Active(); };
  base_.OnCloseDataSet = [this] { Close(); };
}

TIBCustomDataSet::~TIBCustomDataSet() {
  DestroyCursor();
  BindTextFields(nullptr);  // also after an open that failed
  master_link_.reset();
}

// ---- connection and transaction ---------------------------------------------------

void TIBCustomDataSet::SetDatabase(TIBDatabase* db) {
  if (db == base_.Database()) return;
  if (Active()) IBError(ibceDatasetOpen);
  InternalUnPrepare();
  base_.SetDatabase(db);
  SyncStatements();
}

void TIBCustomDataSet::SetTransaction(TIBTransaction* tr) {
  if (tr == base_.Transaction()) return;
  if (Active()) IBError(ibceDatasetOpen);
  InternalUnPrepare();
  base_.SetTransaction(tr);
  SyncStatements();
}

TIBTransaction& TIBCustomDataSet::Transaction() {
  base_.CheckTransaction();
  return *base_.Transaction();
}

std::array<TIBSQL*, 5> TIBCustomDataSet::AllStatements() const {
  const std::array<TIBSQL*, 4> updates = writer_.Statements();
  return {q_select_.get(), updates[0], updates[1], updates[2], updates[3]};
}

void TIBCustomDataSet::SyncStatements() {
  for (TIBSQL* q : AllStatements()) {
    q->SetTransaction(base_.Transaction());
    q->SetDatabase(base_.Database());
    if (q->Transaction() != base_.Transaction()) q->SetTransaction(base_.Transaction());
  }
}

void TIBCustomDataSet::ActivateConnection() {
  base_.CheckDatabase();
  base_.CheckTransaction();
  if (!Database()->Connected()) Database()->Open();
}

bool TIBCustomDataSet::ActivateTransaction() {
  TIBTransaction& tr = Transaction();
  if (tr.Active()) return false;
  tr.AutoStartTransaction();
  return tr.Active();
}

void TIBCustomDataSet::SetUniDirectional(bool value) {
  if (value == uni_directional_) return;
  if (Active()) IBError(ibceDatasetOpen);
  uni_directional_ = value;
}

void TIBCustomDataSet::SetCachedUpdates(bool value) {
  if (value == cached_updates_) return;
  if (Active()) IBError(ibceDatasetOpen);
  cached_updates_ = value;
}

// ---- preparing ---------------------------------------------------------------------

void TIBCustomDataSet::PrepareUpdate(TIBSQL& q, TLiveModeFlag flag) {
  if (Trim(q.SQL().Text()).empty()) return;
  try {
    if (!q.Prepared()) q.Prepare();
    live_mode_ |= flag;
  } catch (const EIBInterBaseRoleError&) {
    // No permission for this statement: the record set stays readable.
  }
}

void TIBCustomDataSet::InternalPrepare() {
  if (internal_prepared_) return;
  if (Trim(q_select_->SQL().Text()).empty()) IBError(ibceEmptySQLStatement);
  ActivateConnection();
  bool started = ActivateTransaction();
  Database()->CheckActive();
  Transaction().CheckInTransaction();
  q_select_->SetParamCheck(param_check_);
  if (!q_select_->Prepared()) q_select_->Prepare();
  live_mode_ = 0;
  PrepareUpdate(QDelete(), lmDelete);
  PrepareUpdate(QInsert(), lmInsert);
  PrepareUpdate(QModify(), lmModify);
  PrepareUpdate(QRefresh(), lmRefresh);
  writer_.ForgetSources();
  BuildFieldDefs();
  internal_prepared_ = true;
  if (started) Transaction().CheckAutoStop();
}

void TIBCustomDataSet::InternalUnPrepare() {
  SettleRowsAffected();
  internal_prepared_ = false;
  live_mode_ = 0;
  writer_.ForgetSources();
}

void TIBCustomDataSet::UnPrepare() {
  if (Active()) IBError(ibceDatasetOpen);
  InternalUnPrepare();
  for (TIBSQL* q : AllStatements()) q->FreeHandle();
}

bool TIBCustomDataSet::CanInsert() const {
  return (live_mode_ & lmInsert) != 0 ||
         (update_object_ != nullptr && !Trim(update_object_->GetSQL(ukInsert)).empty());
}

bool TIBCustomDataSet::CanEdit() const {
  if ((live_mode_ & lmModify) != 0 ||
      (update_object_ != nullptr && !Trim(update_object_->GetSQL(ukModify)).empty()))
    return true;
  TRecordBuffer rec = ActiveBuffer();
  return cached_updates_ && rec != nullptr &&
         TIBRecordLayout::Header(rec).cached_update_status == cusInserted;
}

bool TIBCustomDataSet::CanDelete() const {
  return (live_mode_ & lmDelete) != 0 ||
         (update_object_ != nullptr && !Trim(update_object_->GetSQL(ukDelete)).empty());
}

bool TIBCustomDataSet::CanRefresh() const {
  return (live_mode_ & lmRefresh) != 0 ||
         (update_object_ != nullptr && !Trim(update_object_->RefreshSQL()).empty());
}

bool TIBCustomDataSet::GetCanModify() {
  // Asked at every insert and edit: a live mode answers without the calls.
  if ((live_mode_ & (lmInsert | lmModify | lmDelete)) != 0) return true;
  return CanInsert() || CanEdit() || CanDelete() || cached_updates_;
}

// ---- column definitions ------------------------------------------------------------

void TIBCustomDataSet::InternalInitFieldDefs() {
  if (!internal_prepared_) {
    InternalPrepare();
    return;
  }
  BuildFieldDefs();
}

void TIBCustomDataSet::BuildFieldDefs() {
  FieldDefs().Clear();
  mapped_field_position_.clear();
  needs_refresh_ = false;
  db_key_column_ = -1;
  TIBXSQLDA& columns = q_select_->Current();
  for (int i = 0; i < columns.Count(); ++i) {
    TIBXSQLVAR& var = columns[i];
    if (var.Name() == kDbKeyAlias) {
      db_key_column_ = i;
      continue;
    }
    const short type = var.SQLType();
    const short scale = var.SQLScale();
    TFieldDef def;
    def.Name = var.AliasName();
    def.FieldNo = i + 1;
    switch (type) {
      case SQL_TEXT: case SQL_VARYING:
        def.DataType = ftWideString;
        def.Size = std::max(var.Size(), 0) / std::max(var.BytesPerCharacter(), 1);
        break;
      case SQL_DOUBLE: case SQL_FLOAT: def.DataType = ftFloat; break;
      case SQL_SHORT: case SQL_LONG: case SQL_INT64:
        if (scale == 0) {
          def.DataType = type == SQL_SHORT ? ftSmallint : type == SQL_LONG ? ftInteger : ftLargeint;
        } else if (type == SQL_SHORT || scale >= -4) {
          def.DataType = ftBCD;
          def.Size = -scale;
        } else {
          TField* persistent = FindField(def.Name);
          bool as_float = (Database()->SQLDialect() == 1 && type == SQL_LONG) ||
                          (persistent != nullptr && persistent->DataType() == ftFloat);
          def.DataType = as_float ? ftFloat : ftFMTBcd;
          def.Size = -scale;
        }
        break;
      case SQL_TIMESTAMP: def.DataType = ftDateTime; break;
      case SQL_TYPE_DATE: def.DataType = ftDate; break;
      case SQL_TYPE_TIME: def.DataType = ftTime; break;
      case SQL_BLOB:
        def.DataType = var.SQLSubtype() == 1 ? ftWideMemo : ftBlob;
        def.Size = 8;
        break;
      case SQL_BOOLEAN: case kSqlBooleanInterBase: def.DataType = ftBoolean; break;
      default: continue;  // arrays, quads, D_FLOAT: no field type
    }
    String relation = var.RelName();
    String column = var.SqlName();
    def.Required = !var.IsNullable() && !relation.empty();
    if (!relation.empty() && !column.empty()) {
      const TIBRelationFacts& facts = Database()->Schema().Facts(*Database(), relation);
      if (facts.computed.count(column) != 0) {
        def.ReadOnly = true;
        def.InternalCalcField = true;
        needs_refresh_ = true;
      } else if (facts.with_default.count(column) != 0) {
        def.Required = false;
        needs_refresh_ = true;
      }
    }
    FieldDefs().Add(def);
    mapped_field_position_.push_back(i);
  }
}

int TIBCustomDataSet::ColumnPrecision(const TFieldDef& def) {
  TIBXSQLDA& columns = q_select_->Current();
  if (def.FieldNo < 1 || def.FieldNo > columns.Count()) return 0;
  const int precision = columns[def.FieldNo - 1].SQLPrecision();
  return precision == def.Size ? precision + 1 : precision;
}

TField* TIBCustomDataSet::CreateDefaultField(const TFieldDef& def) {
  TField* field = nullptr;
  switch (def.DataType) {
    case ftWideString: case ftFixedWideChar:
      field = new TIBStringField(this);
      field->SetSize(def.Size);
      return field;
    case ftBCD: {
      if (def.Size > 4) return TDataSet::CreateDefaultField(def);
      auto* bcd = new TIBBCDField(this);
      bcd->SetSize(def.Size);
      bcd->SetPrecision(ColumnPrecision(def));
      return bcd;
    }
    case ftFMTBcd: {
      auto* bcd = new TFMTBCDField(this);
      bcd->SetSize(def.Size);
      bcd->SetPrecision(ColumnPrecision(def));
      return bcd;
    }
    case ftBoolean:
      return new TIBBooleanField(this);
    default:
      return TDataSet::CreateDefaultField(def);
  }
}

// ---- open and close ----------------------------------------------------------------

void TIBCustomDataSet::InternalOpen() {
  ActivateConnection();
  ActivateTransaction();
  if (Trim(q_select_->SQL().Text()).empty()) IBError(ibceEmptyQuery);
  if (!internal_prepared_) InternalPrepare();
  if (q_select_->SQLType() == SQLSelect) {
    if (DefaultFields()) CreateFields();
    BindFields(true);
    BindTextFields(this);
    LinkMasterFields();
    CopyMasterParams();
    q_select_->ExecQuery();
    ResetStore();
    open_ = true;
    // The first row is fetched here, not by the move that follows: a row the
    // server cannot produce then fails the open, which leaves the record set
    // closed, instead of leaving it open and empty.
    FetchRow();
  } else {
    q_select_->ExecQuery();
  }
  rows_affected_from_ = q_select_.get();
}

int TIBCustomDataSet::RowsAffected() {
  SettleRowsAffected();
  return rows_affected_;
}

void TIBCustomDataSet::SettleRowsAffected() {
  TIBSQL* from = rows_affected_from_;
  rows_affected_from_ = nullptr;
  if (from == nullptr) return;
  try {
    rows_affected_ = from->RowsAffected();
  } catch (const Exception&) {
    rows_affected_ = -1;
  }
}

void TIBCustomDataSet::ResetStore() {
  // A computed column's field is not bound to a column number by the model.
  internal_calc_columns_.clear();
  for (int i = 0; i < FieldCount(); ++i) {
    TField* f = Fields(i);
    if (f->FieldKind() != fkInternalCalc) continue;
    int def = FieldDefs().IndexOf(f->FieldName());
    if (def >= 0) internal_calc_columns_.emplace_back(f, FieldDefs()[def].FieldNo - 1);
  }
  calc_fields_.clear();
  std::vector<int> calc_sizes;
  for (int i = 0; i < FieldCount(); ++i) {
    TField* f = Fields(i);
    if (f->FieldKind() != fkCalculated && f->FieldKind() != fkLookup) continue;
    calc_fields_.push_back(f);
    calc_sizes.push_back(f->GetDataSize());
  }
  store_.Reset(q_select_->Current(), calc_sizes, db_key_column_,
               uni_directional_ ? 2 : buffer_chunks_, uni_directional_, cached_updates_);
  current_record_ = -1;
  updates_pending_ = false;
}

void TIBCustomDataSet::InternalClose() {
  if (TIBTransaction* tr = base_.Transaction()) tr->CheckAutoStop();
  if (!IsDestroyingCursor() && q_select_->Open()) q_select_->Close();
  BindTextFields(nullptr);
  pending_blobs_.clear();
  ReleaseRecords();
}

void TIBCustomDataSet::BindTextFields(TIBCustomDataSet* dataset) {
  for (int i = 0; i < FieldCount(); ++i)
    if (auto* field = dynamic_cast<TIBStringField*>(Fields(i))) field->bound_ = dataset;
}

void TIBCustomDataSet::ReleaseRecords() {
  store_.Clear();
  calc_fields_.clear();
  internal_calc_columns_.clear();
  current_record_ = -1;
  updates_pending_ = false;
  open_ = false;
}

void TIBCustomDataSet::ExecSQL() {
  ActivateConnection();
  ActivateTransaction();
  if (!internal_prepared_) InternalPrepare();
  if (q_select_->SQLType() == SQLSelect) IBError(ibceIsASelectStatement);
  q_select_->ExecQuery();
  rows_affected_from_ = q_select_.get();
}

// ---- notifications -----------------------------------------------------------------

void TIBCustomDataSet::OnDatabaseDisconnecting() {
  SettleRowsAffected();
  if (Active()) Close();
  InternalUnPrepare();
  Fire(BeforeDatabaseDisconnect);
}

void TIBCustomDataSet::OnTransactionEnding() {
  SettleRowsAffected();
  if (Active()) Close();
  for (TIBSQL* q : AllStatements()) q->FreeHandle();
  InternalUnPrepare();
  Fire(BeforeTransactionEnd);
}

}  // namespace kavo
