// TOracleDataSet: field values in and out of record buffers, the buffers the
// record-set model holds, bookmarks and flags in a buffer.
#include <cmath>
#include <cstring>

#include "oracle/dataset_messages.h"
#include "oracle/oracle_dataset.h"
#include "oracle/oracle_date.h"
#include "oracle/oracle_text.h"
#include "recordset/blob_fields.h"
#include "recordset/database_error.h"
#include "rtl/code_page.h"
#include "rtl/float_text.h"
#include "rtl/format.h"

namespace kavo {

namespace {

// UTF-16 text as UTF-8 of at most `max` bytes, cut by whole characters and
// never between the halves of a surrogate pair.
std::string FitUtf8(const String& text, size_t max) {
  std::string bytes = Utf8Encode(text);
  if (bytes.size() <= max) return bytes;
  bytes = CutWholeCharacters(bytes, max, "UTF-8");
  size_t n = bytes.size();
  if (n >= 3 && static_cast<unsigned char>(bytes[n - 3]) == 0xED &&
      (static_cast<unsigned char>(bytes[n - 2]) & 0xF0) == 0xA0)
    bytes.resize(n - 3);
  return bytes;
}

String Utf16At(const uint8_t* p, size_t max_chars) {
  String text;
  for (size_t i = 0; i < max_chars; ++i) {
    Char c;
    std::memcpy(&c, p + i * sizeof(Char), sizeof c);
    if (c == 0) break;
    text += c;
  }
  return text;
}

void PutUtf16(uint8_t* dest, const String& text, size_t max_chars) {
  size_t n = std::min(text.size(), max_chars);
  if (n < text.size() && n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
  std::memcpy(dest, text.data(), n * sizeof(Char));
  std::memset(dest + n * sizeof(Char), 0, sizeof(Char));
}

void PutBytes(uint8_t* dest, const std::string& bytes) {
  std::memcpy(dest, bytes.data(), bytes.size());
  dest[bytes.size()] = 0;
}


}  // namespace

const TOracleDataSet::Slot* TOracleDataSet::SlotOf(const TField* field) const {
  auto it = slot_of_.find(field);
  return it == slot_of_.end() ? nullptr : &slots_[it->second];
}

TRecordBuffer TOracleDataSet::ActiveRecord() const {
  return fetch_record_ != nullptr ? fetch_record_ : ActiveBuffer();
}

TRecordBuffer TOracleDataSet::StoredRecord(const uint8_t* buffer, bool header_only) const {
  if (buffer == nullptr || !store_) return nullptr;
  const TRecordHeader& h = Header(buffer);
  if (h.BookmarkFlag != bfCurrent) return nullptr;
  int index = IndexOfBookmark(h.Bookmark);
  if (index < 0) return nullptr;
  return header_only ? store_->PeekAt(index) : store_->RecordAt(index);
}

bool TOracleDataSet::IsNullIn(const uint8_t* record, const Slot& s) const {
  if (s.form == Form::kBlob) {
    const TOracleBlob* b = BlobIn(record, s);
    return b == nullptr || b->Bytes.empty();
  }
  return DataArea(record)[s.offset] == 1;
}

const TOracleBlob* TOracleDataSet::BlobIn(const uint8_t* record, const Slot& s) const {
  // A copy carries no blob list: the edit has its working values, a browse
  // buffer its stored record's.
  if ((State() == dsEdit || State() == dsInsert) && record == ActiveBuffer())
    return work_blobs_.FindBlob(s.field);
  const uint8_t* stored =
      Header(record).BlobList != nullptr ? record : StoredRecord(record, /*header_only=*/true);
  if (stored == nullptr || Header(stored).BlobList == nullptr) return nullptr;
  return Header(stored).BlobList->FindBlob(s.field);
}

TBlobList& TOracleDataSet::BlobsOf(TRecordBuffer record) {
  if (TBlobList* list = Header(record).BlobList) return *list;
  if (record == ActiveBuffer()) return work_blobs_;
  if (TRecordCopy* copy = change_log_.CopyAt(record)) return copy->Blobs();
  return store_->Blobs(record);
}

bool TOracleDataSet::ReadNative(const uint8_t* record, const Slot& s, void* dest) const {
  if (IsNullIn(record, s)) return false;
  if (dest == nullptr) return true;
  if (DataArea(record)[s.offset] == kNotHeld && s.form != Form::kBlob) {
    const TOracleBlob* note = BlobIn(record, s);
    DatabaseError(note != nullptr && !note->NotHeld.empty()
                      ? note->NotHeld
                      : u"Field '" + s.field->FieldName() + u"': the value was not read exactly",
                  this);
  }
  const uint8_t* value = DataArea(record) + s.offset + 1;
  switch (s.form) {
    case Form::kUtf8: {
      size_t n = strnlen(reinterpret_cast<const char*>(value), s.width);
      String text = Utf8Decode(std::string_view(reinterpret_cast<const char*>(value), n));
      PutUtf16(static_cast<uint8_t*>(dest), text, static_cast<size_t>(s.field->Size()));
      return true;
    }
    case Form::kBlob:
      return true;
    default:
      std::memcpy(dest, value, s.width);
      return true;
  }
}

void TOracleDataSet::WriteNative(uint8_t* record, const Slot& s, const void* source) const {
  uint8_t* area = DataArea(record) + s.offset;
  uint8_t* value = area + 1;
  std::memset(value, 0, s.width);
  bool empty = source == nullptr;
  if (!empty && (s.form == Form::kAnsi)) empty = static_cast<const char*>(source)[0] == 0;
  if (!empty && (s.form == Form::kUtf8 || s.form == Form::kUtf16)) {
    Char c;
    std::memcpy(&c, source, sizeof c);
    empty = c == 0;
  }
  // An empty text cannot be stored: it is null.
  if (empty) {
    area[0] = 1;
    return;
  }
  area[0] = 0;
  size_t size = s.field->Size() < 0 ? 0 : static_cast<size_t>(s.field->Size());
  switch (s.form) {
    case Form::kAnsi: {
      const char* p = static_cast<const char*>(source);
      std::string bytes(p, strnlen(p, size + 1));
      PutBytes(value, CutWholeCharacters(bytes, size, AnsiCodePage()));
      return;
    }
    case Form::kUtf8:
      PutBytes(value, FitUtf8(Utf16At(static_cast<const uint8_t*>(source), size), size));
      return;
    case Form::kUtf16:
      PutUtf16(value, Utf16At(static_cast<const uint8_t*>(source), size), size);
      return;
    case Form::kFixed:
      std::memcpy(value, source, s.width);
      return;
    default:
      return;
  }
}

OraVariant TOracleDataSet::ValueIn(const uint8_t* record, const Slot& s) const {
  if (IsNullIn(record, s)) return OraVariant();
  const uint8_t* value = DataArea(record) + s.offset + 1;
  switch (s.form) {
    case Form::kAnsi:
    case Form::kUtf8:
    case Form::kUtf16:
      return OraVariant(TextIn(record, s));
    case Form::kBlob: {
      const TOracleBlob* b = BlobIn(record, s);
      if (IsTextBlobType(s.field->DataType())) return OraVariant(TextOfUtf16Bytes(b->Bytes));
      return OraVariant::Bytes(std::vector<uint8_t>(b->Bytes.begin(), b->Bytes.end()));
    }
    case Form::kFixed:
      break;
    default:
      return OraVariant();
  }
  switch (s.field->DataType()) {
    case ftSmallint: {
      int16_t v;
      std::memcpy(&v, value, sizeof v);
      return OraVariant(static_cast<int32_t>(v));
    }
    case ftInteger:
    case ftAutoInc: {
      int32_t v;
      std::memcpy(&v, value, sizeof v);
      return OraVariant(v);
    }
    case ftLargeint: {
      int64_t v;
      std::memcpy(&v, value, sizeof v);
      if (v >= INT32_MIN && v <= INT32_MAX) return OraVariant(static_cast<int32_t>(v));
      return OraVariant(static_cast<double>(v));
    }
    case ftFloat: {
      double v;
      std::memcpy(&v, value, sizeof v);
      return OraVariant(v);
    }
    case ftDateTime:
    case ftDate:
    case ftTime: {
      TDateTime t = 0;
      const_cast<TOracleDataSet*>(this)->DataConvert(s.field, value, &t, false);
      return OraVariant::Date(t);
    }
    default:
      return OraVariant();
  }
}

String TOracleDataSet::TextIn(const uint8_t* record, const Slot& s) const {
  if (IsNullIn(record, s)) return String();
  const uint8_t* value = DataArea(record) + s.offset + 1;
  const char* p = reinterpret_cast<const char*>(value);
  switch (s.form) {
    case Form::kAnsi:
      return AnsiToString(std::string_view(p, strnlen(p, s.width)));
    case Form::kUtf8:
      return Utf8Decode(std::string_view(p, strnlen(p, s.width)));
    case Form::kUtf16:
      return Utf16At(value, s.width / sizeof(Char));
    default:
      return ValueIn(record, s).AsString();
  }
}

void TOracleDataSet::StoreValue(uint8_t* record, const Slot& s, const OraVariant& v) {
  uint8_t* area = DataArea(record) + s.offset;
  uint8_t* value = area + 1;
  bool trim = session_ == nullptr || session_->Preferences().TrimStringFields();
  if (s.form == Form::kBlob) {
    std::string bytes;
    if (!v.IsEmptyOrNull())
      bytes = IsTextBlobType(s.field->DataType()) ? Utf16Bytes(v.AsString())
              : v.Kind() == vkByteArray ? std::string(v.ByteArray().begin(), v.ByteArray().end())
                                        : Utf8Encode(v.AsString());
    area[0] = bytes.empty() ? 1 : 0;
    if (Header(record).BlobList == nullptr && bytes.empty() && record != ActiveBuffer()) return;
    BlobsOf(record).BlobByField(s.field).Bytes = std::move(bytes);
    return;
  }
  std::memset(value, 0, s.width);
  if (v.IsEmptyOrNull()) {
    area[0] = 1;
    return;
  }
  size_t size = s.field->Size() < 0 ? 0 : static_cast<size_t>(s.field->Size());
  switch (s.form) {
    case Form::kAnsi: {
      bool lossy = false;
      std::string bytes = v.Kind() == vkAnsiString
                              ? v.AnsiBytes()
                              : StringToAnsi(v.AsString(), &lossy);
      if (trim) bytes.resize(TrimRightBytes(bytes).size());
      area[0] = bytes.empty() ? 1 : 0;
      std::string kept = CutWholeCharacters(bytes, size, AnsiCodePage());
      PutBytes(value, kept);
      if (lossy)
        MarkNotHeld(record, s,
                    CannotStoreMessage(u"Field '" + s.field->FieldName() + u"'",
                                       TrimRight(v.AsString()), AsciiToString(AnsiCodePage())));
      else if (kept.size() < bytes.size())
        MarkNotHeld(record, s,
                    SNotHeldTooLong(s.field->FieldName(), bytes.size(), u" bytes", size, false));
      return;
    }
    case Form::kUtf8:
    case Form::kUtf16: {
      String text = v.AsString();
      if (trim) text = TrimRight(text);
      area[0] = text.empty() ? 1 : 0;
      if (s.form == Form::kUtf8)
        PutBytes(value, FitUtf8(text, size));
      else
        PutUtf16(value, text, size);
      return;
    }
    case Form::kFixed:
      break;
    default:
      return;
  }
  area[0] = 0;
  if (!StoreFixedValue(value, s, v)) area[0] = 1;
}

// A number or date-time into its value area; false for a field of no such type.
bool TOracleDataSet::StoreFixedValue(uint8_t* value, const Slot& s, const OraVariant& v) {
  switch (s.field->DataType()) {
    case ftSmallint: {
      int16_t w = static_cast<int16_t>(v.AsInteger());
      std::memcpy(value, &w, sizeof w);
      return true;
    }
    case ftInteger:
    case ftAutoInc: {
      int32_t w = v.AsInteger();
      std::memcpy(value, &w, sizeof w);
      return true;
    }
    case ftLargeint: {
      int64_t w = static_cast<int64_t>(std::llround(v.AsDouble()));
      std::memcpy(value, &w, sizeof w);
      return true;
    }
    case ftFloat: {
      double w = v.AsDouble();
      std::memcpy(value, &w, sizeof w);
      return true;
    }
    case ftDateTime:
    case ftDate:
    case ftTime: {
      TDateTime t = v.AsDateTime();
      DataConvert(s.field, &t, value, true);
      return true;
    }
    default:
      return false;
  }
}

bool TOracleDataSet::GetFieldData(TField* field, void* buffer) {
  const Slot* s = SlotOf(field);
  TRecordBuffer record = State() == dsOldValue ? OldRecord() : ActiveRecord();
  if (s == nullptr || record == nullptr) return false;
  return ReadNative(record, *s, buffer);
}

void TOracleDataSet::CheckStorable(const Slot& s, const void* source) {
  if (source == nullptr || s.form != Form::kFixed || s.info <= 0 ||
      s.field->FieldKind() != fkData)
    return;
  String reason;
  switch (s.field->DataType()) {
    case ftFloat: {
      double v;
      std::memcpy(&v, source, sizeof v);
      if (!std::isfinite(v)) reason = Format(SNotFinite, {FloatToStr(v)});
      break;
    }
    case ftDateTime:
    case ftDate:
    case ftTime: {
      TDateTime t = 0;
      DataConvert(s.field, source, &t, false);
      try {
        CheckOracleDate(t);
      } catch (const EConvertError& e) {
        reason = e.Message();
      }
      break;
    }
    default:
      break;
  }
  // Refused now, naming the field: at the post it could only name the
  // statement's variable.
  if (!reason.empty()) DatabaseError(Format(SFieldValue, {s.field->FieldName(), reason}), this);
}

void TOracleDataSet::SetFieldData(TField* field, const void* buffer) {
  const Slot* s = SlotOf(field);
  TRecordBuffer record = ActiveRecord();
  if (s == nullptr || record == nullptr) return;
  if (s->form == Form::kBlob) {
    // Only NULL comes this way (Clear); values come through a blob stream.
    if (buffer != nullptr || record != ActiveBuffer()) return;
    BeginFieldWrite(field, buffer);
    work_blobs_.BlobByField(field).Bytes.clear();
    EndFieldWrite(field);
    return;
  }
  CheckStorable(*s, buffer);
  BeginFieldWrite(field, buffer);
  WriteNative(record, *s, buffer);
  InstallHooks();
  writer_.FieldWritten(field, record);
  EndFieldWrite(field);
}

std::unique_ptr<TStream> TOracleDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  const Slot* s = SlotOf(field);
  TRecordBuffer record = State() == dsOldValue ? OldRecord() : ActiveRecord();
  if (s == nullptr || s->form != Form::kBlob || record == nullptr)
    return TDataSet::CreateBlobStream(field, mode);
  if (mode != bmRead && !field->CanModify())
    DatabaseError(Format(u"Field '%s' cannot be modified", {field->FieldName()}), this);
  std::vector<uint8_t> value;
  if (mode != bmWrite) {
    if (const TOracleBlob* b = BlobIn(record, *s)) value.assign(b->Bytes.begin(), b->Bytes.end());
  }
  // What is written goes to the edit's working values, which the post writes.
  return std::make_unique<TBlobDataStream>(
      *this, field, mode, std::move(value), [this, field](std::vector<uint8_t>&& bytes) {
        work_blobs_.BlobByField(field).Bytes.assign(bytes.begin(), bytes.end());
      });
}

TField* TOracleDataSet::CreateDefaultField(const TFieldDef& def) {
  switch (def.DataType) {
    case ftOraClob: return new TOracleClobField(this);
    case ftOraBlob: return new TOracleBlobField(this);
    default: return TDataSet::CreateDefaultField(def);
  }
}

TOracleClobField::TOracleClobField(TComponent* owner) : TMemoField(owner) {
  SetDataTypeInternal(ftOraClob);
}

TOracleBlobField::TOracleBlobField(TComponent* owner) : TBlobField(owner) {
  SetDataTypeInternal(ftOraBlob);
}

// ---- the server's text of an 8-bit field ---------------------------------------------

String TOracleDataSet::AnsiHeldText(StringView text, size_t size, bool& exact) {
  std::string bytes = StringToAnsi(text);
  String held(text);
  if (bytes.size() > size) {
    size_t used = 0, i = 0;
    while (i < text.size()) {
      const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
                        text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
      const size_t n = pair ? 2 : 1;
      size_t b = StringToAnsi(text.substr(i, n)).size();
      if (used + b > size) break;
      used += b;
      i += n;
    }
    held.resize(i);
    bytes = StringToAnsi(held);
  }
  exact = AnsiToString(bytes) == held;
  return held;
}

const TOracleBlob* TOracleDataSet::ServerTextIn(const uint8_t* record, const Slot& s) {
  const TBlobList* list = Header(record).BlobList;
  return s.form == Form::kAnsi && list != nullptr ? list->FindServerText(s.field) : nullptr;
}

void TOracleDataSet::KeepServerText(TRecordBuffer record, const Slot& s, StringView text) {
  if (s.form != Form::kAnsi) return;
  TRecordHeader& h = Header(record);
  bool exact = true;
  const size_t size = s.field->Size() < 0 ? 0 : static_cast<size_t>(s.field->Size());
  String held = text.empty() ? String() : AnsiHeldText(text, size, exact);
  if (exact) {
    if (h.BlobList != nullptr) h.BlobList->RemoveServerText(s.field);
    return;
  }
  BlobsOf(record).SetServerText(s.field, held);
}

// ---- buffers ------------------------------------------------------------------------

TRecordBuffer TOracleDataSet::AllocRecordBuffer() {
  TRecordBuffer buffer = new uint8_t[record_size_];
  InitRecordBuffer(buffer, record_size_);
  return buffer;
}

void TOracleDataSet::FreeRecordBuffer(TRecordBuffer& buffer) {
  // A buffer is a copy: it owns no ROWID copy and no blob list.
  delete[] buffer;
  buffer = nullptr;
}

void TOracleDataSet::GetBookmarkData(TRecordBuffer buffer, void* data) {
  std::memcpy(data, &Header(buffer).Bookmark, sizeof(int32_t));
}

void TOracleDataSet::SetBookmarkData(TRecordBuffer buffer, const void* data) {
  std::memcpy(&Header(buffer).Bookmark, data, sizeof(int32_t));
}

TBookmarkFlag TOracleDataSet::GetBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBookmarkFlag>(Header(buffer).BookmarkFlag);
}

void TOracleDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
  Header(buffer).BookmarkFlag = static_cast<uint8_t>(flag);
}

void TOracleDataSet::InternalInitRecord(TRecordBuffer buffer) {
  InitRecordBuffer(buffer, record_size_);
  for (const Slot& s : slots_) DataArea(buffer)[s.offset] = 1;
  work_blobs_.Clear();
}

void TOracleDataSet::ClearCalcFields(TRecordBuffer buffer) {
  for (const Slot& s : slots_) {
    if (s.field->FieldKind() != fkCalculated && s.field->FieldKind() != fkLookup) continue;
    uint8_t* area = DataArea(buffer) + s.offset;
    area[0] = 1;
    std::memset(area + 1, 0, s.width);
  }
}

}  // namespace kavo
