// TRecordData: the layout of one record buffer of the Oracle record set, and
// TOracleBlob / TBlobList: the long values of a record.
//
// A record buffer is a header followed by the data area. The header's size
// is that of the real structure on this platform (RecInfoSize); the data area
// holds, per field, a null byte and the field's value area. The null byte is
// 0 for a value, 1 for null and kNotHeld for a value the area holds only
// approximately (the record's blob list keeps why).
//
// The header's ROWID copy and blob list pointers own nothing: what they point
// at belongs to a TRecordExtras (the record store's for stored records, a
// change-log copy's own for logged ones), which frees it. Headers are copied
// with memcpy, and a copied pointer must never free twice or dangle into a
// freed record. Every other copy of a record (the buffers the record-set model
// holds, the edit buffer) carries neither: CopyToBuffer leaves both pointers
// null, and CopyIntoRecord keeps the destination's own.
#ifndef KAVO_ORACLE_RECORD_DATA_H_
#define KAVO_ORACLE_RECORD_DATA_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recordset/db_types.h"
#include "rtl/ustring.h"

namespace kavo {

class TField;

// A memo's value is held as its text's UTF-16 code units (native order), as
// its stream carries them; a blob's as its bytes.
inline bool IsTextBlobType(TFieldType t) {
  return t == ftMemo || t == ftWideMemo || t == ftOraClob || t == ftFmtMemo;
}

// One long or LOB value: its bytes (empty means null) and, while it is being
// written, a compressed copy. A field whose slot could not hold its value
// exactly (a character the slot's code page lacks, text longer than the slot)
// has an item too, whose NotHeld says why: reading such a value raises it.
// An item marked ServerText is no long value: it keeps, as UTF-16 bytes, the
// text the server held for an 8-bit field whose code page could not show it,
// for the checks against the row.
struct TOracleBlob {
  TField* Field = nullptr;
  std::string Bytes;
  bool Compressed = false;
  std::string CompressedBytes;
  String NotHeld;
  bool ServerText = false;

  size_t BlobSize() const { return Bytes.size(); }
};

class TBlobList {
 public:
  // The field's item, created when missing.
  TOracleBlob& BlobByField(TField* field);
  // The field's item, or null; FindServerText the same for the server's text.
  const TOracleBlob* FindBlob(const TField* field) const;
  const TOracleBlob* FindServerText(const TField* field) const;
  // Keeps `text` as the field's server text.
  void SetServerText(TField* field, StringView text);
  void RemoveServerText(const TField* field);
  std::vector<TOracleBlob>& Items() { return items_; }
  void Clear() { items_.clear(); }

 private:
  std::vector<TOracleBlob> items_;
};

inline constexpr uint8_t kNotHeld = 2;

// Where a field's value lives in a record's data area and in what form.
enum class SlotForm : uint8_t { kNone, kAnsi, kUtf8, kUtf16, kFixed, kBlob };
// How a fetched value of the slot's column becomes the slot's value, decided
// once for the layout from the column's buffer type and the field's type:
// the row's road then makes one switch a field. kUnexpected is a pair that
// cannot meet (raised when a value comes, not for NULL).
enum class SlotRead : uint8_t {
  kNoColumn, kUnexpected, kInt16, kInt32, kInt64, kFloat,
  kText,       // into a UTF-16 or memo slot, or from a UTF-16 column
  kBytesText,  // an 8-bit or UTF-8 column into a slot that keeps bytes
  kDate, kTimestamp, kLong
};
struct RecordSlot {
  TField* field = nullptr;
  size_t offset = 0;  // null byte, in the data area
  size_t width = 0;   // value area
  SlotForm form = SlotForm::kNone;
  int info = 0;       // column description (0: none)
  int column = -1;    // select-list position
  size_t size = 0;    // the field's size, asked once rather than per value
  SlotRead read = SlotRead::kNoColumn;
};

// ROWIDs of at most this many characters are held in the header itself.
constexpr size_t kInlineRowIdLength = 17;

struct TRecordHeader {
  int32_t Bookmark = 0;
  int32_t MasterBookmark = -1;
  uint8_t BookmarkFlag = 0;
  Char RowId[kInlineRowIdLength + 2] = {};  // zero-terminated
  Char* PRowid = nullptr;                   // a longer ROWID, held by the record's extras
  TBlobList* BlobList = nullptr;            // held by the record's extras
  int32_t ArraySize = 0;                    // bytes of the data area
};

constexpr size_t RecInfoSize = sizeof(TRecordHeader);

inline TRecordHeader& Header(TRecordBuffer record) {
  return *reinterpret_cast<TRecordHeader*>(record);
}
inline const TRecordHeader& Header(const uint8_t* record) {
  return *reinterpret_cast<const TRecordHeader*>(record);
}
inline uint8_t* DataArea(TRecordBuffer record) { return record + RecInfoSize; }
inline const uint8_t* DataArea(const uint8_t* record) { return record + RecInfoSize; }

// Zero-fills `size` bytes at `record` and constructs an empty header whose
// data area is the rest.
void InitRecordBuffer(TRecordBuffer record, size_t size);
// Only the header: the data area is left as it is, for a caller that writes
// every field's null byte and value itself.
void InitRecordHeader(TRecordBuffer record, size_t size);

// The ROWID text: the separate copy when there is one, else the inline text.
String RecordRowId(const uint8_t* record);

// Holds the ROWID copies and blob lists of a set of records, allocating and
// freeing them in one place. ROWID copies are cut from shared chunks (one
// allocation for hundreds of rows); a replaced one is left until Clear.
class TRecordExtras {
 public:
  TRecordExtras() = default;
  TRecordExtras(const TRecordExtras&) = delete;
  TRecordExtras& operator=(const TRecordExtras&) = delete;

  // Inline up to kInlineRowIdLength characters, else as a copy held here.
  void SetRowId(TRecordBuffer record, StringView rowid);
  // The same from ASCII bytes (a ROWID's text as a statement fetched it).
  void SetRowIdAscii(TRecordBuffer record, const char* rowid, size_t length);
  // The record's blob list, created when missing.
  TBlobList& Blobs(TRecordBuffer record);
  // Frees the record's blob list now (its ROWID copy goes with Clear).
  void Release(TRecordBuffer record);
  void Clear();
  // Bytes held for ROWID copies and blob values.
  size_t Bytes() const;

 private:
  Char* RowIdRoom(TRecordBuffer record, size_t length);

  std::vector<std::unique_ptr<Char[]>> rowid_chunks_;
  size_t chunk_free_ = 0;  // characters left in the last chunk
  size_t rowid_chars_ = 0;
  std::vector<std::unique_ptr<TBlobList>> blob_lists_;
};

// The record copied whole into a buffer that does not own anything: the
// copy's ROWID pointer and blob list stay null (its inline ROWID is copied).
void CopyToBuffer(const uint8_t* record, TRecordBuffer buffer, size_t size);
// A buffer's header values and data area copied into a stored record, which
// keeps its own ROWID copy and blob list.
void CopyIntoRecord(const uint8_t* buffer, TRecordBuffer record, size_t size);

}  // namespace kavo

#endif  // KAVO_ORACLE_RECORD_DATA_H_
