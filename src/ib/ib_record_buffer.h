// The record buffer of the Firebird record set: how one row is kept.
//
//   header | one slot per select column | data area | calculated fields
//
// A slot describes its column (SQL type without the nullable bit, scale,
// nullable and NULL flags, data size and used length in bytes, the offset of
// its data from the buffer start, bytes per character, whether a scaled
// number is kept as a float); its value sits in the data area in the stored
// form of its kind:
//
//   column                         kept as
//   SQL_TEXT, SQL_VARYING          UTF-16 text, 2 * (declared bytes / bytes per
//                                  character) bytes; length = used bytes
//   SQL_DOUBLE, SQL_FLOAT, D_FLOAT 8-byte float
//   integers, scale 0              int32 (int64 for SQL_INT64)
//   integers, scale -1 to -4       int64 currency (value * 10000)
//   integers, scale below -4       34-byte packed decimal (a float field too)
//   SQL_TIMESTAMP                  double: milliseconds since 0001-01-01 00:00,
//                                  with the server's tenths of a millisecond
//   SQL_TYPE_DATE                  int32 day number (0001-01-01 is day 1)
//   SQL_TYPE_TIME                  int32 ten-thousandths of a second since
//                                  midnight (the server's own form)
//   anything else                  the server's bytes
//
// Every copy into a slot is bounded by the slot's size; text is cut at a
// character boundary (never inside a surrogate pair).
#ifndef KAVO_IB_IB_RECORD_BUFFER_H_
#define KAVO_IB_IB_RECORD_BUFFER_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ib/ib_header.h"
#include "recordset/db_types.h"
#include "rtl/bcd.h"
#include "rtl/ustring.h"

namespace kavo {

class TField;
class TIBXSQLDA;
class TIBXSQLVAR;

// What a record waits for while cached updates collect changes.
enum TCachedUpdateStatus : uint8_t {
  cusUnmodified, cusModified, cusInserted, cusDeleted, cusUninserted
};

struct TIBRecordHeader {
  uint8_t flags;                 // TBookmarkFlag
  uint8_t cached_update_status;  // TCachedUpdateStatus
  uint8_t update_status;         // TUpdateStatus
  uint8_t has_db_key;
  int16_t column_count;
  int32_t record_number;         // position in the record cache
  int32_t saved_offset;          // -1 when none
  uint8_t db_key[8];
};

struct TIBFieldSlot {
  int16_t sql_type;
  int16_t scale;
  uint8_t nullable;
  uint8_t is_null;
  uint8_t char_size;
  uint8_t scaled_as_float;
  // A currency slot whose number lies beyond the currency form holds the
  // server's unscaled integer instead (value * 10^-scale).
  uint8_t unscaled;
  // The value is the server's, as read (no field has written it since).
  uint8_t from_server;
  uint32_t data_size;
  uint32_t data_length;
  uint32_t data_offset;
};

// How a slot keeps its value (from its type and scale).
enum class TSlotKind {
  Text, Float, Int32, Int64, Currency, PackedDecimal, TimeStamp, Date, Time, Raw
};

constexpr size_t kPackedDecimalSize = sizeof(TBcd);
// Milliseconds since 0001-01-01 of 1899-12-30, where a time alone stands.
constexpr double kTimeOnlyBase = 693594.0 * 86400000.0;

// Asked per value of every row written or read: inline.
inline TSlotKind SlotKind(const TIBFieldSlot& slot) {
  switch (slot.sql_type) {
    case SQL_TEXT: case SQL_VARYING:
      return TSlotKind::Text;
    case SQL_DOUBLE: case SQL_FLOAT: case SQL_D_FLOAT:
      return TSlotKind::Float;
    case SQL_SHORT: case SQL_LONG: case SQL_INT64:
      if (slot.scale == 0) return slot.sql_type == SQL_INT64 ? TSlotKind::Int64 : TSlotKind::Int32;
      if (slot.scale >= -4) return TSlotKind::Currency;
      return slot.scaled_as_float ? TSlotKind::Float : TSlotKind::PackedDecimal;
    case SQL_TIMESTAMP:
      return TSlotKind::TimeStamp;
    case SQL_TYPE_DATE:
      return TSlotKind::Date;
    case SQL_TYPE_TIME:
      return TSlotKind::Time;
    default:
      return TSlotKind::Raw;
  }
}

// a + b and a * b in size_t; false on overflow.
bool CheckedAdd(size_t a, size_t b, size_t& out);
bool CheckedMul(size_t a, size_t b, size_t& out);

class TIBRecordLayout {
 public:
  // Lays out a record for the select's result columns. `scaled_as_float[i]`
  // keeps column i (a scale below -4) as a float; `calc_sizes` are the native
  // sizes of the calculated fields; `db_key_column` is the column aliased
  // IB_INTERNAL_DBKEY, or -1. Returns false when a size overflows.
  bool Build(TIBXSQLDA& columns, const std::vector<bool>& scaled_as_float,
             const std::vector<int>& calc_sizes, int db_key_column);

