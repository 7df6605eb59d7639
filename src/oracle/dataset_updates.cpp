// TOracleDataSet: cached updates. Posts and deletes log their change
// (change_log.h); ApplyUpdates writes the log, CommitUpdates empties it,
// CancelUpdates undoes it in the records.
#include <cstring>

#include "oracle/dataset_messages.h"
#include "oracle/oracle_dataset.h"
#include "recordset/database_error.h"

namespace kavo {

using oracle_engine::RowWriteResult;
namespace {

constexpr const Char* kApplyPoint = u"VZO__APPLYPOINT";

TBookmark BookmarkOf(int32_t b) {
  TBookmark bookmark(sizeof b);
  std::memcpy(bookmark.data(), &b, sizeof b);
  return bookmark;
}

}  // namespace

void TOracleDataSet::SetCachedUpdates(bool v) {
  if (v == cached_updates_) return;
  if (Active()) {
    CheckBrowseMode();
    if (v && rowid_index_ < 0) throw Exception(SCachedUpdatesRowId);
  }
  cached_updates_ = v;
  InstallHooks();
}

void TOracleDataSet::StartUpdates() { logging_ = true; }

int TOracleDataSet::DataIndexOf(int visible_index) const {
  return filtered_ ? store_->DataIndex(visible_index) : visible_index;
}

void TOracleDataSet::RecordToChangeLog(Char action, TRecordBuffer stored, const uint8_t* edited) {
  if (applying_ || !Logging()) return;
  const uint8_t* any = stored != nullptr ? stored : edited;
  int32_t bookmark = Header(any).Bookmark;
  int index = IndexOfBookmark(bookmark);
  int data_index = index < 0 ? store_->Count() : DataIndexOf(index);
  const TBlobList* stored_blobs = stored != nullptr ? Header(stored).BlobList : nullptr;
  // The edit buffer has no blob list of its own: its values are the working ones.
  const TBlobList* edited_blobs =
      edited == nullptr ? nullptr
      : Header(edited).BlobList != nullptr ? Header(edited).BlobList
                                           : &work_blobs_;
  change_log_.Log(action, bookmark, data_index, stored, stored_blobs, edited, edited_blobs,
                  record_size_, !cached_updates_);
}

TChangeLogItem* TOracleDataSet::LoggedRows::Entry(const char* rowid, size_t length) {
  if (ds_.change_log_.Empty()) return nullptr;
  TChangeLogItem* item = ds_.change_log_.FindByRowId(AsciiToString(std::string_view(rowid, length)));
  if (item != nullptr) item->Visible = true;
  return item;
}

TRecordBuffer TOracleDataSet::ReAddLoggedInsert(bool leftover) {
  if (!cached_updates_) return nullptr;
  for (int i = 0; i < change_log_.Count(); ++i) {
    TChangeLogItem& item = change_log_.Item(i);
    if (item.Action != u'I' || item.Visible || item.AfterData.Empty()) continue;
    // Once written, the row comes back from the server when the query selects it.
    if (!item.RowId().empty()) continue;
    if (!leftover && item.RecordIndex != store_->Count()) continue;
    TRecordBuffer record = store_->NewRecord(-1, false, -1);
    CopyIntoRecord(item.AfterData.Data(), record, record_size_);
    store_->SetRowId(record, item.RowId());
    if (const TBlobList* blobs = Header(item.AfterData.Data()).BlobList)
      store_->Blobs(record) = *blobs;
    TRecordHeader& h = Header(record);
    h.Bookmark = ++bookmark_counter_;
    h.BookmarkFlag = bfCurrent;
    item.SetBookmark(h.Bookmark);
    item.Visible = true;
    return record;
  }
  return nullptr;
}

void TOracleDataSet::SaveApplyState() {
  apply_state_.clear();
  if (!store_) return;
  for (int i = 0; i < change_log_.Count(); ++i) {
    TChangeLogItem& item = change_log_.Item(i);
    int index = item.Visible ? IndexOfBookmark(item.Bookmark()) : -1;
    String record_rowid = index >= 0 ? RecordRowId(store_->PeekAt(index)) : String();
    String after_rowid = item.AfterData.Empty() ? String() : RecordRowId(item.AfterData.Data());
    apply_state_.push_back({&item, record_rowid, after_rowid});
  }
}

void TOracleDataSet::RestoreApplyState() {
  for (const TApplyState& state : apply_state_) {
    int index = state.item->Visible ? IndexOfBookmark(state.item->Bookmark()) : -1;
    if (index >= 0) store_->SetRowId(store_->PeekAt(index), state.record_rowid);
    if (!state.item->AfterData.Empty()) state.item->AfterData.SetRowId(state.after_rowid);
  }
  apply_state_.clear();
}

void TOracleDataSet::ApplyEntry(TChangeLogItem& item) {
  if (item.Action == u'D') {
    writer_.Delete(item.BeforeData.Data(), true);
    return;
  }
  bool inserting = item.Action == u'I';
  int index = item.Visible ? IndexOfBookmark(item.Bookmark()) : -1;
  if (index >= 0) GotoBookmark(BookmarkOf(item.Bookmark()));
  const RowWriteResult written = writer_.Write(inserting, item.AfterData.Data(),
                                               inserting ? nullptr : item.BeforeData.Data(), &item);
  if (written.sent && index >= 0 &&
      (refresh_options_ & (inserting ? roAfterInsert : roAfterUpdate)) != 0)
    reread_.push_back(item.Bookmark());
  if (!written.rowid) return;
  const String& rowid = *written.rowid;
  // The record shown takes the ROWID of the row written for it; so does the
  // logged insert, which a later fetch then finds among the rows.
  if (index >= 0) store_->SetRowId(store_->PeekAt(index), rowid);
  if (inserting) item.AfterData.SetRowId(rowid);
}

void TOracleDataSet::ApplyUpdates(TApplyActions actions) {
  CheckActive();
  CheckBrowseMode();
  if (change_log_.Empty()) return;
  TBookmark here = GetBookmark();
  // A savepoint of its own, whatever the session does around it, so that a
  // failure part-way leaves nothing written and a retry writes each change once.
  bool savepoint = session_ != nullptr && session_->Connected() && !session_->AutoCommit();
  if (savepoint) session_->Savepoint(kApplyPoint);
  SaveApplyState();
  int32_t failing = -1;
  reread_.clear();
  applying_ = true;
  try {
    for (Char pass : {u'D', u'U', u'I'}) {
      TApplyAction kind = pass == u'D' ? aaDelete : pass == u'U' ? aaUpdate : aaInsert;
      if ((actions & kind) == 0) continue;
      for (int i = 0; i < change_log_.Count(); ++i) {
        TChangeLogItem& item = change_log_.Item(i);
        if (item.Action != pass) continue;
        failing = item.Visible ? item.Bookmark() : -1;
        ApplyEntry(item);
      }
    }
  } catch (...) {
    applying_ = false;
    if (savepoint) {
      try {
        session_->RollbackToSavepoint(kApplyPoint);
      } catch (const std::exception&) {
      }
    }
    RestoreApplyState();
    try {
      TBookmark show = failing >= 0 ? BookmarkOf(failing) : here;
      if (!show.empty() && BookmarkValid(show)) GotoBookmark(show);
    } catch (const std::exception&) {
    }
    throw;
  }
  applying_ = false;
  apply_state_.clear();
  // Rows written with a refresh option are read back once all is written,
  // so that a failed apply never leaves re-read values behind.
  for (int32_t bookmark : reread_) {
    int index = IndexOfBookmark(bookmark);
    if (index >= 0)
      FetchRecord({.refresh = true, .all_fields = (refresh_options_ & roAllFields) != 0},
                  store_->RecordAt(index));
  }
  reread_.clear();
  if (!here.empty() && BookmarkValid(here))
    GotoBookmark(here);
  else
    Resync();
}

void TOracleDataSet::CommitUpdates() {
  added_ = change_log_.NetInserts();
  change_log_.Clear();
  logging_ = false;
  DataEvent(deDataSetChange);
}

void TOracleDataSet::CancelUpdates() {
  if (!Active()) {
    change_log_.Clear();
    logging_ = false;
    return;
  }
  Cancel();
  TBookmark here = GetBookmark();
  for (int i = change_log_.Count() - 1; i >= 0; --i) {
    TChangeLogItem& item = change_log_.Item(i);
    int index = IndexOfBookmark(item.Bookmark());
    if (item.Action == u'D') {
      // The record comes back where it stood.
      int at = std::min(item.RecordIndex, store_->Count());
      TRecordBuffer record = store_->NewRecord(at, false, -1);
      CopyIntoRecord(item.BeforeData.Data(), record, record_size_);
      store_->SetRowId(record, item.RowId());
      if (const TBlobList* blobs = Header(item.BeforeData.Data()).BlobList)
        store_->Blobs(record) = *blobs;
      if (filtered_ && ApplyFilterTo(record)) store_->AddToFilteredList(record, false);
    } else if (item.Action == u'I') {
      if (index >= 0) store_->DeleteRecord(DataIndexOf(index), filtered_);
    } else if (index >= 0 && !item.BeforeData.Empty()) {
      TRecordBuffer record = store_->RecordAt(index);
      CopyIntoRecord(item.BeforeData.Data(), record, record_size_);
      if (const TBlobList* blobs = Header(item.BeforeData.Data()).BlobList)
        store_->Blobs(record) = *blobs;
    }
  }
  change_log_.Clear();
  logging_ = false;
  if (!here.empty() && BookmarkValid(here))
    GotoBookmark(here);
  else
    First();
}

TUpdateStatus TOracleDataSet::UpdateStatus() {
  if (State() == dsInsert) return usInserted;
  if (cached_updates_) {
    TRecordBuffer buffer = ActiveBuffer();
    if (TChangeLogItem* item =
            buffer != nullptr ? change_log_.FindByBookmark(Header(buffer).Bookmark) : nullptr) {
      if (item->Action == u'D') return usDeleted;
      if (item->Action == u'I') return usInserted;
      if (item->Action == u'U') return usModified;
    }
  }
  return State() == dsEdit ? usModified : usUnmodified;
}

}  // namespace kavo
