#include "ib/ib_record_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "ib/ib_errors.h"
#include "ib/ib_header.h"
#include "ib/ib_server_dates.h"
#include "ib/ib_slot_bytes.h"
#include "ib/ib_xsqlda.h"
#include "rtl/bcd.h"
#include "rtl/code_points.h"
#include "rtl/datetime.h"
#include "rtl/float_text.h"

namespace kavo {

using namespace ib_slot;

namespace {

// value * 10^n; false on overflow.
bool ScaleUp(int64_t value, int n, int64_t& out) {
  out = value;
  for (int i = 0; i < n; ++i)
    if (__builtin_mul_overflow(out, int64_t{10}, &out)) return false;
  return true;
}

int64_t Pow10(int n) {
  int64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

size_t SlotDataSize(const TIBFieldSlot& slot, const TIBXSQLVAR& var) {
  switch (SlotKind(slot)) {
    case TSlotKind::Text: {
      // Room for every value the column can hold: a character beyond the
      // BMP takes two UTF-16 units, and no character takes more units than
      // bytes.
      const size_t bytes = static_cast<size_t>(std::max(var.Size(), 0));
      return 2 * std::min(bytes, 2 * (bytes / slot.char_size));
    }
    case TSlotKind::Int32: case TSlotKind::Date: case TSlotKind::Time:
      return 4;
    case TSlotKind::PackedDecimal:
      return kPackedDecimalSize;
    case TSlotKind::Raw:
      return static_cast<size_t>(std::max(var.Size(), 0));
    default:
      return 8;
  }
}

// The unscaled integer of an integer entry.
int64_t RawInteger(const TIBXSQLVAR& var) {
  const uint8_t* data = reinterpret_cast<const uint8_t*>(var.Data().SqlData());
  switch (var.SQLType()) {
    case SQL_SHORT: return Load<int16_t>(data);
    case SQL_LONG: return Load<int32_t>(data);
    default: return Load<int64_t>(data);
  }
}

// The unscaled digits of a packed decimal, and its places.
bool UnpackDecimal(const uint8_t* packed, int64_t& raw, int& places) {
  TBcd value;
  std::memcpy(&value, packed, sizeof value);
  places = BcdPlaces(value);
  return BcdToScaledInt64(value, places, raw);
}

double PackedAsDouble(const uint8_t* packed) { return BcdToDouble(Load<TBcd>(packed)); }

void StoreConverted(uint8_t* buffer, TIBFieldSlot& slot, TIBXSQLVAR& var) {
  switch (SlotKind(slot)) {
    case TSlotKind::Text: {
      String text = var.AsString();
      StoreSlotText(buffer, slot, text.data(), text.size());
      return;
    }
    case TSlotKind::TimeStamp: case TSlotKind::Date: case TSlotKind::Time: {
      TTimeStamp ts = DateTimeToTimeStamp(var.AsDateTime());
      if (!SetSlotMilliseconds(buffer, slot, ts.Date * kMsPerDay + ts.Time))
        IBError(ibceInvalidDataConversion);
      return;
    }
    case TSlotKind::Raw:
      std::memcpy(TIBRecordLayout::Data(buffer, slot), var.Data().SqlData(),
                  std::min<size_t>(slot.data_size, static_cast<size_t>(std::max(var.Size(), 0))));
      slot.data_length = slot.data_size;
      slot.from_server = 0;
      return;
    default: {
      const bool stored =
          var.SQLScale() == 0 && var.SQLType() != SQL_DOUBLE && var.SQLType() != SQL_FLOAT
              ? SetSlotInt64(buffer, slot, var.AsInt64())
              : SetSlotDouble(buffer, slot, var.AsDouble());
      if (!stored) IBError(ibceInvalidDataConversion);
    }
  }
}

}  // namespace


bool CheckedAdd(size_t a, size_t b, size_t& out) { return !__builtin_add_overflow(a, b, &out); }
bool CheckedMul(size_t a, size_t b, size_t& out) { return !__builtin_mul_overflow(a, b, &out); }

// ---- layout ------------------------------------------------------------------------

bool TIBRecordLayout::Build(TIBXSQLDA& columns, const std::vector<bool>& scaled_as_float,
                            const std::vector<int>& calc_sizes, int db_key_column) {
  const int n = columns.Count();
  slots_.assign(static_cast<size_t>(n), TIBFieldSlot{});
  copy_steps_.clear();
  calc_offsets_.clear();
  db_key_column_ = db_key_column;
  size_t offset = 0;
  if (!CheckedMul(static_cast<size_t>(n), sizeof(TIBFieldSlot), offset) ||
      !CheckedAdd(offset, sizeof(TIBRecordHeader), offset))
    return false;
  auto align = [&offset] {
    if (!CheckedAdd(offset, 7, offset)) return false;
    offset &= ~size_t{7};
    return true;
  };
  for (int i = 0; i < n; ++i) {
    TIBXSQLVAR& var = columns[i];
    TIBFieldSlot& slot = slots_[static_cast<size_t>(i)];
    slot.sql_type = var.SQLType();
    slot.scale = var.SQLScale();
    slot.nullable = var.IsNullable() ? 1 : 0;
    slot.is_null = 1;
    slot.scaled_as_float = i < static_cast<int>(scaled_as_float.size()) && scaled_as_float[i];
    slot.char_size = static_cast<uint8_t>(
        SlotKind(slot) == TSlotKind::Text ? std::clamp(var.BytesPerCharacter(), 1, 4) : 1);
    size_t size = SlotDataSize(slot, var);
    if (!align() || offset > UINT32_MAX || size > UINT32_MAX) return false;
    slot.data_offset = static_cast<uint32_t>(offset);
    slot.data_size = static_cast<uint32_t>(size);
    if (!CheckedAdd(offset, size, offset)) return false;
  }
  for (int size : calc_sizes) {
    if (!align()) return false;
    calc_offsets_.push_back(offset);
    if (!CheckedAdd(offset, 1 + static_cast<size_t>(std::max(size, 0)), offset)) return false;
  }
  // Records sit back to back in the cache: each must start where its
  // header and 8-byte values are aligned.
  if (!align() || offset > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;
  buffer_size_ = offset;
  PlanCopy();
  return true;
}

void TIBRecordLayout::InitModel(uint8_t* buffer) const {
  std::memset(buffer, 0, buffer_size_);
  TIBRecordHeader& h = Header(buffer);
  h.flags = bfCurrent;
  h.cached_update_status = cusUnmodified;
  h.update_status = usUnmodified;
  h.column_count = static_cast<int16_t>(slots_.size());
  h.record_number = -1;
  h.saved_offset = -1;
  if (!slots_.empty())
    std::memcpy(&Slot(buffer, 0), slots_.data(), slots_.size() * sizeof(TIBFieldSlot));
}

void TIBRecordLayout::PlanCopy() {
  copy_steps_.clear();
  auto whole = [this](size_t offset, size_t end) {
    // A fixed value's bytes are copied whether it is NULL or not: fewer
    // steps, and a NULL's bytes are never read.
    if (!copy_steps_.empty() && copy_steps_.back().text_column < 0)
      copy_steps_.back().size = static_cast<uint32_t>(end - copy_steps_.back().offset);
    else
      copy_steps_.push_back({static_cast<uint32_t>(offset), static_cast<uint32_t>(end - offset), -1});
  };
  whole(0, HeadSize());
  for (size_t i = 0; i < slots_.size(); ++i) {
    const TIBFieldSlot& slot = slots_[i];
    if (SlotKind(slot) == TSlotKind::Text)
      copy_steps_.push_back({slot.data_offset, slot.data_size, static_cast<int32_t>(i)});
    else
      whole(slot.data_offset, size_t{slot.data_offset} + slot.data_size);
  }
  if (!calc_offsets_.empty()) whole(calc_offsets_.front(), buffer_size_);
}

void TIBRecordLayout::CopyRecord(uint8_t* dest, const uint8_t* source) const {
  if (dest == source) return;
  const auto* stored = reinterpret_cast<const TIBFieldSlot*>(source + sizeof(TIBRecordHeader));
  for (const CopyStep& step : copy_steps_) {
    size_t size = step.size;
    if (step.text_column >= 0) {
      const TIBFieldSlot& slot = stored[step.text_column];
      if (slot.is_null) continue;
      size = std::min<size_t>(slot.data_length, size);
    }
    std::memcpy(dest + step.offset, source + step.offset, size);
  }
}

void TIBRecordLayout::StoreRow(uint8_t* buffer, TIBXSQLDA& row) const {
  for (int i = 0; i < ColumnCount(); ++i) StoreColumn(buffer, i, row[i]);
  TIBRecordHeader& h = Header(buffer);
  h.has_db_key = 0;
  std::memset(h.db_key, 0, sizeof h.db_key);
  if (db_key_column_ < 0) return;
  // A view's key is longer than 8 bytes: it cannot stand for the row.
  TIBXSQLVAR& key = row[db_key_column_];
  size_t size = static_cast<size_t>(std::max(key.Size(), 0));
  if (key.IsNull() || size == 0 || size > sizeof h.db_key) return;
  std::memcpy(h.db_key, key.Data().SqlData(), size);
  h.has_db_key = 1;
}

void TIBRecordLayout::StoreColumn(uint8_t* buffer, int column, TIBXSQLVAR& var) {
  TIBFieldSlot& slot = Slot(buffer, column);
  uint8_t* data = Data(buffer, slot);
  if (var.IsNull()) {
    slot.is_null = 1;
    slot.data_length = 0;
    slot.from_server = 1;
    return;
  }
  slot.is_null = 0;
  const uint8_t* raw = reinterpret_cast<const uint8_t*>(var.Data().SqlData());
  if (var.SQLType() != slot.sql_type || var.SQLScale() != slot.scale) {
    // Another statement's column (a refresh): through the value itself.
    StoreConverted(buffer, slot, var);
    return;
  }
  switch (SlotKind(slot)) {
    case TSlotKind::Text: {
      String text = var.AsString();
      StoreSlotText(buffer, slot, text.data(), text.size());
      slot.from_server = 1;
      return;
    }
    case TSlotKind::Float: Put(data, var.AsDouble()); break;
    case TSlotKind::Int32: Put(data, static_cast<int32_t>(var.AsInt64())); break;
    case TSlotKind::Int64: Put(data, var.AsInt64()); break;
    case TSlotKind::Currency: {
      // Beyond the currency form the server's own integer is kept, so that
      // the row is held whole and written back as it was.
      const int64_t raw = RawInteger(var);
      int64_t ten_thousandths = 0;
      slot.unscaled = ScaleUp(raw, 4 + slot.scale, ten_thousandths) ? 0 : 1;
      Put(data, slot.unscaled ? raw : ten_thousandths);
      break;
    }
    case TSlotKind::PackedDecimal: PackDecimal(RawInteger(var), -slot.scale, data); break;
    case TSlotKind::TimeStamp: {
      // The fraction of a millisecond is kept: an edit of another column
      // writes the value back as it was.
      ISC_TIMESTAMP ts = Load<ISC_TIMESTAMP>(raw);
      Put(data, (ts.timestamp_date + static_cast<double>(kServerDayZero)) * kMsPerDay +
                    ts.timestamp_time / 10.0);
      break;
    }
    case TSlotKind::Date: Put(data, Load<ISC_DATE>(raw) + kServerDayZero); break;
    case TSlotKind::Time: Put(data, static_cast<int32_t>(Load<ISC_TIME>(raw))); break;
    case TSlotKind::Raw:
      std::memcpy(data, raw,
                  std::min<size_t>(slot.data_size, static_cast<size_t>(std::max(var.Size(), 0))));
      break;
  }
  slot.data_length = slot.data_size;
  slot.from_server = 1;
}

// ---- values ----------------------------------------------------------------------

String SlotText(uint8_t* buffer, const TIBFieldSlot& slot) {
  size_t units = std::min(slot.data_length, slot.data_size) / 2;
  String text(units, u'\0');
  if (units > 0) std::memcpy(text.data(), Data(buffer, slot), units * 2);
  return text;
}



int64_t SlotAsInt64(uint8_t* buffer, const TIBFieldSlot& slot) {
  const uint8_t* d = Data(buffer, slot);
  switch (SlotKind(slot)) {
    case TSlotKind::Int32: case TSlotKind::Date: case TSlotKind::Time: return Load<int32_t>(d);
    case TSlotKind::Int64: return Load<int64_t>(d);
    case TSlotKind::Currency:
      return Load<int64_t>(d) / (slot.unscaled ? Pow10(-slot.scale) : 10000);
    default: {
      int64_t out = 0;
      if (RoundToInt64(SlotAsDouble(buffer, slot), out)) return out;
      return SlotAsDouble(buffer, slot) < 0 ? INT64_MIN : INT64_MAX;
    }
  }
}

double SlotAsDouble(uint8_t* buffer, const TIBFieldSlot& slot) {
  const uint8_t* d = Data(buffer, slot);
  switch (SlotKind(slot)) {
    case TSlotKind::Float: case TSlotKind::TimeStamp: return Load<double>(d);
    case TSlotKind::Currency:
      return static_cast<double>(Load<int64_t>(d)) /
             (slot.unscaled ? std::pow(10.0, -slot.scale) : 10000.0);
    case TSlotKind::PackedDecimal: return PackedAsDouble(d);
    case TSlotKind::Int32: case TSlotKind::Date: case TSlotKind::Time: return Load<int32_t>(d);
    case TSlotKind::Int64: return static_cast<double>(Load<int64_t>(d));
    default: return 0;
  }
}

bool SlotCurrency(uint8_t* buffer, const TIBFieldSlot& slot, int64_t& ten_thousandths) {
  const uint8_t* d = Data(buffer, slot);
  switch (SlotKind(slot)) {
    case TSlotKind::Currency:
      if (!slot.unscaled) {
        ten_thousandths = Load<int64_t>(d);
        return true;
      }
      return ScaleUp(Load<int64_t>(d), 4 + slot.scale, ten_thousandths);
    case TSlotKind::Int32: case TSlotKind::Int64:
      return ScaleUp(SlotAsInt64(buffer, slot), 4, ten_thousandths);
    default:
      return RoundToInt64(SlotAsDouble(buffer, slot) * 10000.0, ten_thousandths);
  }
}

int64_t SlotAsCurrency(uint8_t* buffer, const TIBFieldSlot& slot) {
  int64_t out = 0;
  if (SlotCurrency(buffer, slot, out)) return out;
  return SlotAsDouble(buffer, slot) < 0 ? INT64_MIN : INT64_MAX;
}

double SlotAsMilliseconds(uint8_t* buffer, const TIBFieldSlot& slot) {
  const uint8_t* d = Data(buffer, slot);
  switch (SlotKind(slot)) {
    case TSlotKind::Date: return Load<int32_t>(d) * kMsPerDay;
    case TSlotKind::Time: return kTimeOnlyBase + Load<int32_t>(d) / 10.0;
    default: return SlotAsDouble(buffer, slot);
  }
}

String SlotDecimalText(uint8_t* buffer, const TIBFieldSlot& slot) {
  if (SlotKind(slot) == TSlotKind::PackedDecimal) return PackedDecimalText(Data(buffer, slot));
  uint8_t packed[kPackedDecimalSize];
  if (SlotKind(slot) == TSlotKind::Currency)
    PackDecimal(Load<int64_t>(Data(buffer, slot)), slot.unscaled ? -slot.scale : 4, packed);
  else
    PackDecimal(SlotAsInt64(buffer, slot), 0, packed);
  return PackedDecimalText(packed);
}

String SlotValueText(uint8_t* buffer, const TIBFieldSlot& slot) {
  switch (SlotKind(slot)) {
    case TSlotKind::Float: case TSlotKind::TimeStamp: return FloatToStr(SlotAsDouble(buffer, slot));
    case TSlotKind::Text: return SlotText(buffer, slot);
    case TSlotKind::Raw: return String();
    default: return SlotDecimalText(buffer, slot);
  }
}

bool SetSlotInt64(uint8_t* buffer, TIBFieldSlot& slot, int64_t value) {
  uint8_t* d = Data(buffer, slot);
  switch (SlotKind(slot)) {
    case TSlotKind::Int32: case TSlotKind::Date: case TSlotKind::Time:
      if (!InRange(value, INT32_MIN, INT32_MAX)) return false;
      Put(d, static_cast<int32_t>(value));
      break;
    case TSlotKind::Int64: Put(d, value); break;
    case TSlotKind::Currency: {
      int64_t scaled = 0;
      if (ScaleUp(value, 4, scaled)) return SetSlotCurrency(buffer, slot, scaled);
      if (!ScaleUp(value, -slot.scale, scaled)) return false;
      Put(d, scaled);
      slot.unscaled = 1;
      break;
    }
    case TSlotKind::PackedDecimal: {
      int64_t raw = 0;
      if (!ScaleUp(value, -slot.scale, raw)) return false;
      PackDecimal(raw, -slot.scale, d);
      break;
    }
    case TSlotKind::Float: case TSlotKind::TimeStamp: Put(d, static_cast<double>(value)); break;
    default: return false;
  }
  Filled(slot);
  return true;
}

bool SetSlotDouble(uint8_t* buffer, TIBFieldSlot& slot, double value) {
  uint8_t* d = Data(buffer, slot);
  switch (SlotKind(slot)) {
    case TSlotKind::Float: case TSlotKind::TimeStamp: Put(d, value); break;
    case TSlotKind::Currency: {
      int64_t scaled = 0;
      if (RoundToInt64(value * 10000.0, scaled)) {
        Put(d, scaled);
        slot.unscaled = 0;
      } else if (RoundToInt64(value * std::pow(10.0, -slot.scale), scaled)) {
        Put(d, scaled);
        slot.unscaled = 1;
      } else {
        return false;
      }
      break;
    }
    case TSlotKind::PackedDecimal: {
      int64_t raw = 0;
      if (!RoundToInt64(value * std::pow(10.0, -slot.scale), raw)) return false;
      PackDecimal(raw, -slot.scale, d);
      break;
    }
    default: {
      int64_t whole = 0;
      return RoundToInt64(value, whole) && SetSlotInt64(buffer, slot, whole);
    }
  }
  Filled(slot);
  return true;
}

bool SetSlotCurrency(uint8_t* buffer, TIBFieldSlot& slot, int64_t ten_thousandths) {
  switch (SlotKind(slot)) {
    case TSlotKind::Currency:
      Put(Data(buffer, slot), ten_thousandths);
      slot.unscaled = 0;
      Filled(slot);
      return true;
    case TSlotKind::PackedDecimal: {
      // Digit for digit: the packed form has at least 5 places.
      int64_t raw = 0;
      if (!ScaleUp(ten_thousandths, -slot.scale - 4, raw)) return false;
      PackDecimal(raw, -slot.scale, Data(buffer, slot));
      Filled(slot);
      return true;
    }
    default:
      return SetSlotDouble(buffer, slot, static_cast<double>(ten_thousandths) / 10000.0);
  }
}

bool SetSlotMilliseconds(uint8_t* buffer, TIBFieldSlot& slot, double ms) {
  uint8_t* d = Data(buffer, slot);
  switch (SlotKind(slot)) {
    case TSlotKind::Date: {
      const double day = std::floor(ms / kMsPerDay);
      if (!(day >= INT32_MIN && day <= INT32_MAX)) return false;
      Put(d, static_cast<int32_t>(day));
      break;
    }
    case TSlotKind::Time: {
      // Whole milliseconds, what a time field gives, need no library fmod.
      double in_day;
      const int64_t whole = std::fabs(ms) < 9.0e15 ? static_cast<int64_t>(ms) : 0;
      if (static_cast<double>(whole) == ms) {
        const int64_t per_day = static_cast<int64_t>(kMsPerDay);
        in_day = static_cast<double>((whole % per_day + per_day) % per_day);
      } else {
        in_day = std::fmod(ms, kMsPerDay);
        if (in_day < 0) in_day += kMsPerDay;
      }
      if (!(in_day >= 0 && in_day < kMsPerDay)) return false;
      Put(d, static_cast<int32_t>(in_day) * 10);
      break;
    }
    default: return SetSlotDouble(buffer, slot, ms);
  }
  Filled(slot);
  return true;
}

ISC_TIMESTAMP SlotServerTimeStamp(uint8_t* buffer, const TIBFieldSlot& slot) {
  const int64_t per_day = 864000000;
  const int64_t total = std::llround(SlotAsMilliseconds(buffer, slot) * 10.0);
  int64_t day = total / per_day;
  int64_t in_day = total % per_day;
  if (in_day < 0) {
    in_day += per_day;
    --day;
  }
  ISC_TIMESTAMP ts{};
  ts.timestamp_date = static_cast<ISC_DATE>(day - kServerDayZero);
  ts.timestamp_time = static_cast<ISC_TIME>(in_day);
  return ts;
}

ISC_TIME SlotServerTime(uint8_t* buffer, const TIBFieldSlot& slot) {
  if (SlotKind(slot) == TSlotKind::Time)
    return static_cast<ISC_TIME>(Load<int32_t>(Data(buffer, slot)));
  return SlotServerTimeStamp(buffer, slot).timestamp_time;
}

// ---- packed decimals ----------------------------------------------------------------

void PackDecimal(int64_t raw, int places, uint8_t* out) {
  const TBcd value = Int64ToBcd(raw, places);
  std::memcpy(out, &value, sizeof value);
}

String PackedDecimalText(const uint8_t* packed) {
  int64_t raw = 0;
  int places = 0;
  // A slot that does not unpack must not be written as some other number.
  if (!UnpackDecimal(packed, raw, places)) IBError(ibceInvalidDataConversion);
  uint64_t magnitude = raw < 0 ? 0 - static_cast<uint64_t>(raw) : static_cast<uint64_t>(raw);
  std::string digits = std::to_string(magnitude);
  if (places > 0) {
    if (digits.size() <= static_cast<size_t>(places))
      digits.insert(0, static_cast<size_t>(places) - digits.size() + 1, '0');
    digits.insert(digits.size() - static_cast<size_t>(places), 1, '.');
  }
  return AsciiToString((raw < 0 ? "-" : "") + digits);
}

}  // namespace kavo
