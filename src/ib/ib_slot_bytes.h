// Reading and writing the bytes of a record slot: shared by the slot values
// (ib_record_buffer.cpp) and the fields' native forms (ib_slot_native.cpp).
// Inline: every value of every row passes through them.
#ifndef KAVO_IB_IB_SLOT_BYTES_H_
#define KAVO_IB_IB_SLOT_BYTES_H_

#include <cmath>
#include <cstdint>
#include <cstring>

#include "ib/ib_record_buffer.h"

namespace kavo {
namespace ib_slot {

constexpr double kMsPerDay = 86400000.0;

// Slots sit at any offset: values are copied, never dereferenced in place.
template <typename T>
T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void Put(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

inline uint8_t* Data(uint8_t* buffer, const TIBFieldSlot& slot) {
  return TIBRecordLayout::Data(buffer, slot);
}

// `value` rounded half away from zero; false beyond int64 (and for NaN).
inline bool RoundToInt64(double value, int64_t& out) {
  const double r = std::round(value);
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) return false;
  out = static_cast<int64_t>(r);
  return true;
}

inline bool InRange(int64_t value, int64_t low, int64_t high) {
  return value >= low && value <= high;
}

// Marks a slot holding a value.
inline void Filled(TIBFieldSlot& slot) {
  slot.is_null = 0;
  slot.data_length = slot.data_size;
  slot.from_server = 0;
}

}  // namespace ib_slot
}  // namespace kavo

#endif  // KAVO_IB_IB_SLOT_BYTES_H_
