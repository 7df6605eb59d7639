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

void TFieldData::Reset() {
  // A large batch buffer is not held on to for a statement that may never
  // describe such a column again.
  constexpr size_t kKeptBytes = 64 * 1024;
  if (buf.capacity() > kKeptBytes) std::vector<uint8_t>().swap(buf);
  std::vector<uint8_t> keep_buf = std::move(buf);
  std::vector<int16_t> keep_ind = std::move(ind);
  std::vector<uint16_t> keep_rlen = std::move(rlen);
  String keep_name = std::move(name);
  *this = TFieldData();
  keep_buf.clear();
  keep_ind.clear();
  keep_rlen.clear();
  keep_name.clear();
  buf = std::move(keep_buf);
  ind = std::move(keep_ind);
  rlen = std::move(keep_rlen);
  name = std::move(keep_name);
}

}  // namespace kavo
