// The Firebird client API (ibase.h) as the benchmarks' raw ways call it: a
// connection with the service's transaction, a select with buffers for every
// column, and the error of a failed call as an exception. Only the programs
// with a way beneath the layer link this (and so fbclient).
#ifndef KAVO_BENCH_RAW_FIREBIRD_H_
#define KAVO_BENCH_RAW_FIREBIRD_H_

#include <ibase.h>

#include <string>
#include <vector>

namespace kavo::bench {

// Throws `what` with the server's text for `status` (may be null).
[[noreturn]] void Fail(const std::string& what, const ISC_STATUS* status);

// The embedded engine's lock files in a directory of the benchmarks' own,
// unless FIREBIRD_LOCK names one: a server running on the machine keeps its
// own.
void UseBenchLockDirectory();

// Runs a "CREATE DATABASE ..." statement; the new database is left detached.
void CreateDatabase(const std::string& create_sql);

// An attachment in ISO8859_1 (the staging databases' character set), with at
// most one transaction: read committed, record versions, no wait, as the
// service's. What is still open is rolled back and detached at the end.
struct RawConnection {
  isc_db_handle db = 0;
  isc_tr_handle tr = 0;
  ISC_STATUS_ARRAY status{};

  // An empty password is not sent (the embedded engine does not ask).
  RawConnection(const std::string& path, const std::string& user,
                const std::string& password = "", bool force_write_off = false);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  void Start();
  void Commit();
  void Detach();
  // The statement in a transaction of its own, committed.
  void Run(const std::string& sql);
};

// A select prepared in the connection's transaction, its output described by
// the server, with buffers for every column.
struct RawSelect {
  isc_stmt_handle stmt = 0;
  std::vector<char> block;
  std::vector<std::vector<char>> data;
  std::vector<short> ind;

  // At most `columns` columns; more is an error.
  RawSelect(RawConnection& c, const std::string& sql, int columns);
  XSQLDA* out() { return reinterpret_cast<XSQLDA*>(block.data()); }
  void Execute(RawConnection& c);
  // False after the last row.
  bool Fetch(RawConnection& c);
  // Column i, a VARCHAR, as its bytes.
  std::string Varying(int i) const;
  void Free(RawConnection& c);
};

}  // namespace kavo::bench

#endif  // KAVO_BENCH_RAW_FIREBIRD_H_
