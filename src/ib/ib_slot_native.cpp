// Between a slot and a field's native form, the buffer a field reads and
// writes through GetData/SetData (declared in ib_record_buffer.h).
#include "ib/ib_record_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "ib/ib_slot_bytes.h"
#include "recordset/field.h"
#include "rtl/bcd.h"
#include "rtl/code_page.h"
#include "rtl/code_points.h"

namespace kavo {

using namespace ib_slot;

namespace {

// A decimal into a numeric slot: rounded to the slot's places, never
// through a double unless the slot keeps a float.
bool SetSlotBcd(uint8_t* buffer, TIBFieldSlot& slot, const TBcd& value) {
  int64_t raw = 0;
  switch (SlotKind(slot)) {
    case TSlotKind::PackedDecimal:
      // Within the column's own integer, so that the server takes it.
      if (!BcdToScaledInt64(value, -slot.scale, raw) ||
          (slot.sql_type == SQL_LONG && !InRange(raw, INT32_MIN, INT32_MAX)))
        return false;
      PackDecimal(raw, -slot.scale, Data(buffer, slot));
      break;
    case TSlotKind::Currency:
      if (BcdToScaledInt64(value, 4, raw)) return SetSlotCurrency(buffer, slot, raw);
      if (!BcdToScaledInt64(value, -slot.scale, raw)) return false;
      Put(Data(buffer, slot), raw);
      slot.unscaled = 1;
      break;
    case TSlotKind::Int32: case TSlotKind::Int64:
      return BcdToScaledInt64(value, 0, raw) && SetSlotInt64(buffer, slot, raw);
    default:
      return SetSlotDouble(buffer, slot, BcdToDouble(value));
  }
  Filled(slot);
  return true;
}

TBcd SlotBcd(uint8_t* buffer, const TIBFieldSlot& slot) {
  const uint8_t* d = Data(buffer, slot);
  switch (SlotKind(slot)) {
    case TSlotKind::PackedDecimal: return Load<TBcd>(d);
    case TSlotKind::Currency: return Int64ToBcd(Load<int64_t>(d), slot.unscaled ? -slot.scale : 4);
    case TSlotKind::Int32: case TSlotKind::Int64: return Int64ToBcd(SlotAsInt64(buffer, slot));
    default: return DoubleToBcd(SlotAsDouble(buffer, slot));
  }
}

// At most Size bytes of the text in the ANSI code page, never cut inside a
// character, and a terminating zero.
void AnsiTextToNative(const String& text, const TField& field, uint8_t* out) {
  std::string bytes = StringToAnsi(text);
  size_t limit = static_cast<size_t>(std::max(field.Size(), 0));
  size_t n = 0;
  while (n < bytes.size()) {
    size_t step = CharByteLength(bytes, n, AnsiCodePage());
    if (n + step > limit) break;
    n += step;
  }
  std::memcpy(out, bytes.data(), n);
  out[n] = 0;
}

// Size characters, within the native form's room, and a terminating zero.
void WideTextToNative(const String& text, const TField& field, uint8_t* out) {
  const size_t room = static_cast<size_t>(std::max(field.GetDataSize(), 2)) / 2 - 1;
  size_t n = std::min(UnitsOfCharacters(text, static_cast<size_t>(std::max(field.Size(), 0))),
                      room);
  if (n < text.size() && n > 0 && IsLeadSurrogate(text[n - 1])) --n;
  std::memcpy(out, text.data(), n * 2);
  Put<Char>(out + n * 2, 0);
}

}  // namespace

bool SlotToNative(uint8_t* buffer, const TIBFieldSlot& slot, const TField& field, void* native) {
  uint8_t* out = static_cast<uint8_t*>(native);
  switch (field.DataType()) {
    case ftString: case ftFixedChar:
      AnsiTextToNative(SlotText(buffer, slot), field, out);
      return true;
    case ftWideString: case ftFixedWideChar:
      WideTextToNative(SlotText(buffer, slot), field, out);
      return true;
    case ftSmallint: case ftWord: {
      const int64_t v = SlotAsInt64(buffer, slot);
      if (field.DataType() == ftWord ? !InRange(v, 0, UINT16_MAX) : !InRange(v, INT16_MIN, INT16_MAX))
        return false;
      Put(out, static_cast<int16_t>(v));
      return true;
    }
    case ftInteger: case ftAutoInc: {
      const int64_t v = SlotAsInt64(buffer, slot);
      if (!InRange(v, INT32_MIN, INT32_MAX)) return false;
      Put(out, static_cast<int32_t>(v));
      return true;
    }
    case ftLargeint: {
      int64_t v = 0;
      const TSlotKind kind = SlotKind(slot);
      if (kind == TSlotKind::Float || kind == TSlotKind::PackedDecimal ||
          kind == TSlotKind::TimeStamp) {
        if (!RoundToInt64(SlotAsDouble(buffer, slot), v)) return false;
      } else {
        v = SlotAsInt64(buffer, slot);
      }
      Put(out, v);
      return true;
    }
    case ftFloat: case ftCurrency: Put(out, SlotAsDouble(buffer, slot)); return true;
    case ftBCD: {
      int64_t v = 0;
      if (!SlotCurrency(buffer, slot, v)) return false;
      Put(out, v);
      return true;
    }
    case ftFMTBcd: Put(out, SlotBcd(buffer, slot)); return true;
    case ftDate:
      Put(out, static_cast<int32_t>(std::floor(SlotAsMilliseconds(buffer, slot) / kMsPerDay)));
      return true;
    case ftTime: {
      double in_day = std::fmod(SlotAsMilliseconds(buffer, slot), kMsPerDay);
      Put(out, static_cast<int32_t>(in_day < 0 ? in_day + kMsPerDay : in_day));
      return true;
    }
    case ftDateTime: case ftTimeStamp: Put(out, SlotAsMilliseconds(buffer, slot)); return true;
    case ftBoolean: {
      const uint8_t* d = Data(buffer, slot);
      bool value = std::any_of(d, d + slot.data_size, [](uint8_t b) { return b != 0; });
      Put<int16_t>(out, value ? 1 : 0);
      return true;
    }
    default:
      std::memcpy(out, Data(buffer, slot),
                  std::min<size_t>(slot.data_size, static_cast<size_t>(field.GetDataSize())));
      return true;
  }
}

bool NativeToSlot(uint8_t* buffer, TIBFieldSlot& slot, const TField& field, const void* native) {
  const uint8_t* in = static_cast<const uint8_t*>(native);
  switch (field.DataType()) {
    case ftString: case ftFixedChar: {
      const char* bytes = static_cast<const char*>(native);
      String text = AnsiToString(
          std::string_view(bytes, strnlen(bytes, static_cast<size_t>(field.GetDataSize()))));
      return StoreSlotText(buffer, slot, text.data(), text.size());
    }
    case ftWideString: case ftFixedWideChar: {
      const Char* text = static_cast<const Char*>(native);
      size_t limit = static_cast<size_t>(std::max(field.GetDataSize(), 0)) / 2;
      size_t n = 0;
      while (n < limit && text[n] != 0) ++n;
      return StoreSlotText(buffer, slot, text, n);
    }
    case ftSmallint: case ftWord: return SetSlotInt64(buffer, slot, Load<int16_t>(in));
    case ftInteger: case ftAutoInc: return SetSlotInt64(buffer, slot, Load<int32_t>(in));
    case ftLargeint: return SetSlotInt64(buffer, slot, Load<int64_t>(in));
    case ftFloat: case ftCurrency: return SetSlotDouble(buffer, slot, Load<double>(in));
    case ftBCD: return SetSlotCurrency(buffer, slot, Load<int64_t>(in));
    case ftFMTBcd: return SetSlotBcd(buffer, slot, Load<TBcd>(in));
    case ftDate: return SetSlotMilliseconds(buffer, slot, Load<int32_t>(in) * kMsPerDay);
    case ftTime: return SetSlotMilliseconds(buffer, slot, kTimeOnlyBase + Load<int32_t>(in));
    case ftDateTime: case ftTimeStamp:
      return SetSlotMilliseconds(buffer, slot, Load<double>(in));
    case ftBoolean: {
      uint8_t* d = Data(buffer, slot);
      std::memset(d, 0, slot.data_size);
      if (slot.data_size > 0) d[0] = Load<int16_t>(in) != 0 ? 1 : 0;
      break;
    }
    default:
      std::memcpy(Data(buffer, slot), in,
                  std::min<size_t>(slot.data_size, static_cast<size_t>(field.GetDataSize())));
  }
  Filled(slot);
  return true;
}

}  // namespace kavo
