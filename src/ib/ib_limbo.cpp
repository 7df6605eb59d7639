#include "ib/ib_limbo.h"

#include <algorithm>
#include <map>
#include <memory>

#include "ib/ib_database.h"
#include "ib/ib_intf.h"
#include "ib/ib_sql.h"
#include "ib/ib_transaction.h"

namespace kavo {

namespace {

const Char* const kDescriptions =
    u"select RDB$TRANSACTION_ID, cast(substring(cast(RDB$TRANSACTION_DESCRIPTION as blob "
    u"sub_type 0) from 1 for 4000) as varchar(4000) character set octets) "
    u"from RDB$TRANSACTIONS where RDB$TRANSACTION_STATE = 1";

int64_t LittleEndian(const char* bytes, int length) {
  uint64_t v = 0;
  for (int i = std::min(length, 8) - 1; i >= 0; --i)
    v = (v << 8) | static_cast<unsigned char>(bytes[i]);
  return static_cast<int64_t>(v);
}

}  // namespace

std::vector<int64_t> ParseLimboReply(const char* reply, size_t size) {
  std::vector<int64_t> ids;
  size_t pos = 0;
  while (pos + 3 <= size && reply[pos] == isc_info_limbo) {
    int length = static_cast<unsigned char>(reply[pos + 1]) |
                 (static_cast<unsigned char>(reply[pos + 2]) << 8);
    if (length < 1 || length > 8 || pos + 3 + length > size) break;
    ids.push_back(LittleEndian(reply + pos + 3, length));
    pos += 3 + static_cast<size_t>(length);
  }
  return ids;
}

std::vector<TIBLimboTransaction> LimboTransactions(TIBDatabase& db) {
  db.CheckActive();
  IGDSLibrary& lib = db.GDSLibrary();
  char item = isc_info_limbo;
  std::vector<char> reply(16384);
  db.Call(lib.isc_database_info(StatusVector(), db.HandleAddress(), 1, &item,
                                static_cast<short>(reply.size() - 1), reply.data()),
          true);
  std::vector<int64_t> ids = ParseLimboReply(reply.data(), reply.size());
  std::sort(ids.begin(), ids.end());
  std::vector<TIBLimboTransaction> result;
  if (ids.empty()) return result;

  std::map<int64_t, String> descriptions;
  TIBTransaction tr(nullptr);
  tr.SetDefaultDatabase(&db);
  // Never waits: a limbo record read under a waiting transaction would hold
  // the reader until the limbo is resolved.
  tr.Params().SetText(u"read_committed\nrec_version\nnowait\nread");
  tr.StartTransaction();
  try {
    TIBSQL q(nullptr);
    q.SetDatabase(&db);
    q.SetTransaction(&tr);
    q.SetGoToFirstRecordOnExecute(false);
    q.SQL().SetText(kDescriptions);
    q.ExecQuery();
    while (TIBXSQLDA* row = q.Next())
      descriptions[(*row)[0].AsInt64()] = (*row)[1].IsNull() ? String() : (*row)[1].AsString();
    q.Close();
    tr.Commit();
  } catch (...) {
    if (tr.Active()) {
      try {
        tr.Rollback();
      } catch (...) {
      }
    }
    throw;
  }
  for (int64_t id : ids) {
    auto found = descriptions.find(id);
    result.push_back({id, found != descriptions.end() ? found->second : String()});
  }
  return result;
}

}  // namespace kavo
