// The large-value field kinds and the stream a record set hands them.
//
//   kind             DataType     stream contents
//   TBlobField       ftBlob       the raw bytes
//   TMemoField       ftMemo       the text as UTF-16 code units, native order
//   TWideMemoField   ftWideMemo   the same as TMemoField
//
// A blob field has no native buffer (GetDataSize() 0): every value goes
// through TDataSet::CreateBlobStream. Clear() hands the record set a null
// buffer (SetFieldData(field, nullptr)), which stores NULL; an empty value
// written through a stream is an empty value, not NULL. Record sets decode
// server text into UTF-16 when they fetch a memo and encode it when they
// write, so a memo never loses a character to the code page.
#ifndef KAVO_RECORDSET_BLOB_FIELDS_H_
#define KAVO_RECORDSET_BLOB_FIELDS_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "recordset/field.h"
#include "rtl/stream.h"

namespace kavo {

class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* owner);  // Size 0

  bool IsBlob() const override { return true; }
  int GetDataSize() const override { return 0; }

  int64_t BlobSize() const;
  std::vector<uint8_t> AsBytes() const { return GetAsBytes(); }
  virtual std::vector<uint8_t> GetAsBytes() const;
  virtual void SetAsBytes(const std::vector<uint8_t>& value);
  // The whole source from its start becomes the value.
  void LoadFromStream(TStream& source);
  // Writes the value at the destination's position.
  void SaveToStream(TStream& dest) const;

  // The bytes in the ANSI code page; AsAnsiString the bytes themselves.
  String GetAsString() const override;
  std::string GetAsAnsiString() const override;
  void SetAsString(const String& value) override;
  void SetAsAnsiString(const std::string& value) override;
  OraVariant GetAsVariant() const override;   // a byte array; NULL is null
  void SetAsVariant(const OraVariant& value) override;
  // Shown as the class description ("(Blob)", "(Memo)"); edited as AsString.
  String GetText(bool display) const override;
  void CheckTypeSize(int size) const override;

 protected:
  void WriteBytes(const void* data, size_t size);
};

class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* owner);

  String GetAsString() const override;        // the text; NULL is ""
  std::string GetAsAnsiString() const override;  // the text in the ANSI code page
  void SetAsString(const String& value) override;
  void SetAsAnsiString(const std::string& value) override;
  OraVariant GetAsVariant() const override;
  void SetAsVariant(const OraVariant& value) override;
};

class TWideMemoField : public TMemoField {
 public:
  explicit TWideMemoField(TComponent* owner);
};

// A blob value in memory: a record set's usual CreateBlobStream answer. It
// starts with the value's bytes (none for bmWrite). Once written (or opened
// with bmWrite), Close() hands the bytes to `store` and tells the record set
// (TDataSet::BlobModified). A writing stream belongs to the record's edit:
// Post closes it; once the edit ends otherwise (or the record set closes),
// Close does nothing. The destructor closes a stream not yet closed and drops
// an error then, as nothing can receive it there.
class TBlobDataStream : public TMemoryStream {
 public:
  using StoreFn = std::function<void(std::vector<uint8_t>&&)>;

  // Raises "Dataset not in edit or insert mode" for a writing mode outside
  // dsEdit and dsInsert.
  TBlobDataStream(TDataSet& dataset, TField* field, TBlobStreamMode mode,
                  std::vector<uint8_t> value, StoreFn store);
  ~TBlobDataStream() override;

  int64_t Write(const void* buffer, int64_t count) override;
  void SetSize(int64_t size) override;
  void Close();

 private:
  friend class TDataSet;
  void Detach();

  // Null once closed or let go.
  TDataSet* dataset_;
  TField* field_;
  TBlobStreamMode mode_;
  StoreFn store_;
  bool changed_;
};

}  // namespace kavo

#endif  // KAVO_RECORDSET_BLOB_FIELDS_H_