  int ColumnCount() const { return static_cast<int>(slots_.size()); }
  int DbKeyColumn() const { return db_key_column_; }
  size_t BufferSize() const { return buffer_size_; }
  // The header and the slots, where the data area starts.
  size_t HeadSize() const {
    return sizeof(TIBRecordHeader) + slots_.size() * sizeof(TIBFieldSlot);
  }
  // A record with every column NULL.
  void InitModel(uint8_t* buffer) const;
  // Copies the record at `source` to `dest`: header, slots, each value's
  // used bytes and the calculated fields. The rest of a text's room and a
  // NULL's value are never read, and most of a record is such room: a
  // whole-record copy moved it through the cache for nothing.
  void CopyRecord(uint8_t* dest, const uint8_t* source) const;

  static TIBRecordHeader& Header(uint8_t* buffer) {
    return *reinterpret_cast<TIBRecordHeader*>(buffer);
  }
  static TIBFieldSlot& Slot(uint8_t* buffer, int column) {
    return reinterpret_cast<TIBFieldSlot*>(buffer + sizeof(TIBRecordHeader))[column];
  }
  static uint8_t* Data(uint8_t* buffer, const TIBFieldSlot& slot) {
    return buffer + slot.data_offset;
  }
  // The calculated field `index`: a NULL-flag byte, then its native value.
  uint8_t* Calc(uint8_t* buffer, int index) const { return buffer + calc_offsets_.at(index); }

  // Converts the fetched row into `buffer` (a copy of the model record).
  void StoreRow(uint8_t* buffer, TIBXSQLDA& row) const;
  // Copies column `column` of `row` into the slot of the same column.
  static void StoreColumn(uint8_t* buffer, int column, TIBXSQLVAR& var);

 private:
  // CopyRecord's steps: a byte range copied whole (the header and slots,
  // values of a fixed size next to each other, the calculated fields), or a
  // text slot's used bytes.
  struct CopyStep {
    uint32_t offset;
    uint32_t size;
    int32_t text_column;  // -1: the whole range
  };
  void PlanCopy();

  std::vector<TIBFieldSlot> slots_;
  std::vector<CopyStep> copy_steps_;
  std::vector<size_t> calc_offsets_;
  int db_key_column_ = -1;
  size_t buffer_size_ = 0;
};

// ---- values in slots ----------------------------------------------------------

// The text of a text slot.
String SlotText(uint8_t* buffer, const TIBFieldSlot& slot);
// Stores `units` UTF-16 units, cut to the slot at a character boundary;
// false when it had to be cut.
// Inline: every text written to a record comes here.
inline bool StoreSlotText(uint8_t* buffer, TIBFieldSlot& slot, const Char* text, size_t units) {
  size_t n = std::min<size_t>(units, slot.data_size / 2);
  if (n < units && n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;  // a pair
  if (n > 0) std::memcpy(TIBRecordLayout::Data(buffer, slot), text, n * 2);
  slot.data_length = static_cast<uint32_t>(n * 2);
  slot.is_null = 0;
  slot.from_server = 0;
  return n == units;
}

int64_t SlotAsInt64(uint8_t* buffer, const TIBFieldSlot& slot);
double SlotAsDouble(uint8_t* buffer, const TIBFieldSlot& slot);
// Ten-thousandths (saturated when the number lies beyond them).
int64_t SlotAsCurrency(uint8_t* buffer, const TIBFieldSlot& slot);
// Ten-thousandths; false when the number lies beyond them.
bool SlotCurrency(uint8_t* buffer, const TIBFieldSlot& slot, int64_t& ten_thousandths);
// Milliseconds since 0001-01-01 (a time alone stands on 1899-12-30).
double SlotAsMilliseconds(uint8_t* buffer, const TIBFieldSlot& slot);
// The decimal text of a numeric slot (the packed decimal's exact digits).
String SlotDecimalText(uint8_t* buffer, const TIBFieldSlot& slot);

// Each returns false, and leaves the slot as it was, when the slot's kind
// cannot hold the value.
bool SetSlotInt64(uint8_t* buffer, TIBFieldSlot& slot, int64_t value);
bool SetSlotDouble(uint8_t* buffer, TIBFieldSlot& slot, double value);
bool SetSlotCurrency(uint8_t* buffer, TIBFieldSlot& slot, int64_t ten_thousandths);
bool SetSlotMilliseconds(uint8_t* buffer, TIBFieldSlot& slot, double ms);

// Between a slot and a field's native form (the field's GetDataSize bytes).
// False when the other side cannot hold the value (a number beyond the
// field kind's range, a text longer than the slot); nothing is cut or
// wrapped silently.
bool SlotToNative(uint8_t* buffer, const TIBFieldSlot& slot, const TField& field, void* native);
bool NativeToSlot(uint8_t* buffer, TIBFieldSlot& slot, const TField& field, const void* native);
// A timestamp or time slot in the server's form, to the ten-thousandth.
ISC_TIMESTAMP SlotServerTimeStamp(uint8_t* buffer, const TIBFieldSlot& slot);
ISC_TIME SlotServerTime(uint8_t* buffer, const TIBFieldSlot& slot);
// The value of a numeric slot as text, for messages.
String SlotValueText(uint8_t* buffer, const TIBFieldSlot& slot);

// The packed decimal form: precision, sign and places, 32 bytes of digits.
void PackDecimal(int64_t raw, int places, uint8_t* out);
String PackedDecimalText(const uint8_t* packed);

}  // namespace kavo

#endif  // KAVO_IB_IB_RECORD_BUFFER_H_
