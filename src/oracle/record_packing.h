// TRecordPacking: how the record store keeps a fetched record compact.
//
// A record's data area is laid out at full width: each text slot has room
// for the field's declared size, most of it empty (a 500-character column
// holding 60). The store keeps records it is given for keeping only (the rows
// a fetch appends) packed: the bytes of the data area as they are, except
// that a wide text slot keeps only its used bytes behind a length, and
// nothing when the field is null. Unpacking gives back the full-width data
// area, each text's unused rest and each null's value zeroed, which is what a
// record built at full width holds there.
#ifndef KAVO_ORACLE_RECORD_PACKING_H_
#define KAVO_ORACLE_RECORD_PACKING_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "oracle/record_data.h"

namespace kavo {

class TRecordPacking {
 public:
  // Plans the packing of data areas of `data_size` bytes laid out by
  // `slots`. Without wide text slots nothing is gained, and Packs() is false.
  void Build(const std::vector<RecordSlot>& slots, size_t data_size);
  bool Packs() const { return packs_; }
  size_t DataSize() const { return data_size_; }

  // Writes the data area `data` packed at `out` (room for DataSize() + 2 per
  // text is always enough); returns the bytes written.
  size_t Pack(const uint8_t* data, uint8_t* out) const;
  // Writes the full data area at `data` from the packed form at `in`.
  void Unpack(const uint8_t* in, uint8_t* data) const;
  // The most bytes a packed data area can take.
  size_t MaxPackedSize() const { return max_packed_; }

 private:
  enum class Kind : uint8_t { kCopy, kBytes, kUtf16 };
  struct Step {
    Kind kind;
    uint32_t offset;  // a text's value area; its null byte is the byte before
    uint32_t length;
  };

  std::vector<Step> steps_;
  size_t data_size_ = 0;
  size_t max_packed_ = 0;
  bool packs_ = false;
};

}  // namespace kavo

#endif  // KAVO_ORACLE_RECORD_PACKING_H_
