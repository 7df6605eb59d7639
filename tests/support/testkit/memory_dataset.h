// A record set over rows held in memory: the stand-in for a database record
// set in tests. `Base` is TDataSet or one of the record-set roles.
//
// Rows() is the "server" table: one native value per column (null: NULL;
// text without its terminator). Open describes Columns(), reads nothing and
// starts before the first row; Post writes the current record into Rows()
// (an insert goes before the row it was started on, or at the end) and runs
// the optional hooks first, so a test can make the server fail. Blob and memo
// values are their bytes; in dsOldValue a field reads the stored row.
#ifndef KAVO_TESTKIT_MEMORY_DATASET_H_
#define KAVO_TESTKIT_MEMORY_DATASET_H_

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recordset/blob_fields.h"
#include "recordset/database_error.h"
#include "recordset/dataset.h"

namespace kavo::test {

using Value = std::optional<std::string>;
using Row = std::vector<Value>;

template <class Base>
class MemoryDataSetT : public Base {
 public:
  explicit MemoryDataSetT(TComponent* owner) : Base(owner) { this->SetBookmarkSize(4); }
  ~MemoryDataSetT() override { this->DestroyCursor(); }

  TFieldDefs& Columns() { return columns_; }
  std::vector<Row>& Rows() { return rows_; }
  std::vector<int>& RowIds() { return ids_; }

  // Appends a server row and answers its index.
  int AddRow(Row row) {
    row.resize(static_cast<size_t>(columns_.Count()));
    rows_.push_back(std::move(row));
    ids_.push_back(next_id_++);
    return static_cast<int>(rows_.size()) - 1;
  }

  // The stored value of a column of a server row.
  const Value& At(int row, StringView column) const {
    return rows_.at(row).at(static_cast<size_t>(columns_.IndexOf(column)));
  }

  bool can_modify = true;
  std::function<void()> on_open;                  // may raise: the open fails
  std::function<void()> on_edit;                  // may raise: Edit fails
  std::function<void(const Row&, bool)> on_post;  // record, inserting; may raise
  int posts = 0;                                  // successful server writes
  int cancels = 0;

  int Position() const { return pos_; }
  int writes = 0;  // values handed to SetFieldData

  // Position in Rows() of the current record; -1 for a new one.
  int ActiveRowIndex() const { return IndexOfId(Rec(this->ActiveBuffer())->id); }
  // The current record buffer's values.
  const Row& ActiveValues() const { return Rec(this->ActiveBuffer())->values; }

  // A column's value in the current record buffer.
  const Value& ActiveBufferValue(int column) const {
    return Rec(this->ActiveBuffer())->values.at(static_cast<size_t>(column));
  }

  using Base::GetFieldData;
  using Base::SetFieldData;

  // The current record's value of a data field; the stored one in dsOldValue.
  const Value& DataValue(TField* field) const {
    const Record* r = Rec(this->ActiveBuffer());
    const size_t column = static_cast<size_t>(field->FieldNo() - 1);
    int at = IndexOfId(r->id);
    if (this->State() == dsOldValue && at >= 0) return rows_.at(at).at(column);
    return r->values.at(column);
  }

  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override {
    if (!this->ActiveBuffer() || field->FieldNo() <= 0) DatabaseError(u"No record", this);
    const Value& v = DataValue(field);
    std::vector<uint8_t> bytes;
    if (v) bytes.assign(v->begin(), v->end());
    Value* slot = &Rec(this->ActiveBuffer())->values.at(static_cast<size_t>(field->FieldNo() - 1));
    return std::make_unique<TBlobDataStream>(
        *this, field, mode, std::move(bytes),
        [slot](std::vector<uint8_t>&& b) { *slot = std::string(b.begin(), b.end()); });
  }

  bool BookmarkValid(const TBookmark& b) override {
    int id;
    if (b.size() != 4) return false;
    std::memcpy(&id, b.data(), 4);
    return IndexOfId(id) >= 0;
  }
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) override {
    int x, y;
    std::memcpy(&x, a.data(), 4);
    std::memcpy(&y, b.data(), 4);
    return IndexOfId(x) - IndexOfId(y);
  }

