#include "oracle/record_packing.h"

#include <algorithm>
#include <cstring>

namespace kavo {

namespace {

// Narrower texts are copied whole: measuring them would cost more than the
// bytes saved.
constexpr size_t kNarrowText = 32;

size_t Utf16Bytes(const uint8_t* value, size_t width) {
  size_t n = 0;
  for (; n + sizeof(Char) <= width; n += sizeof(Char)) {
    Char c;
    std::memcpy(&c, value + n, sizeof c);
    if (c == 0) break;
  }
  return n;
}

}  // namespace

void TRecordPacking::Build(const std::vector<RecordSlot>& slots, size_t data_size) {
  steps_.clear();
  data_size_ = data_size;
  std::vector<const RecordSlot*> texts;
  for (const RecordSlot& s : slots) {
    const bool text = s.form == SlotForm::kAnsi || s.form == SlotForm::kUtf8 || s.form == SlotForm::kUtf16;
    if (text && s.width > kNarrowText && s.width <= UINT16_MAX && s.offset + 1 + s.width <= data_size)
      texts.push_back(&s);
  }
  std::sort(texts.begin(), texts.end(),
            [](const RecordSlot* a, const RecordSlot* b) { return a->offset < b->offset; });
  size_t pos = 0;
  for (const RecordSlot* s : texts) {
    // The run before the text ends with its null byte.
    const size_t value = s->offset + 1;
    steps_.push_back({Kind::kCopy, static_cast<uint32_t>(pos), static_cast<uint32_t>(value - pos)});
    steps_.push_back({s->form == SlotForm::kUtf16 ? Kind::kUtf16 : Kind::kBytes,
                      static_cast<uint32_t>(value), static_cast<uint32_t>(s->width)});
    pos = value + s->width;
  }
  if (pos < data_size)
    steps_.push_back({Kind::kCopy, static_cast<uint32_t>(pos), static_cast<uint32_t>(data_size - pos)});
  packs_ = !texts.empty();
  max_packed_ = data_size + texts.size() * sizeof(uint16_t);
}

size_t TRecordPacking::Pack(const uint8_t* data, uint8_t* out) const {
  uint8_t* o = out;
  for (const Step& s : steps_) {
    const uint8_t* from = data + s.offset;
    if (s.kind == Kind::kCopy) {
      std::memcpy(o, from, s.length);
      o += s.length;
      continue;
    }
    if (from[-1] == 1) continue;  // null: the value area is not kept
    const auto n = static_cast<uint16_t>(
        s.kind == Kind::kBytes ? strnlen(reinterpret_cast<const char*>(from), s.length)
                               : Utf16Bytes(from, s.length));
    std::memcpy(o, &n, sizeof n);
    std::memcpy(o + sizeof n, from, n);
    o += sizeof n + n;
  }
  return static_cast<size_t>(o - out);
}

void TRecordPacking::Unpack(const uint8_t* in, uint8_t* data) const {
  const uint8_t* p = in;
  for (const Step& s : steps_) {
    uint8_t* to = data + s.offset;
    if (s.kind == Kind::kCopy) {
      std::memcpy(to, p, s.length);
      p += s.length;
      continue;
    }
    uint16_t n = 0;
    if (to[-1] != 1) {
      std::memcpy(&n, p, sizeof n);
      std::memcpy(to, p + sizeof n, n);
      p += sizeof n + n;
    }
    std::memset(to + n, 0, s.length - n);
  }
}

}  // namespace kavo
