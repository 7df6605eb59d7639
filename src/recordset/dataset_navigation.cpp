// Moving through the records, and bookmarks.
#include "recordset/dataset.h"

#include <utility>

#include "recordset/database_error.h"

namespace kavo {

// ---- the cursor ---------------------------------------------------------------------

void TDataSet::UpdateCursorPos() {
  if (!has_record_ || cursor_on_current_) return;
  switch (GetBookmarkFlag(current_)) {
    case bfBOF: InternalFirst(); break;
    case bfEOF: InternalLast(); break;
    default: InternalSetToRecord(current_); break;
  }
  cursor_on_current_ = true;
}

void TDataSet::Resync() {
  if (!has_record_) return;
  cursor_on_current_ = false;
  UpdateCursorPos();
  if (GetRecord(current_, gmCurrent, false) == grOK ||
      GetRecord(current_, gmNext, false) == grOK ||
      GetRecord(current_, gmPrior, false) == grOK) {
    cursor_on_current_ = true;
    return;
  }
  ClearWindow();
}

// ---- navigation ---------------------------------------------------------------------

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  if (IsUniDirectional()) {
    // A one-way cursor cannot rewind: read it again unless it stands at its start.
    if (!bof_) {
      Close();
      Open();
    }
  } else {
    ReadFromEnd(true);
  }
  bof_ = true;
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

void TDataSet::ReadFromEnd(bool start) {
  ClearWindow();
  if (start)
    InternalFirst();
  else
    InternalLast();
  if (GetRecord(current_, start ? gmNext : gmPrior, true) == grOK) {
    has_record_ = cursor_on_current_ = true;
    (start ? eof_ : bof_) = false;
  }
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ReadFromEnd(false);
  eof_ = true;
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  DoBeforeScroll();
  if ((distance > 0 && eof_) || (distance < 0 && bof_) || distance == 0) return 0;
  bof_ = eof_ = false;
  UpdateCursorPos();
  TGetMode mode = distance > 0 ? gmNext : gmPrior;
  int wanted = distance > 0 ? distance : -distance;
  int moved = 0;
  while (moved < wanted) {
    if (GetRecord(spare_, mode, true) != grOK) {
      (mode == gmNext ? eof_ : bof_) = true;
      cursor_on_current_ = false;
      break;
    }
    std::swap(current_, spare_);
    ++moved;
  }
  DataEvent(deDataSetScroll);
  DoAfterScroll();
  return distance > 0 ? moved : -moved;
}

TBookmark TDataSet::GetBookmark() {
  TBookmark bookmark;
  if (!has_record_ || bookmark_size_ <= 0 || GetBookmarkFlag(current_) != bfCurrent)
    return bookmark;
  bookmark.resize(static_cast<size_t>(bookmark_size_));
  GetBookmarkData(current_, bookmark.data());
  return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(bookmark.data());
  if (GetRecord(spare_, gmCurrent, false) != grOK) {
    cursor_on_current_ = false;
    DatabaseError(SRecordNotFound, this);
  }
  std::swap(current_, spare_);
  has_record_ = true;
  cursor_on_current_ = true;
  bof_ = eof_ = false;
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

}  // namespace kavo
