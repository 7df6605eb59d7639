// TIBCustomDataSet: writing records back (post, delete, refresh), filling
// statement parameters from a record, the generator and cached updates.
#include <cmath>
#include <cstring>

#include "ib/ib_dataset.h"
#include "ib/ib_errors.h"
#include "recordset/database_error.h"
#include "rtl/datetime.h"
#include "rtl/format.h"

namespace kavo {

using ib_engine::RowWriteResult;

namespace {

using L = TIBRecordLayout;

const Char* const kApplyPoint = u"IB_APPLY_UPDATES";

}  // namespace

// ---- sending one record ------------------------------------------------------------

void TIBCustomDataSet::CheckWritable(const uint8_t* record) {
  if (record == nullptr) IBError(ibceBufferNotSet);
  if (!internal_prepared_) InternalPrepare();
}

void TIBCustomDataSet::FillParams(TIBSQL& q) {
  uint8_t* record = writing_record_ != nullptr ? writing_record_ : ActiveBuffer();
  CheckWritable(record);
  writer_.FillParams(q, writer_.SourcesOf(q), record, store_.BeforeChange(record, cached_updates_));
}

void TIBCustomDataSet::SendChange(TUpdateKind kind, uint8_t* record) {
  struct Writing {
    uint8_t*& slot;
    ~Writing() { slot = nullptr; }
  } writing{writing_record_};
  writing_record_ = record;
  if (update_object_ != nullptr) {
    update_object_->Apply(kind, *this);
    return;
  }
  CheckWritable(record);
  // An insert has no row before it: its OLD_ names read the record itself.
  uint8_t* before = kind == ukInsert ? record : store_.BeforeChange(record, cached_updates_);
  const RowWriteResult result = writer_.Write(kind, record, before);
  rows_affected_from_ = result.count_from;
  if (result.count_from != nullptr) return;
  // A row another transaction deleted (or a key that stands for no row)
  // matches nothing: the user's change would be lost without a word.
  rows_affected_ = result.rows_affected;
  if (rows_affected_ == 0) IBError(ibceNoRecordsAffected);
}

void TIBCustomDataSet::Post() {
  const bool generated = generator_field_.IsComplete();
  if (generated && generator_field_.ApplyEvent == gamOnServer)
    if (TField* f = FindField(generator_field_.Field)) f->SetRequired(false);
  UpdateRecord();
  if (State() == dsInsert && generated && generator_field_.ApplyEvent == gamOnPost)
    ApplyGenerator();
  TDataSet::Post();
}

void TIBCustomDataSet::InternalPost() {
  if (!(State() == dsInsert && (live_mode_ & lmInsert) != 0)) CheckEditState();
  uint8_t* rec = ActiveBuffer();
  if (!pending_blobs_.empty()) WritePendingBlobs(rec);
  TIBRecordHeader& h = L::Header(rec);
  const bool inserting = State() == dsInsert;
  const TIBRecordLayout& layout = store_.Layout();
  // Room first: a new record takes the store's next position.
  uint8_t* stored = inserting ? store_.Next() : store_.At(h.record_number);
  if (inserting) {
    h.record_number = store_.Count();
    // An update object and the change log read the stored copy; the insert
    // statement reads the record itself.
    if (update_object_ != nullptr || cached_updates_) layout.CopyRecord(stored, rec);
  }
  if (cached_updates_) {
    LogChange(inserting, rec, stored);
  } else {
    SendChange(inserting ? ukInsert : ukModify, rec);
    h.cached_update_status = cusUnmodified;
  }
  h.update_status = usUnmodified;
  h.flags = bfCurrent;
  SetModified(false);
  layout.CopyRecord(stored, rec);
  if (!cached_updates_ && (forced_refresh_ || needs_refresh_) && CanRefresh()) {
    RereadRecord(stored);
    layout.CopyRecord(rec, stored);
  }
  if (inserting) {
    current_record_ = store_.Count();
    store_.Added();
  }
  posted_record_ = rec;
}

void TIBCustomDataSet::LogChange(bool inserting, uint8_t* record, const uint8_t* stored) {
  TIBRecordHeader& h = L::Header(record);
  const uint8_t status = L::Header(const_cast<uint8_t*>(stored)).cached_update_status;
  if (inserting) {
    h.cached_update_status = cusInserted;
  } else if (status == cusUnmodified) {
    store_.KeepOriginal(h.record_number);
    h.cached_update_status = cusModified;
  } else {
    h.cached_update_status = status;
  }
  updates_pending_ = true;
}

void TIBCustomDataSet::InternalEdit() {
  if (!CanEdit()) IBError(ibceCannotUpdate);
  pending_blobs_.clear();
}

void TIBCustomDataSet::InternalDelete() {
  if (!CanDelete() && !cached_updates_) IBError(ibceCannotDelete);
  uint8_t* rec = ActiveBuffer();
  const int position = L::Header(rec).record_number;
  TIBRecordHeader& h = L::Header(store_.At(position));
  if (cached_updates_) {
    if (h.cached_update_status == cusInserted) {
      h.cached_update_status = cusUninserted;
    } else {
      if (h.cached_update_status == cusUnmodified) store_.KeepOriginal(position);
      h.cached_update_status = cusDeleted;
    }
    updates_pending_ = true;
  } else {
    SendChange(ukDelete, rec);
    h.update_status = usDeleted;
  }
  store_.CountDeleted(1);
}

// ---- refresh -----------------------------------------------------------------------------

bool TIBCustomDataSet::RereadRecord(uint8_t* record) {
  CheckWritable(record);
  uint8_t* before = store_.BeforeChange(record, cached_updates_);
  if (update_object_ == nullptr || Trim(update_object_->RefreshSQL()).empty()) {
    if ((live_mode_ & lmRefresh) == 0) IBError(ibceCannotRefresh);
    return writer_.Reread(nullptr, record, before).found;
  }
  TIBSQL q(nullptr);
  q.SetDatabase(Database());
  q.SetTransaction(AssignedTransaction());
  q.SetGoToFirstRecordOnExecute(false);
  q.SQL().SetText(update_object_->RefreshSQL());
  return writer_.Reread(&q, record, before).found;
}

void TIBCustomDataSet::InternalRefresh() {
  posted_record_ = nullptr;
  if (!CanRefresh()) IBError(ibceCannotRefresh);
  TRecordBuffer rec = ActiveBuffer();
  if (rec == nullptr || !Visible(L::Header(rec).record_number)) return;
  RereadRecord(store_.At(L::Header(rec).record_number));
}

// ---- generator -----------------------------------------------------------------------------

void TIBCustomDataSet::ApplyGenerator() {
  if (!generator_field_.IsComplete()) return;
  TField& field = FieldByName(generator_field_.Field);
  if (!field.IsNull()) return;
  const String& generator = generator_field_.Generator;
  String name = Database() != nullptr && Database()->SQLDialect() == 1
                    ? UpperCase(Trim(generator))
                    : u"\"" + ReplaceAll(generator, u"\"", u"\"\"") + u"\"";
  TIBSQL q(nullptr);
  q.SetDatabase(Database());
  q.SetTransaction(AssignedTransaction());
  q.SQL().SetText(Format(u"SELECT GEN_ID(%s, %d) FROM RDB$DATABASE",
                         {name, generator_field_.IncrementBy}));
  q.ExecQuery();
  int64_t value = q.Fields(0).AsInt64();
  q.Close();
  field.SetAsLargeInt(value);
}

void TIBCustomDataSet::DoOnNewRecord() {
  if (generator_field_.IsComplete() && generator_field_.ApplyEvent == gamOnNewRecord)
    ApplyGenerator();
  TDataSet::DoOnNewRecord();
}

// ---- cached updates ------------------------------------------------------------------------

void TIBCustomDataSet::ApplyRecord(int position) {
  uint8_t* rec = store_.At(position);
  TIBRecordHeader& h = L::Header(rec);
  TUpdateKind kind;
  switch (h.cached_update_status) {
    case cusModified: kind = ukModify; break;
    case cusInserted: kind = ukInsert; break;
    case cusDeleted: kind = ukDelete; break;
    default: return;
  }
  TIBUpdateAction action = uaFail;
  for (;;) {
    try {
      action = uaApply;
      if (OnUpdateRecord) {
        struct Writing {
          uint8_t*& slot;
          ~Writing() { slot = nullptr; }
        } writing{writing_record_};
        writing_record_ = rec;
        action = uaFail;
        OnUpdateRecord(*this, kind, action);
        if (action == uaFail) IBError(ibceUpdateFailed);
        if (action == uaAbort) IBError(ibceUserAbort);
      }
      if (action == uaApply) {
        SendChange(kind, rec);
        action = uaApplied;
      }
    } catch (EDatabaseError& e) {
      action = uaFail;
      if (OnUpdateError) OnUpdateError(*this, e, kind, action);
      if (action == uaFail) throw;
      if (action == uaAbort) IBError(ibceUserAbort);
      if (action == uaRetry) continue;
    }
    break;
  }
  if (action != uaApplied) return;
  if (kind == ukDelete) h.update_status = usDeleted;
  h.cached_update_status = cusUnmodified;
}

void TIBCustomDataSet::ExecuteInTransaction(const String& sql) {
  TIBSQL q(nullptr);
  q.SetDatabase(Database());
  q.SetTransaction(AssignedTransaction());
  q.SetParamCheck(false);
  q.SQL().SetText(sql);
  q.ExecQuery();
}

void TIBCustomDataSet::ApplyUpdates() {
  if (!cached_updates_) IBError(ibceNotCachedUpdates);
  if (!Active()) return;
  CheckBrowseMode();
  ActivateTransaction();
  // All or nothing: a failure part-way takes back what was written before it
  // and leaves every record pending, so that a retry writes each change once.
  struct Status {
    uint8_t cached_update_status, update_status;
  };
  std::vector<Status> before(static_cast<size_t>(store_.Count()));
  for (int position = 0; position < store_.Count(); ++position) {
    const TIBRecordHeader& h = L::Header(store_.At(position));
    before[static_cast<size_t>(position)] = {h.cached_update_status, h.update_status};
  }
  ExecuteInTransaction(String(u"SAVEPOINT ") + kApplyPoint);
  try {
    for (int position = 0; position < store_.Count(); ++position) ApplyRecord(position);
  } catch (...) {
    try {
      ExecuteInTransaction(String(u"ROLLBACK TO SAVEPOINT ") + kApplyPoint);
    } catch (const Exception&) {
      // The error that ended the run is the one to report.
    }
    for (int position = 0; position < store_.Count() && position < static_cast<int>(before.size());
         ++position) {
      TIBRecordHeader& h = L::Header(store_.At(position));
      h.cached_update_status = before[static_cast<size_t>(position)].cached_update_status;
      h.update_status = before[static_cast<size_t>(position)].update_status;
    }
    throw;
  }
  ExecuteInTransaction(String(u"RELEASE SAVEPOINT ") + kApplyPoint);
  updates_pending_ = false;
  for (int position = 0; position < store_.Count(); ++position) {
    uint8_t status = L::Header(store_.At(position)).cached_update_status;
    if (status == cusModified || status == cusInserted || status == cusDeleted)
      updates_pending_ = true;
  }
}

void TIBCustomDataSet::CancelUpdates() {
  if (!cached_updates_ || !Active()) return;
  if (State() == dsEdit || State() == dsInsert) Cancel();
  for (int position = 0; position < store_.Count(); ++position) {
    uint8_t* rec = store_.At(position);
    switch (L::Header(rec).cached_update_status) {
      case cusModified:
      case cusDeleted: {
        bool was_deleted = L::Header(rec).cached_update_status == cusDeleted;
        store_.RestoreOriginal(position);
        L::Header(rec).cached_update_status = cusUnmodified;
        if (was_deleted) store_.CountDeleted(-1);
        break;
      }
      case cusInserted:
        L::Header(rec).cached_update_status = cusUninserted;
        store_.CountDeleted(1);
        break;
      default:
        break;
    }
  }
  updates_pending_ = false;
  Resync();
}

}  // namespace kavo
