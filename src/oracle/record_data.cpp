#include "oracle/record_data.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "rtl/code_page.h"

namespace kavo {


TOracleBlob& TBlobList::BlobByField(TField* field) {
  for (TOracleBlob& b : items_)
    if (b.Field == field && !b.ServerText) return b;
  items_.push_back(TOracleBlob{});
  items_.back().Field = field;
  return items_.back();
}

const TOracleBlob* TBlobList::FindBlob(const TField* field) const {
  for (const TOracleBlob& b : items_)
    if (b.Field == field && !b.ServerText) return &b;
  return nullptr;
}

const TOracleBlob* TBlobList::FindServerText(const TField* field) const {
  for (const TOracleBlob& b : items_)
    if (b.Field == field && b.ServerText) return &b;
  return nullptr;
}

void TBlobList::SetServerText(TField* field, StringView text) {
  RemoveServerText(field);
  TOracleBlob b;
  b.Field = field;
  b.ServerText = true;
  b.Bytes = Utf16Bytes(text);
  items_.push_back(std::move(b));
}

void TBlobList::RemoveServerText(const TField* field) {
  std::erase_if(items_, [&](const TOracleBlob& b) { return b.Field == field && b.ServerText; });
}

void InitRecordBuffer(TRecordBuffer record, size_t size) {
  std::memset(record, 0, size);
  InitRecordHeader(record, size);
}

void InitRecordHeader(TRecordBuffer record, size_t size) {
  TRecordHeader* h = new (record) TRecordHeader();
  h->ArraySize = static_cast<int32_t>(size - RecInfoSize);
}

String RecordRowId(const uint8_t* record) {
  const TRecordHeader& h = Header(record);
  if (h.PRowid != nullptr) return String(h.PRowid);
  return String(h.RowId);
}

namespace {

constexpr size_t kRowIdChunk = 4096;  // characters

}  // namespace

Char* TRecordExtras::RowIdRoom(TRecordBuffer record, size_t length) {
  TRecordHeader& h = Header(record);
  h.PRowid = nullptr;
  std::fill(std::begin(h.RowId), std::end(h.RowId), Char(0));
  if (length <= kInlineRowIdLength) return h.RowId;
  const size_t need = length + 1;
  if (need > chunk_free_) {
    const size_t size = std::max(need, kRowIdChunk);
    rowid_chunks_.push_back(std::make_unique_for_overwrite<Char[]>(size));
    chunk_free_ = size;
  }
  // Chunks are filled from their end, so the last chunk's free room is its start.
  chunk_free_ -= need;
  rowid_chars_ += need;
  h.PRowid = rowid_chunks_.back().get() + chunk_free_;
  return h.PRowid;
}

void TRecordExtras::SetRowId(TRecordBuffer record, StringView rowid) {
  Char* dest = RowIdRoom(record, rowid.size());
  std::copy(rowid.begin(), rowid.end(), dest);
  dest[rowid.size()] = 0;
}

void TRecordExtras::SetRowIdAscii(TRecordBuffer record, const char* rowid, size_t length) {
  Char* dest = RowIdRoom(record, length);
  WidenBytes(rowid, length, dest);
  dest[length] = 0;
}

TBlobList& TRecordExtras::Blobs(TRecordBuffer record) {
  TRecordHeader& h = Header(record);
  if (h.BlobList == nullptr) {
    blob_lists_.push_back(std::make_unique<TBlobList>());
    h.BlobList = blob_lists_.back().get();
  }
  return *h.BlobList;
}

void TRecordExtras::Release(TRecordBuffer record) {
  TRecordHeader& h = Header(record);
  if (h.BlobList == nullptr) return;
  // Deletes are rare and mostly of recent records: search from the end.
  for (auto it = blob_lists_.rbegin(); it != blob_lists_.rend(); ++it)
    if (it->get() == h.BlobList) {
      blob_lists_.erase(std::next(it).base());
      break;
    }
  h.BlobList = nullptr;
}

void TRecordExtras::Clear() {
  rowid_chunks_.clear();
  chunk_free_ = 0;
  rowid_chars_ = 0;
  blob_lists_.clear();
}

size_t TRecordExtras::Bytes() const {
  size_t bytes = rowid_chars_ * sizeof(Char);
  for (const auto& list : blob_lists_)
    for (const TOracleBlob& b : list->Items()) bytes += b.Bytes.size();
  return bytes;
}

void CopyToBuffer(const uint8_t* record, TRecordBuffer buffer, size_t size) {
  std::memcpy(buffer, record, size);
  TRecordHeader& h = Header(buffer);
  h.PRowid = nullptr;
  h.BlobList = nullptr;
}

void CopyIntoRecord(const uint8_t* buffer, TRecordBuffer record, size_t size) {
  TRecordHeader& h = Header(record);
  Char* rowid = h.PRowid;
  TBlobList* blobs = h.BlobList;
  Char inline_rowid[kInlineRowIdLength + 2];
  std::copy(std::begin(h.RowId), std::end(h.RowId), inline_rowid);
  std::memcpy(record, buffer, size);
  h.PRowid = rowid;
  h.BlobList = blobs;
  std::copy(std::begin(inline_rowid), std::end(inline_rowid), h.RowId);
}

}  // namespace kavo
