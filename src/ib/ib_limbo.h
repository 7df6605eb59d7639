// The limbo transactions of a database: prepared (two-phase) transactions
// whose owner is gone, left for someone to commit or roll back.
#ifndef KAVO_IB_IB_LIMBO_H_
#define KAVO_IB_IB_LIMBO_H_

#include <cstdint>
#include <vector>

#include "rtl/ustring.h"

namespace kavo {

class TIBDatabase;

struct TIBLimboTransaction {
  int64_t id = 0;
  // What the owner gave isc_prepare_transaction2 (its bytes read in the
  // connection's character set); empty when it gave none.
  String description;
};

// The server lists (isc_info_limbo) only limbo transactions no live
// attachment holds: for one whose owner is still there (preparing it, or
// about to commit it) the listing waits until the owner has ended it, so
// resolving what this returns never cuts in on a live owner. Never call it
// while this process itself holds a prepared transaction of the database:
// it would wait for ever. The descriptions come from RDB$TRANSACTIONS, read
// raw (the server's own filter would reinterpret them). In ascending order
// of number; a list longer than the reply buffer is cut, the rest shows
// next time.
std::vector<TIBLimboTransaction> LimboTransactions(TIBDatabase& db);

// The numbers in an isc_info_limbo reply (exposed for tests).
std::vector<int64_t> ParseLimboReply(const char* reply, size_t size);

}  // namespace kavo

#endif  // KAVO_IB_IB_LIMBO_H_