 protected:
  struct Record {
    int id = -1;
    TBookmarkFlag flag = bfCurrent;
    Row values;
    std::map<const TField*, Value> calc;  // calculated and lookup values
  };
  static Record* Rec(TRecordBuffer b) { return reinterpret_cast<Record*>(b); }

  TRecordBuffer AllocRecordBuffer() override {
    return reinterpret_cast<TRecordBuffer>(new Record);
  }
  void FreeRecordBuffer(TRecordBuffer& b) override {
    delete Rec(b);
    b = nullptr;
  }

  void InternalOpen() override {
    if (on_open) on_open();
    this->InitFieldDefs();
    if (this->DefaultFields()) this->CreateFields();
    this->BindFields(true);
    pos_ = -1;
    open_ = true;
  }
  void InternalClose() override { open_ = false; }
  void InternalInitFieldDefs() override {
    this->FieldDefs().Clear();
    for (int i = 0; i < columns_.Count(); ++i) this->FieldDefs().Add(columns_[i]);
  }
  void InternalHandleException() override {}
  bool IsCursorOpen() const override { return open_; }

  TGetResult GetRecord(TRecordBuffer b, TGetMode mode, bool) override {
    int n = static_cast<int>(rows_.size());
    if (gap_) {
      if (mode == gmCurrent) return grError;
      gap_ = false;
      if (mode == gmNext) --pos_;
    }
    if (mode == gmNext) {
      if (pos_ + 1 >= n) {
        pos_ = n;
        return grEOF;
      }
      ++pos_;
    } else if (mode == gmPrior) {
      if (pos_ - 1 < 0) {
        pos_ = -1;
        return grBOF;
      }
      --pos_;
    } else if (pos_ < 0 || pos_ >= n) {
      return grError;
    }
    Rec(b)->id = ids_[pos_];
    Rec(b)->flag = bfCurrent;
    Rec(b)->values = rows_[pos_];
    this->GetCalcFields(b);
    return grOK;
  }

