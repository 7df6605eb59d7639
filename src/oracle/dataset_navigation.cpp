// TOracleDataSet: records from the store for the record-set model,
// bookmarks, counting, RecNo, refreshing.
#include <cstring>

#include "oracle/dataset_messages.h"
#include "oracle/oracle_dataset.h"
#include "oracle/select_analysis.h"
#include "oracle/sql_scan.h"
#include "recordset/database_error.h"

namespace kavo {

TGetResult TOracleDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) {
  if (!store_) return grError;
  switch (mode) {
    case gmNext:
      if (position_ + 1 >= store_->RecordCount() && !QueryRecord()) return grEOF;
      if (position_ + 1 >= store_->RecordCount()) return grEOF;
      ++position_;
      break;
    case gmPrior:
      if (position_ > store_->RecordCount()) position_ = store_->RecordCount();
      if (position_ <= 0) {
        position_ = -1;
        return grBOF;
      }
      --position_;
      break;
    case gmCurrent:
      if (position_ < 0 || position_ >= store_->RecordCount()) {
        bool fetched = QueryRecord();
        if (do_check && !fetched) DatabaseError(SNoRecords, this);
        return grError;
      }
      break;
  }
  try {
    if (!store_->CopyOut(position_, buffer)) return grError;
  } catch (const Exception& e) {
    if (ShowMessageHook()) ShowMessageHook()(e);
    throw;
  }
  Header(buffer).BookmarkFlag = bfCurrent;
  GetCalcFields(buffer);
  return grOK;
}

TRecordBuffer TOracleDataSet::CurrentStored(bool header_only) const {
  TRecordBuffer buffer = ActiveBuffer();
  if (buffer == nullptr || State() == dsInsert) return nullptr;
  return StoredRecord(buffer, header_only);
}

// ---- bookmarks ------------------------------------------------------------------------

int TOracleDataSet::IndexOfBookmark(int32_t bookmark) const {
  if (!store_) return -1;
  int first = store_->BlockOffset();
  int count = store_->RecordCount();
  // The likely place first, range-checked before it is read.
  int64_t guess = static_cast<int64_t>(bookmark) - 1;
  if (guess >= first && guess < count) {
    TRecordBuffer r = store_->PeekAt(static_cast<int>(guess));
    if (r != nullptr && Header(r).Bookmark == bookmark) return static_cast<int>(guess);
  }
  for (int i = first; i < count; ++i) {
    TRecordBuffer r = store_->PeekAt(i);
    if (r != nullptr && Header(r).Bookmark == bookmark) return i;
  }
  return -1;
}

void TOracleDataSet::InternalGotoBookmark(const void* bookmark) {
  int32_t b;
  std::memcpy(&b, bookmark, sizeof b);
  int index = IndexOfBookmark(b);
  if (index < 0) DatabaseError(SBookmarkNotFound + IntToStr(b) + u")", this);
  position_ = index;
}

void TOracleDataSet::InternalSetToRecord(TRecordBuffer buffer) {
  // A record that is gone (deleted) leaves the position where it stood, on
  // the record that followed it.
  int index = IndexOfBookmark(Header(buffer).Bookmark);
  if (index >= 0) position_ = index;
}

bool TOracleDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (bookmark.size() != sizeof(int32_t) || !store_) return false;
  int32_t b;
  std::memcpy(&b, bookmark.data(), sizeof b);
  return IndexOfBookmark(b) >= 0;
}

int TOracleDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  if (a.empty() && b.empty()) return 0;
  if (a.empty()) return -1;
  if (b.empty()) return 1;
  int32_t x = 0, y = 0;
  std::memcpy(&x, a.data(), std::min(a.size(), sizeof x));
  std::memcpy(&y, b.data(), std::min(b.size(), sizeof y));
  return x < y ? -1 : x > y ? 1 : 0;
}

void TOracleDataSet::InternalFirst() { position_ = -1; }

void TOracleDataSet::FetchAll() {
  while (QueryRecord()) {
  }
}

void TOracleDataSet::InternalLast() {
  FetchAll();
  position_ = store_ ? store_->RecordCount() : -1;
}

String TOracleDataSet::RowId() {
  TRecordBuffer r = CurrentStored(/*header_only=*/true);
  if (r == nullptr && State() == dsInsert) return String();
  if (r == nullptr && position_ >= 0 && store_) r = store_->PeekAt(position_);
  return r == nullptr ? String() : RecordRowId(r);
}

// ---- counting ---------------------------------------------------------------------------

int TOracleDataSet::GetRecordCount() {
  CheckActive();
  // Filtered: the records held that pass.
  if (!count_all_records_ || filtered_) return store_ ? store_->RecordCount() : 0;
  if (!counted_) {
    count_ = CountQueryHits();
    counted_ = true;
  }
  return count_ + added_ + (cached_updates_ ? change_log_.NetInserts() : 0);
}

int TOracleDataSet::CountQueryHits() {
  for (int i = 0; i < main_query_->VariableCount(); ++i)
    if (main_query_->VariableType(i) == otCursor) throw Exception(SCountCursor);
  TSelectParts parts = SplitSelect(SubstitutedSQL(), true);
  TStringList sql;
  sql.Add(u"select count(*) from (");
  sql.Add(parts.BeforeWhere);
  sql.Add(parts.HasWhere ? parts.WhereWord + u" " + parts.WhereClause + u")" : String(u")"));
  TOracleQuery& q = DMLQuery();
  q.Clear();
  q.SetSQLText(sql.Text());
  CopyVariablesNamedIn(q, q.SQL().Text());
  int count = 0;
  try {
    q.Execute();
    count = q.Eof() ? 0 : q.Field(0).AsInteger();
  } catch (...) {
    CloseDMLQuery();
    throw;
  }
  CloseDMLQuery();
  return count;
}

int TOracleDataSet::GetRecNo() {
  if (!Active() || !store_) return -1;
  TRecordBuffer buffer = ActiveBuffer();
  if (buffer != nullptr && State() != dsInsert && Header(buffer).BookmarkFlag == bfCurrent) {
    int index = IndexOfBookmark(Header(buffer).Bookmark);
    if (index >= 0) return index + 1;
  }
  if (position_ < 0) return store_->RecordCount() > 0 ? 1 : 0;
  return position_ + 1;
}

void TOracleDataSet::SetRecNo(int value) {
  CheckActive();
  int current = RecNo();
  if (value < 0 || value == current) return;
  if (value > store_->RecordCount() && !(count_all_records_ && value <= RecordCount())) return;
  MoveBy(value - current);
}

// ---- refreshing -------------------------------------------------------------------------

void TOracleDataSet::InternalRefresh() {
  CheckDetailsForRefresh();
  counted_ = false;
  added_ = 0;
  QueryRecords(false);
  // The bookmarks started again: the model is to show the first record, not
  // whatever record now has the old current one's number.
  if (TRecordBuffer b = ActiveBuffer()) Header(b).BookmarkFlag = bfBOF;
}

}  // namespace kavo
