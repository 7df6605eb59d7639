#include "oracle/field_data.h"

namespace kavo {

int32_t TFieldData::LongSize() const {
  int32_t total = 0;
  for (const TLongPiece& p : LongPieces) total += static_cast<int32_t>(p.Length());
  return total;
}

std::string TFieldData::LongValue() const {
  std::string s;
  s.reserve(LongSize());
  for (const TLongPiece& p : LongPieces)
    s.append(reinterpret_cast<const char*>(p.PieceBuf.data()), p.Length());
  return s;
}

void TFieldData::Allocate(int32_t count) {
  cache = count;
  buf.assign(static_cast<size_t>(bufsize) * count, 0);
  ind.assign(count, -1);
  rlen.assign(count, 0);
}

}  // namespace kavo