  void GetBookmarkData(TRecordBuffer b, void* data) override { std::memcpy(data, &Rec(b)->id, 4); }
  void SetBookmarkData(TRecordBuffer b, const void* data) override {
    std::memcpy(&Rec(b)->id, data, 4);
  }
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer b) override { return Rec(b)->flag; }
  void SetBookmarkFlag(TRecordBuffer b, TBookmarkFlag f) override { Rec(b)->flag = f; }
  void InternalGotoBookmark(const void* bookmark) override {
    int id;
    std::memcpy(&id, bookmark, 4);
    // A vanished record leaves the cursor in the gap it left: nothing is
    // current, and next and prior are its neighbours.
    int at = IndexOfId(id);
    gap_ = at < 0;
    if (at >= 0) pos_ = at;
  }
  void InternalFirst() override {
    pos_ = -1;
    gap_ = false;
  }
  void InternalLast() override {
    pos_ = static_cast<int>(rows_.size());
    gap_ = false;
  }
  void InternalInitRecord(TRecordBuffer b) override {
    Rec(b)->id = -1;
    Rec(b)->values.assign(static_cast<size_t>(columns_.Count()), std::nullopt);
  }
  void ClearCalcFields(TRecordBuffer b) override { Rec(b)->calc.clear(); }
  void InternalEdit() override {
    if (on_edit) on_edit();
  }
  void InternalCancel() override { ++cancels; }
  void InternalDelete() override {
    int at = ActiveRowIndex();
    rows_.erase(rows_.begin() + at);
    ids_.erase(ids_.begin() + at);
    pos_ = at;  // the gap the record leaves
    gap_ = true;
  }
  void InternalPost() override {
    Record* r = Rec(this->ActiveBuffer());
    bool inserting = this->State() == dsInsert;
    if (on_post) on_post(r->values, inserting);
    if (inserting) {
      int at = r->flag == bfInserted ? IndexOfId(r->id) : -1;
      if (at < 0) at = static_cast<int>(rows_.size());
      rows_.insert(rows_.begin() + at, r->values);
      ids_.insert(ids_.begin() + at, next_id_);
      r->id = next_id_++;
      r->flag = bfCurrent;
    } else {
      rows_.at(IndexOfId(r->id)) = r->values;
    }
    ++posts;
  }

  bool GetFieldData(TField* field, void* buffer) override {
    TRecordBuffer b = this->ActiveBuffer();
    if (!b) return false;
    if (IsCalc(field)) {
      auto it = Rec(b)->calc.find(field);
      return ReadValue(field, it == Rec(b)->calc.end() ? Value() : it->second, buffer);
    }
    if (field->FieldNo() <= 0) return false;
    return ReadValue(field, DataValue(field), buffer);
  }

  static bool IsCalc(const TField* f) {
    return f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup;
  }

  static bool ReadValue(TField* field, const Value& v, void* buffer) {
    if (!v) return false;
    if (!buffer || field->IsBlob()) return true;
    if (field->DataType() == ftString) {
      size_t n = std::min(v->size(), static_cast<size_t>(field->Size()));
      std::memcpy(buffer, v->data(), n);
      static_cast<char*>(buffer)[n] = 0;
    } else if (field->DataType() == ftWideString) {
      size_t n = std::min(v->size() / 2, static_cast<size_t>(field->Size()));
      std::memcpy(buffer, v->data(), n * 2);
      static_cast<char16_t*>(buffer)[n] = 0;
    } else {
      std::memcpy(buffer, v->data(), v->size());
    }
    return true;
  }

  void SetFieldData(TField* field, const void* buffer) override {
    bool calculating = this->State() == dsCalcFields && IsCalc(field);
    if (this->State() != dsEdit && this->State() != dsInsert && !calculating)
      DatabaseError(SNotEditing, this);
    TRecordBuffer b = this->ActiveBuffer();
    ++writes;
    this->BeginFieldWrite(field, buffer);
    Value v;
    if (buffer) {
      if (field->DataType() == ftString) {
        v = std::string(static_cast<const char*>(buffer));
      } else if (field->DataType() == ftWideString) {
        std::u16string w(static_cast<const char16_t*>(buffer));
        v = std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2);
      } else {
        v = std::string(static_cast<const char*>(buffer), static_cast<size_t>(field->GetDataSize()));
      }
      if (v->empty()) v.reset();  // an empty text is stored as NULL
    }
    if (IsCalc(field))
      Rec(b)->calc[field] = v;
    else
      Rec(b)->values.at(static_cast<size_t>(field->FieldNo() - 1)) = v;
    this->EndFieldWrite(field);
  }

  int GetRecNo() override { return this->ActiveBuffer() ? ActiveRowIndex() + 1 : -1; }
  bool GetCanModify() override { return can_modify; }
  int GetRecordCount() override {
    this->CheckActive();
    return static_cast<int>(rows_.size());
  }

 private:
  int IndexOfId(int id) const {
    for (size_t i = 0; i < ids_.size(); ++i)
      if (ids_[i] == id) return static_cast<int>(i);
    return -1;
  }

  TFieldDefs columns_;
  std::vector<Row> rows_;
  std::vector<int> ids_;
  int next_id_ = 1;
  int pos_ = -1;
  bool gap_ = false;
  bool open_ = false;
};

using MemoryDataSet = MemoryDataSetT<TDataSet>;

// Native values for building rows.
inline Value Text(const std::string& s) { return s; }
inline Value Float(double d) { return std::string(reinterpret_cast<const char*>(&d), 8); }
inline Value Int64(int64_t v) { return std::string(reinterpret_cast<const char*>(&v), 8); }
inline Value Int32(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

template <class T>
T NativeAs(const Value& v) {
  T out{};
  std::memcpy(&out, v->data(), sizeof(T));
  return out;
}

inline std::u16string WideOf(const Value& v) {
  return std::u16string(reinterpret_cast<const char16_t*>(v->data()), v->size() / 2);
}

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_MEMORY_DATASET_H_
