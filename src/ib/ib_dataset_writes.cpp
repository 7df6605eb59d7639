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

namespace {

using L = TIBRecordLayout;

const Char* const kDbKeyAlias = u"IB_INTERNAL_DBKEY";
const Char* const kApplyPoint = u"IB_APPLY_UPDATES";

TDateTime MillisecondsToDateTime(double ms) {
  double days = std::floor(ms / kMSecsPerDay);
  TTimeStamp ts{static_cast<int32_t>(ms - days * kMSecsPerDay), static_cast<int32_t>(days)};
  return TimeStampToDateTime(ts);
}

void AssignParam(TIBXSQLVAR& param, uint8_t* record, const TIBFieldSlot& slot) {
  // A value as the server gave it goes back in the server's own form: an
  // edit of another column leaves its fractions of a second alone.
  if (slot.from_server && SlotKind(slot) == TSlotKind::TimeStamp) {
    param.SetAsServerTimeStamp(SlotServerTimeStamp(record, slot));
    return;
  }
  if (slot.from_server && SlotKind(slot) == TSlotKind::Time) {
    param.SetAsServerTime(SlotServerTime(record, slot));
    return;
  }
  switch (SlotKind(slot)) {
    case TSlotKind::Text: param.SetAsString(SlotText(record, slot)); return;
    case TSlotKind::Float: param.SetAsDouble(SlotAsDouble(record, slot)); return;
    case TSlotKind::Int32:
      param.SetAsInteger(static_cast<int32_t>(SlotAsInt64(record, slot)));
      return;
    case TSlotKind::Int64: param.SetAsInt64(SlotAsInt64(record, slot)); return;
    case TSlotKind::Currency:
      // Beyond the currency form: the server's own digits, as text.
      if (slot.unscaled)
        param.SetAsString(SlotDecimalText(record, slot));
      else
        param.SetAsCurrency(SlotAsCurrency(record, slot));
      return;
    case TSlotKind::PackedDecimal: param.SetAsString(SlotDecimalText(record, slot)); return;
    case TSlotKind::TimeStamp:
      param.SetAsDateTime(MillisecondsToDateTime(SlotAsMilliseconds(record, slot)));
      return;
    case TSlotKind::Date:
      param.SetAsDate(MillisecondsToDateTime(SlotAsMilliseconds(record, slot)));
      return;
    case TSlotKind::Time:
      param.SetAsTime(MillisecondsToDateTime(SlotAsMilliseconds(record, slot)));
      return;
    case TSlotKind::Raw: {
      const uint8_t* data = L::Data(record, slot);
      if (slot.sql_type == SQL_BLOB || slot.sql_type == SQL_ARRAY || slot.sql_type == SQL_QUAD) {
        ISC_QUAD id{};
        std::memcpy(&id, data, std::min<size_t>(sizeof id, slot.data_size));
        param.SetAsQuad(id);
      } else if (slot.sql_type == SQL_BOOLEAN || slot.sql_type == kSqlBooleanInterBase) {
        param.SetAsBoolean(std::any_of(data, data + slot.data_size, [](uint8_t b) { return b; }));
      }
      return;
    }
  }
}

}  // namespace

// ---- parameters ----------------------------------------------------------------------

std::vector<TIBCustomDataSet::TParamSource> TIBCustomDataSet::ParamSources(TIBSQL& q) {
  TIBXSQLDA& params = q.Params();
  TIBXSQLDA& columns = q_select_->Current();
  std::vector<TParamSource> sources(static_cast<size_t>(params.Count()));
  for (int i = 0; i < params.Count(); ++i) {
    String name = params.Names()[static_cast<size_t>(i)];
    TParamSource& source = sources[static_cast<size_t>(i)];
    if (StartsText(u"OLD_", name)) {
      source.old = true;
      name.erase(0, 4);
    } else if (StartsText(u"NEW_", name)) {
      name.erase(0, 4);
    }
    if (TIBXSQLVAR* column = columns.ByName(name)) {
      source.column = column->Index();
      source.db_key = column->Name() == kDbKeyAlias;
    }
  }
  return sources;
}

const std::vector<TIBCustomDataSet::TParamSource>& TIBCustomDataSet::SourcesFor(
    TStatementIndex index, TIBSQL& q) {
  if (!sources_built_[index]) {
    sources_[index] = ParamSources(q);
    sources_built_[index] = true;
  }
  return sources_[index];
}

