#include "recordset/blob_fields.h"

#include <cstring>
#include <memory>
#include <utility>

#include "recordset/database_error.h"
#include "recordset/dataset.h"
#include "rtl/code_page.h"

namespace kavo {

namespace {

String TextOf(const std::vector<uint8_t>& bytes) {
  return TextOfUtf16Bytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace

// ---- TBlobField --------------------------------------------------------------------

TBlobField::TBlobField(TComponent* owner) : TField(owner) { SetDataTypeInternal(ftBlob); }

void TBlobField::CheckTypeSize(int size) const {
  if (size < 0) DatabaseError(u"Invalid field size", DataSet());
}

int64_t TBlobField::BlobSize() const {
  return CheckDataSet().CreateBlobStream(const_cast<TBlobField*>(this), bmRead)->Size();
}

std::vector<uint8_t> TBlobField::GetAsBytes() const {
  std::unique_ptr<TStream> stream =
      CheckDataSet().CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  std::vector<uint8_t> bytes(static_cast<size_t>(stream->Size()));
  stream->SetPosition(0);
  stream->ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

void TBlobField::WriteBytes(const void* data, size_t size) {
  std::unique_ptr<TStream> stream = CheckDataSet().CreateBlobStream(this, bmWrite);
  stream->WriteBuffer(data, static_cast<int64_t>(size));
  // Hand the value over here, where an error can still reach the caller.
  if (auto* own = dynamic_cast<TBlobDataStream*>(stream.get())) own->Close();
}

void TBlobField::SetAsBytes(const std::vector<uint8_t>& value) {
  WriteBytes(value.data(), value.size());
}

void TBlobField::LoadFromStream(TStream& source) {
  std::unique_ptr<TStream> stream = CheckDataSet().CreateBlobStream(this, bmWrite);
  stream->CopyFrom(source, 0);
  if (auto* own = dynamic_cast<TBlobDataStream*>(stream.get())) own->Close();
}

void TBlobField::SaveToStream(TStream& dest) const {
  std::unique_ptr<TStream> stream =
      CheckDataSet().CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  dest.CopyFrom(*stream, 0);
}

std::string TBlobField::GetAsAnsiString() const {
  std::vector<uint8_t> bytes = GetAsBytes();
  return std::string(bytes.begin(), bytes.end());
}

String TBlobField::GetAsString() const { return AnsiToString(GetAsAnsiString()); }

void TBlobField::SetAsAnsiString(const std::string& value) {
  WriteBytes(value.data(), value.size());
}

void TBlobField::SetAsString(const String& value) { SetAsAnsiString(StringToAnsi(value)); }

OraVariant TBlobField::GetAsVariant() const {
  if (IsNull()) return OraVariant::Null();
  return OraVariant::Bytes(GetAsBytes());
}

void TBlobField::SetAsVariant(const OraVariant& value) {
  if (value.Kind() == vkByteArray)
    SetAsBytes(value.ByteArray());
  else
    TField::SetAsVariant(value);
}

String TBlobField::GetText(bool display) const {
  return display ? GetClassDesc() : GetAsString();
}

// ---- TMemoField ------------------------------------------------------------------

TMemoField::TMemoField(TComponent* owner) : TBlobField(owner) { SetDataTypeInternal(ftMemo); }

String TMemoField::GetAsString() const { return TextOf(GetAsBytes()); }

std::string TMemoField::GetAsAnsiString() const { return StringToAnsi(GetAsString()); }

void TMemoField::SetAsString(const String& value) {
  WriteBytes(value.data(), value.size() * sizeof(Char));
}

void TMemoField::SetAsAnsiString(const std::string& value) { SetAsString(AnsiToString(value)); }

OraVariant TMemoField::GetAsVariant() const {
  if (IsNull()) return OraVariant::Null();
  return OraVariant(GetAsString());
}

void TMemoField::SetAsVariant(const OraVariant& value) {
  if (value.Kind() == vkByteArray)
    SetAsString(TextOf(value.ByteArray()));
  else
    TField::SetAsVariant(value);
}

TWideMemoField::TWideMemoField(TComponent* owner) : TMemoField(owner) {
  SetDataTypeInternal(ftWideMemo);
}

// ---- TBlobDataStream -------------------------------------------------------------

TBlobDataStream::TBlobDataStream(TDataSet& dataset, TField* field, TBlobStreamMode mode,
                                 std::vector<uint8_t> value, StoreFn store)
    : TMemoryStream(mode == bmWrite ? std::vector<uint8_t>() : std::move(value)),
      dataset_(nullptr), field_(field), mode_(mode), store_(std::move(store)),
      changed_(mode == bmWrite) {
  if (mode == bmRead) return;
  if (dataset.State() != dsEdit && dataset.State() != dsInsert)
    DatabaseError(SNotEditing, &dataset);
  dataset.blob_streams_.push_back(this);
  dataset_ = &dataset;
}

TBlobDataStream::~TBlobDataStream() {
  try {
    Close();
  } catch (...) {  // NOLINT(bugprone-empty-catch): a destructor has no caller to tell
  }
  Detach();
}

int64_t TBlobDataStream::Write(const void* buffer, int64_t count) {
  if (mode_ == bmRead) return 0;
  changed_ = true;
  return TMemoryStream::Write(buffer, count);
}

void TBlobDataStream::SetSize(int64_t size) {
  if (mode_ == bmRead) throw EStreamError(u"Cannot change a blob opened for reading");
  changed_ = true;
  TMemoryStream::SetSize(size);
}

void TBlobDataStream::Close() {
  TDataSet* dataset = dataset_;
  if (dataset == nullptr) return;
  if (changed_) {
    std::vector<uint8_t> bytes = TakeBytes();
    try {
      store_(std::move(bytes));
    } catch (...) {
      // Still open: a second Post tries again with the same bytes.
      TMemoryStream::Write(bytes.data(), static_cast<int64_t>(bytes.size()));
      throw;
    }
  }
  Detach();
  if (changed_) dataset->BlobModified(field_);
}

void TBlobDataStream::Detach() {
  if (dataset_ == nullptr) return;
  std::erase(dataset_->blob_streams_, this);
  dataset_ = nullptr;
}

void TDataSet::FinishBlobStreams() {
  while (!blob_streams_.empty()) blob_streams_.front()->Close();
}

void TDataSet::DetachBlobStreams() {
  while (!blob_streams_.empty()) blob_streams_.front()->Detach();
}

}  // namespace kavo
