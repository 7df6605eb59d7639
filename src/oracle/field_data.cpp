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
  // Every member, in place: a statement parsed at every execution resets
  // its columns each time.
  dbsize = 0;
  dbtype = 0;
  name.clear();
  prec = scale = nullok = 0;
  buftype = 0;
  bufsize = 0;
  DescriptorType = 0;
  cache = 0;
  buf.clear();
  ind.clear();
  rlen.clear();
  LongPieces.clear();
  CharSetForm = 0;
  CharSetID = 0;
  CharSize = 0;
  IsUTF16 = IsUTF8 = false;
  defhp = nullptr;
}

}  // namespace kavo
