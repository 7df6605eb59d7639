// TFieldData: one select-list column of a statement, holding a whole fetched
// batch in contiguous arrays (element i of the value buffer starts at
// i * bufsize).
#ifndef KAVO_ORACLE_FIELD_DATA_H_
#define KAVO_ORACLE_FIELD_DATA_H_

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "oracle/oci_types.h"
#include "oracle/oracle_types.h"
#include "rtl/ustring.h"

namespace kavo {

// One piece of a LONG or LONG RAW value.
struct TLongPiece {
  ub4 AllocatedSize = 0;
  ub4 ActualSize = 0;  // preset to the allocated size; OCI writes the length
  std::vector<uint8_t> PieceBuf;

  // The length OCI wrote, believed no further than the piece's buffer.
  size_t Length() const {
    return std::min<size_t>({ActualSize, AllocatedSize, PieceBuf.size()});
  }
};

struct TFieldData {
  int32_t dbsize = 0;     // column size as described
  int16_t dbtype = 0;     // server type
  String name;
  int16_t prec = 0, scale = 0, nullok = 0;
  uint16_t buftype = 0;   // external type of the buffer
  int32_t bufsize = 0;    // bytes per element
  int32_t cache = 0;      // elements (rows per fetch in use)
  std::vector<uint8_t> buf;
  std::vector<int16_t> ind;    // -1 NULL, 0 present, > 0 truncated
  std::vector<uint16_t> rlen;  // returned length per element
  // Stable addresses: OCI writes lengths late. A list makes no allocation
  // while empty, as it is for every column but a LONG.
  std::list<TLongPiece> LongPieces;
  uint8_t CharSetForm = 0;
  uint16_t CharSetID = 0;
  uint16_t CharSize = 0;
  bool IsUTF16 = false;
  bool IsUTF8 = false;
  OCIHandle defhp = nullptr;
  // TIMESTAMP and LOB columns: the descriptor type of the elements, whose
  // addresses the value buffer holds (one per element); 0 for the others.
  ub4 DescriptorType = 0;

  // Total bytes of the pieces of the current LONG value.
  int32_t LongSize() const;
  // The pieces joined.
  std::string LongValue() const;
  // Allocates `count` elements of `bufsize` bytes, indicators and lengths.
  void Allocate(int32_t count);
  // Back to the state of a column not yet described; the memory of the
  // buffers stays for the next column described into this record. A member
  // added here must be reset there too.
  void Reset();
  const uint8_t* Element(int index) const { return buf.data() + static_cast<size_t>(index) * bufsize; }
  // Characters a text buffer holds (its terminator left out); 0 for others.
  int TextSize() const { return buftype == otString ? bufsize - 1 : 0; }
  // The descriptor of element `index` of a TIMESTAMP or LOB column.
  OCIHandle Descriptor(int index) const {
    OCIHandle h;
    std::memcpy(&h, Element(index), sizeof h);
    return h;
  }
  // The length OCI returned for element `index`, believed no further than
  // the element.
  int32_t ElementLength(int index) const {
    return std::min<int32_t>(rlen.at(index), std::max(bufsize, 0));
  }
};

}  // namespace kavo

#endif  // KAVO_ORACLE_FIELD_DATA_H_
