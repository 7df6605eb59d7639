// Blob contents through the client's segment calls.
#ifndef KAVO_IB_IB_BLOB_H_
#define KAVO_IB_IB_BLOB_H_

#include <string>
#include <string_view>

#include "ib/ib_header.h"

namespace kavo {

class TIBDatabase;
class TIBTransaction;

// The whole blob `id` as the transaction sees it. Its length is asked first,
// so that the bytes land in one buffer without being copied again.
std::string ReadBlob(TIBDatabase& db, TIBTransaction& tr, const ISC_QUAD& id);
// A new blob holding `bytes`; its id. A failed write cancels the blob.
ISC_QUAD WriteBlob(TIBDatabase& db, TIBTransaction& tr, std::string_view bytes);

}  // namespace kavo

#endif  // KAVO_IB_IB_BLOB_H_