void TIBCustomDataSet::SetInternalSQLParams(TIBSQL& q, const std::vector<TParamSource>& sources,
                                            uint8_t* record, uint8_t* old) {
  if (record == nullptr) IBError(ibceBufferNotSet);
  if (!internal_prepared_) InternalPrepare();
  TIBXSQLDA& params = q.Params();
  const int count = std::min(params.Count(), static_cast<int>(sources.size()));
  for (int i = 0; i < count; ++i) {
    const TParamSource& source = sources[static_cast<size_t>(i)];
    if (source.column < 0 || source.column >= layout_.ColumnCount()) continue;
    uint8_t* from = source.old && old != nullptr ? old : record;
    TIBXSQLVAR& param = params[i];
    if (source.db_key) {
      const TIBRecordHeader& h = L::Header(from);
      char* data = param.Data().SqlData();
      size_t n = std::min<size_t>(sizeof h.db_key, static_cast<size_t>(std::max(param.Size(), 0)));
      // Without a usable key the parameter matches no row, rather than the
      // row whose key it was given last.
      if (!h.has_db_key || data == nullptr || n == 0)
        param.SetIsNull(true);
      else
        std::memcpy(data, h.db_key, n);
      continue;
    }
    const TIBFieldSlot& slot = L::Slot(from, source.column);
    if (slot.is_null)
      param.SetIsNull(true);
    else
      AssignParam(param, from, slot);
  }
}

void TIBCustomDataSet::FillParams(TIBSQL& q) {
  uint8_t* record = writing_record_ != nullptr ? writing_record_ : ActiveBuffer();
  SetInternalSQLParams(q, ParamSources(q), record, record ? OldRecordOf(record) : nullptr);
}

uint8_t* TIBCustomDataSet::OldRecordOf(uint8_t* record) {
  int position = L::Header(record).record_number;
  if (position < 0 || position >= buffer_cache_.Capacity() || buffer_cache_.Empty())
    return record;
  uint8_t* cached = buffer_cache_.At(position);
  uint8_t status = L::Header(cached).cached_update_status;
  if (cached_updates_ && (status == cusModified || status == cusDeleted) &&
      position < old_buffer_cache_.Capacity())
    return old_buffer_cache_.At(position);
  return cached;
}

// ---- writing ---------------------------------------------------------------------------

void TIBCustomDataSet::WriteRecord(TUpdateKind kind, uint8_t* record) {
  struct Writing {
    uint8_t*& slot;
    ~Writing() { slot = nullptr; }
  } writing{writing_record_};
  writing_record_ = record;
  if (update_object_ != nullptr) {
    update_object_->Apply(kind, *this);
    return;
  }
  TStatementIndex index = kind == ukInsert ? qiInsert : kind == ukModify ? qiModify : qiDelete;
  TIBSQL& q = kind == ukInsert ? *q_insert_ : kind == ukModify ? *q_modify_ : *q_delete_;
  SetInternalSQLParams(q, SourcesFor(index, q), record, OldRecordOf(record));
  q.ExecQuery();
  if (kind == ukInsert) {
    rows_affected_from_ = &q;
    return;
  }
  // A row another transaction deleted (or a key that stands for no row)
  // matches nothing: the user's change would be lost without a word.
  rows_affected_from_ = nullptr;
  rows_affected_ = q.RowsAffected();
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
  CheckEditState();
  uint8_t* rec = ActiveBuffer();
  TIBRecordHeader& h = L::Header(rec);
  const bool inserting = State() == dsInsert;
  const size_t size = layout_.BufferSize();
  const int position = inserting ? record_count_ : h.record_number;
  if (inserting) {
    // Room first: the new record takes the next cache position.
    CheckCacheRoom(buffer_cache_, position);
    h.record_number = position;
    std::memcpy(buffer_cache_.At(position), rec, size);
  }
  uint8_t* cached = buffer_cache_.At(position);
  if (cached_updates_) {
    if (inserting) {
      h.cached_update_status = cusInserted;
    } else if (L::Header(cached).cached_update_status == cusUnmodified) {
      CheckCacheRoom(old_buffer_cache_, position);
      std::memcpy(old_buffer_cache_.At(position), cached, size);
      h.cached_update_status = cusModified;
    } else {
      h.cached_update_status = L::Header(cached).cached_update_status;
    }
    updates_pending_ = true;
  } else {
    WriteRecord(inserting ? ukInsert : ukModify, rec);
    h.cached_update_status = cusUnmodified;
  }
  h.update_status = usUnmodified;
  h.flags = bfCurrent;
  SetModified(false);
  std::memcpy(cached, rec, size);
  if (!cached_updates_ && (forced_refresh_ || needs_refresh_) && CanRefresh()) {
    RefreshRecord(cached);
    std::memcpy(rec, cached, size);
  }
  if (inserting) {
    ++record_count_;
    current_record_ = position;
  }
}

void TIBCustomDataSet::InternalEdit() {
  if (!CanEdit()) IBError(ibceCannotUpdate);
}

void TIBCustomDataSet::InternalDelete() {
  if (!CanDelete() && !cached_updates_) IBError(ibceCannotDelete);
  uint8_t* rec = ActiveBuffer();
  const int position = L::Header(rec).record_number;
  uint8_t* cached = buffer_cache_.At(position);
  TIBRecordHeader& h = L::Header(cached);
  if (cached_updates_) {
    if (h.cached_update_status == cusInserted) {
      h.cached_update_status = cusUninserted;
    } else {
      if (h.cached_update_status == cusUnmodified) {
        CheckCacheRoom(old_buffer_cache_, position);
        std::memcpy(old_buffer_cache_.At(position), cached, layout_.BufferSize());
      }
      h.cached_update_status = cusDeleted;
    }
    updates_pending_ = true;
  } else {
    WriteRecord(ukDelete, rec);
    h.update_status = usDeleted;
  }
  ++deleted_records_;
}

