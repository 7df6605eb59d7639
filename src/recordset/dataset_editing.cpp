// Editing, inserting, posting, cancelling and deleting records.
#include "recordset/dataset.h"

#include <functional>
#include <utility>
#include <vector>

#include "recordset/database_error.h"

namespace kavo {

// ---- editing ------------------------------------------------------------------------

void TDataSet::WithErrorEvent(const TDataSetErrorEvent& event,
                              const std::function<void()>& step) {
  for (;;) {
    try {
      step();
      return;
    } catch (Exception& e) {
      TDataAction action = daFail;
      if (event) event(*this, e, action);
      if (action == daFail) throw;
      if (action == daAbort) throw EAbort(e.Message());
    }
  }
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode);
  switch (state_) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (modified_)
        Post();
      else
        Cancel();
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

void TDataSet::UpdateRecord() {
  if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey)
    DatabaseError(SNotEditing, this);
  DataEvent(deUpdateRecord);
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  UpdateCursorPos();
  auto show = [this] {
    if (has_record_) {
      Resync();
      return;
    }
    // Nothing was current: the re-read rows may have brought a first one.
    ReadFromEnd(true);
  };
  try {
    InternalRefresh();
  } catch (...) {
    show();
    throw;
  }
  show();
  DataEvent(deDataSetChange);
}

void TDataSet::Edit() {
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (!has_record_) {
    Insert();
    return;
  }
  CheckBrowseMode();
  DetachBlobStreams();
  CheckCanModify();
  DoBeforeEdit();
  UpdateCursorPos();
  WithErrorEvent(OnEditError, [this] { InternalEdit(); });
  GetCalcFields(current_);
  SetState(dsEdit);
  DataEvent(deRecordChange);
  DoAfterEdit();
}

void TDataSet::Insert() { BeginNewRecord(false); }

void TDataSet::Append() { BeginNewRecord(true); }

void TDataSet::BeginNewRecord(bool append) {
  CheckBrowseMode();
  DetachBlobStreams();
  CheckCanModify();
  DoBeforeInsert();
  UpdateCursorPos();
  DoBeforeScroll();
  bool had_record = has_record_;
  bool old_bof = bof_, old_eof = eof_;
  BookmarkRoom identity(bookmark_size_);
  if (had_record && bookmark_size_ > 0) GetBookmarkData(current_, identity.Data());
  // The old current record stays readable from the record set; the new one
  // takes the spare buffer, which the next fetch would overwrite anyway.
  std::swap(current_, spare_);
  InitRecord(current_);
  if (append) {
    // The cursor goes past the last record, where the new one will be.
    SetBookmarkFlag(current_, bfEOF);
    InternalLast();
  } else if (had_record) {
    if (bookmark_size_ > 0) SetBookmarkData(current_, identity.Data());
  } else {
    SetBookmarkFlag(current_, bfBOF);
  }
  has_record_ = true;
  cursor_on_current_ = true;
  bof_ = eof_ = false;
  auto give_up = [&] {
    std::swap(current_, spare_);
    has_record_ = had_record;
    bof_ = old_bof;
    eof_ = old_eof;
    cursor_on_current_ = false;
  };
  try {
    InternalInsert();
  } catch (...) {
    give_up();
    Resync();
    throw;
  }
  SetState(dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    give_up();
    SetState(dsBrowse);
    Resync();
    throw;
  }
  modified_ = false;
  DataEvent(deDataSetChange);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::Post() {
  UpdateRecord();
  if (state_ != dsEdit && state_ != dsInsert) return;
  FinishBlobStreams();
  DataEvent(deCheckBrowseMode);
  DoBeforePost();
  // Without a handler an error passes on as it is: no retry loop to build.
  if (OnPostError)
    WithErrorEvent(OnPostError, [this] { InternalPost(); });
  else
    InternalPost();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync();
  DataEvent(deDataSetChange);
  DoAfterPost();
}

void TDataSet::Cancel() {
  if (state_ != dsEdit && state_ != dsInsert) return;
  DetachBlobStreams();
  DataEvent(deCheckBrowseMode);
  DoBeforeCancel();
  bool was_insert = state_ == dsInsert;
  if (was_insert) DoBeforeScroll();
  UpdateCursorPos();
  InternalCancel();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync();
  DataEvent(deDataSetChange);
  DoAfterCancel();
  if (was_insert) DoAfterScroll();
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert || state_ == dsSetKey) {
    Cancel();
    return;
  }
  if (!has_record_) DatabaseError(SDataSetEmpty, this);
  DataEvent(deCheckBrowseMode);
  DoBeforeDelete();
  DoBeforeScroll();
  UpdateCursorPos();
  InternalDelete();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync();
  DataEvent(deDataSetChange);
  DoAfterDelete();
  DoAfterScroll();
}

void TDataSet::InitRecord(TRecordBuffer buffer) {
  InternalInitRecord(buffer);
  ClearCalcFields(buffer);
  SetBookmarkFlag(buffer, bfInserted);
}

}  // namespace kavo
