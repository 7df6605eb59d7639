#include "oracle/change_log.h"

#include <algorithm>

namespace kavo {

void TRecordCopy::Assign(const uint8_t* record, size_t size, const TBlobList* blobs) {
  Clear();
  bytes_.assign(record, record + size);
  TRecordHeader& h = Header(bytes_.data());
  h.PRowid = nullptr;
  h.BlobList = nullptr;
  extras_.SetRowId(bytes_.data(), RecordRowId(record));
  // Always a list, empty for none: a copy's long values are its own, never
  // those of the record now shown under its bookmark.
  TBlobList& own = extras_.Blobs(bytes_.data());
  if (blobs != nullptr) own = *blobs;
}

void TRecordCopy::Clear() {
  extras_.Clear();
  bytes_.clear();
}

int32_t TChangeLogItem::Bookmark() const {
  if (!BeforeData.Empty()) return Header(BeforeData.Data()).Bookmark;
  if (!AfterData.Empty()) return Header(AfterData.Data()).Bookmark;
  return -1;
}

void TChangeLogItem::SetBookmark(int32_t bookmark) {
  if (!BeforeData.Empty()) Header(BeforeData.Data()).Bookmark = bookmark;
  if (!AfterData.Empty()) Header(AfterData.Data()).Bookmark = bookmark;
}

String TChangeLogItem::RowId() const {
  if (!BeforeData.Empty()) return RecordRowId(BeforeData.Data());
  return AfterData.Empty() ? String() : RecordRowId(AfterData.Data());
}

TChangeLogItem* TChangeLog::FindByBookmark(int32_t bookmark) {
  for (auto& item : items_)
    if (item->Bookmark() == bookmark) return item.get();
  return nullptr;
}

TChangeLogItem* TChangeLog::FindByRowId(StringView rowid) {
  if (rowid.empty()) return nullptr;
  for (auto& item : items_)
    if (item->RowId() == rowid) return item.get();
  return nullptr;
}

void TChangeLog::ShiftInserts(int from, int by, const TChangeLogItem* except) {
  for (auto& item : items_)
    if (item.get() != except && item->Action == u'I' && item->RecordIndex >= from)
      item->RecordIndex += by;
}

void TChangeLog::Log(Char action, int32_t bookmark, int record_index, const uint8_t* before,
                     const TBlobList* before_blobs, const uint8_t* after,
                     const TBlobList* after_blobs, size_t record_size, bool applied) {
  TChangeLogItem* item = FindByBookmark(bookmark);
  if (action == u'I') ShiftInserts(record_index, 1, item);
  if (action == u'D') ShiftInserts(record_index + 1, -1, item);
  if (item == nullptr) {
    auto entry = std::make_unique<TChangeLogItem>();
    entry->DataSet = dataset_;
    entry->Action = action;
    entry->RecordIndex = record_index;
    if (action != u'I' && before != nullptr)
      entry->BeforeData.Assign(before, record_size, before_blobs);
    if (action != u'D' && after != nullptr)
      entry->AfterData.Assign(after, record_size, after_blobs);
    entry->SetBookmark(bookmark);
    entry->Applied = applied;
    items_.push_back(std::move(entry));
    return;
  }
  if (action == u'U' && (item->Action == u'I' || item->Action == u'U')) {
    if (after != nullptr) item->AfterData.Assign(after, record_size, after_blobs);
    item->SetBookmark(bookmark);
  } else if (action == u'D' && item->Action == u'I') {
    Remove(item);
  } else if (action == u'D' && item->Action == u'U') {
    item->AfterData.Clear();
    item->Action = u'D';
    item->RecordIndex = record_index;
  }
}

void TChangeLog::Remove(TChangeLogItem* item) {
  items_.erase(std::remove_if(items_.begin(), items_.end(),
                              [item](const auto& p) { return p.get() == item; }),
               items_.end());
}

TRecordCopy* TChangeLog::CopyAt(const uint8_t* record) {
  for (auto& item : items_) {
    if (item->BeforeData.Data() == record) return &item->BeforeData;
    if (item->AfterData.Data() == record) return &item->AfterData;
  }
  return nullptr;
}

int TChangeLog::NetInserts() const {
  int n = 0;
  for (const auto& item : items_) n += item->Action == u'I' ? 1 : item->Action == u'D' ? -1 : 0;
  return n;
}

}  // namespace kavo
