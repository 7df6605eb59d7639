#include "ib/ib_blob.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "ib/ib_database.h"
#include "ib/ib_intf.h"
#include "ib/ib_transaction.h"

namespace kavo {

namespace {

constexpr size_t kSegment = 65535;  // the most one segment call moves

// The blob's length in bytes from isc_blob_info; 0 when it does not say.
size_t BlobLength(IGDSLibrary& lib, isc_blob_handle* blob) {
  char item = isc_info_blob_total_length;
  char reply[32] = {};
  if (lib.isc_blob_info(StatusVector(), blob, 1, &item, sizeof reply, reply) != 0 ||
      reply[0] != item)
    return 0;
  const short length = static_cast<short>(lib.isc_vax_integer(reply + 1, 2));
  if (length < 1 || length > 8) return 0;
  uint64_t total = 0;  // little-endian, as every info value
  for (int i = length - 1; i >= 0; --i)
    total = total << 8 | static_cast<uint8_t>(reply[3 + i]);
  return total < (uint64_t{1} << 40) ? static_cast<size_t>(total) : 0;
}

}  // namespace

std::string ReadBlob(TIBDatabase& db, TIBTransaction& tr, const ISC_QUAD& id) {
  IGDSLibrary& lib = db.GDSLibrary();
  ISC_STATUS* status = StatusVector();
  isc_blob_handle blob = 0;
  ISC_QUAD blob_id = id;
  tr.Call(lib.isc_open_blob2(status, db.HandleAddress(), tr.HandleAddress(), &blob, &blob_id, 0,
                             nullptr),
          true);
  std::string out(BlobLength(lib, &blob), '\0');
  const size_t announced = out.size();
  // One segment into `to`; false at the end of the blob.
  auto segment = [&](char* to, size_t room, size_t& got) {
    unsigned short n = 0;
    ISC_STATUS st = lib.isc_get_segment(status, &blob, &n, static_cast<unsigned short>(room), to);
    if (st == isc_segstr_eof) return false;
    if (st != 0 && st != isc_segment) {
      KeepingStatusVector([&] { lib.isc_close_blob(status, &blob); });
      tr.Call(st, true);
    }
    got = n;
    return true;
  };
  size_t pos = 0;
  for (;;) {
    size_t got = 0;
    if (pos == out.size() && pos == announced && pos > 0) {
      // The length said is nearly always exact: look for more before
      // doubling the buffer.
      char probe[64];
      if (!segment(probe, sizeof probe, got)) break;
      out.resize(std::max(out.size() * 2, kSegment));
      std::memcpy(out.data() + pos, probe, got);
      pos += got;
      continue;
    }
    // A blob longer than it said grows the buffer geometrically.
    if (pos == out.size()) out.resize(std::max(out.size() * 2, kSegment));
    if (!segment(out.data() + pos, std::min(kSegment, out.size() - pos), got)) break;
    pos += got;
  }
  out.resize(pos);
  tr.Call(lib.isc_close_blob(status, &blob), true);
  return out;
}

ISC_QUAD WriteBlob(TIBDatabase& db, TIBTransaction& tr, std::string_view bytes) {
  IGDSLibrary& lib = db.GDSLibrary();
  ISC_STATUS* status = StatusVector();
  isc_blob_handle blob = 0;
  ISC_QUAD id{};
  tr.Call(lib.isc_create_blob2(status, db.HandleAddress(), tr.HandleAddress(), &blob, &id, 0,
                               nullptr),
          true);
  for (size_t pos = 0; pos < bytes.size(); pos += kSegment) {
    const size_t n = std::min(kSegment, bytes.size() - pos);
    ISC_STATUS st =
        lib.isc_put_segment(status, &blob, static_cast<unsigned short>(n), bytes.data() + pos);
    if (st != 0) {
      KeepingStatusVector([&] { lib.isc_cancel_blob(status, &blob); });
      tr.Call(st, true);
    }
  }
  tr.Call(lib.isc_close_blob(status, &blob), true);
  return id;
}

}  // namespace kavo