// ---- refresh -----------------------------------------------------------------------------

void TIBCustomDataSet::CopyByName(TIBXSQLDA& row, uint8_t* record) {
  TIBXSQLDA& columns = q_select_->Current();
  for (int i = 0; i < row.Count(); ++i) {
    TIBXSQLVAR* column = columns.ByName(row.Names()[static_cast<size_t>(i)]);
    if (column == nullptr || column->Index() == db_key_column_ ||
        column->Index() >= layout_.ColumnCount())
      continue;
    TIBRecordLayout::StoreColumn(record, column->Index(), row[i]);
  }
}

bool TIBCustomDataSet::RefreshRecord(uint8_t* record) {
  std::unique_ptr<TIBSQL> temporary;
  TIBSQL* q = q_refresh_.get();
  std::vector<TParamSource> own_sources;
  const std::vector<TParamSource>* sources = nullptr;
  if (update_object_ != nullptr && !Trim(update_object_->RefreshSQL()).empty()) {
    temporary = std::make_unique<TIBSQL>(nullptr);
    temporary->SetDatabase(Database());
    temporary->SetTransaction(AssignedTransaction());
    temporary->SetGoToFirstRecordOnExecute(false);
    temporary->SQL().SetText(update_object_->RefreshSQL());
    q = temporary.get();
    own_sources = ParamSources(*q);
    sources = &own_sources;
  } else {
    if ((live_mode_ & lmRefresh) == 0) IBError(ibceCannotRefresh);
    sources = &SourcesFor(qiRefresh, *q);
  }
  SetInternalSQLParams(*q, *sources, record, OldRecordOf(record));
  q->ExecQuery();
  bool found = false;
  if (q->SQLType() == SQLSelect) {
    if (TIBXSQLDA* row = q->Next()) {
      CopyByName(*row, record);
      found = true;
    }
    q->Close();
  } else if (q->SQLType() == SQLExecProcedure) {
    CopyByName(q->Current(), record);
    found = true;
  }
  return found;
}

void TIBCustomDataSet::InternalRefresh() {
  if (!CanRefresh()) IBError(ibceCannotRefresh);
  TRecordBuffer rec = ActiveBuffer();
  if (rec == nullptr || !Visible(L::Header(rec).record_number)) return;
  RefreshRecord(buffer_cache_.At(L::Header(rec).record_number));
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
  uint8_t* rec = buffer_cache_.At(position);
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
        WriteRecord(kind, rec);
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
  std::vector<Status> before(static_cast<size_t>(record_count_));
  for (int position = 0; position < record_count_; ++position) {
    const TIBRecordHeader& h = L::Header(buffer_cache_.At(position));
    before[static_cast<size_t>(position)] = {h.cached_update_status, h.update_status};
  }
  ExecuteInTransaction(String(u"SAVEPOINT ") + kApplyPoint);
  try {
    for (int position = 0; position < record_count_; ++position) ApplyRecord(position);
  } catch (...) {
    try {
      ExecuteInTransaction(String(u"ROLLBACK TO SAVEPOINT ") + kApplyPoint);
    } catch (const Exception&) {
      // The error that ended the run is the one to report.
    }
    for (int position = 0; position < record_count_ && position < static_cast<int>(before.size());
         ++position) {
      TIBRecordHeader& h = L::Header(buffer_cache_.At(position));
      h.cached_update_status = before[static_cast<size_t>(position)].cached_update_status;
      h.update_status = before[static_cast<size_t>(position)].update_status;
    }
    throw;
  }
  ExecuteInTransaction(String(u"RELEASE SAVEPOINT ") + kApplyPoint);
  updates_pending_ = false;
  for (int position = 0; position < record_count_; ++position) {
    uint8_t status = L::Header(buffer_cache_.At(position)).cached_update_status;
    if (status == cusModified || status == cusInserted || status == cusDeleted)
      updates_pending_ = true;
  }
}

void TIBCustomDataSet::CancelUpdates() {
  if (!cached_updates_ || !Active()) return;
  if (State() == dsEdit || State() == dsInsert) Cancel();
  const size_t size = layout_.BufferSize();
  for (int position = 0; position < record_count_; ++position) {
    uint8_t* rec = buffer_cache_.At(position);
    switch (L::Header(rec).cached_update_status) {
      case cusModified:
      case cusDeleted: {
        bool was_deleted = L::Header(rec).cached_update_status == cusDeleted;
        std::memcpy(rec, old_buffer_cache_.At(position), size);
        L::Header(rec).cached_update_status = cusUnmodified;
        L::Header(rec).record_number = position;
        if (was_deleted) --deleted_records_;
        break;
      }
      case cusInserted:
        L::Header(rec).cached_update_status = cusUninserted;
        ++deleted_records_;
        break;
      default:
        break;
    }
  }
  updates_pending_ = false;
  Resync();
}

}  // namespace kavo
