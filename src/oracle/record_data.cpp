#include "oracle/record_data.h"

#include <algorithm>
#include <cstring>
#include <new>

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
  b.Bytes.assign(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(Char));
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

void SetRecordRowId(TRecordBuffer record, StringView rowid) {
  TRecordHeader& h = Header(record);
  delete[] h.PRowid;
  h.PRowid = nullptr;
  std::fill(std::begin(h.RowId), std::end(h.RowId), Char(0));
  if (rowid.size() <= kInlineRowIdLength) {
    std::copy(rowid.begin(), rowid.end(), h.RowId);
    return;
  }
  h.PRowid = new Char[rowid.size() + 1];
  std::copy(rowid.begin(), rowid.end(), h.PRowid);
  h.PRowid[rowid.size()] = 0;
}

void SetRecordRowIdAscii(TRecordBuffer record, const char* rowid, size_t length) {
  TRecordHeader& h = Header(record);
  delete[] h.PRowid;
  h.PRowid = nullptr;
  std::fill(std::begin(h.RowId), std::end(h.RowId), Char(0));
  Char* dest = h.RowId;
  if (length > kInlineRowIdLength) dest = h.PRowid = new Char[length + 1];
  for (size_t i = 0; i < length; ++i) dest[i] = static_cast<unsigned char>(rowid[i]);
  dest[length] = 0;
}

void FreeRecordExtras(TRecordBuffer record) {
  TRecordHeader& h = Header(record);
  delete[] h.PRowid;
  h.PRowid = nullptr;
  delete h.BlobList;
  h.BlobList = nullptr;
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
