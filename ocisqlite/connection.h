// One database session on a store file: its own SQLite connection, the logged
// on user, Oracle-style transactions over SQLite's single writer, and name
// resolution against the store's catalog.
#ifndef OCISQLITE_CONNECTION_H
#define OCISQLITE_CONNECTION_H

#include <sqlite3.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "errors.h"
#include "translate.h"

namespace kavo::ocisqlite {

class Connection : public Resolver {
 public:
  // Opens an existing store; ORA-12154 when the file is missing or not a store.
  static std::unique_ptr<Connection> Open(const std::string& path);
  // Makes a new store with the user SYSTEM; throws std::runtime_error.
  static void CreateStore(const std::string& path, const std::string& system_password);
  ~Connection() override;
  // Ends the session: an open transaction rolls back; statements still holding
  // the connection then fail with ORA-01012.
  void Close();
  bool closed() const { return closed_; }

  // Checks the credentials; returns the days left for an expiring password (0: none).
  int Logon(const std::string& user, const std::string& password);

  sqlite3* db() const { return db_; }
  const std::string& user() const { return user_; }
  int session_id() const { return session_id_; }
  std::string& nls_date_format() { return nls_date_format_; }
  std::string Setting(const std::string& key, const std::string& fallback) const;
  std::string Banner(int line) const;

  // Oracle transactions: the first change takes SQLite's write lock, held until
  // commit or rollback. Waits briefly (NOWAIT: shorter) and then fails with ORA-00054.
  void BeginWrite(bool nowait);
  bool in_transaction() const { return in_tx_; }
  // Counts transactions: tells one that has ended from the next.
  long transaction_serial() const { return tx_serial_; }
  std::string TransactionId() const;
  void Commit();
  void Rollback();
  // SAVEPOINT and ROLLBACK TO SAVEPOINT. As in Oracle a savepoint takes no
  // lock: outside a transaction it is only remembered, and set when the
  // first change begins one. Rolling back to a savepoint that stood before
  // every change of the transaction ends it (no lock stays, as Oracle frees
  // the row locks taken after a savepoint) and keeps the savepoint.
  void Savepoint(const std::string& name);
  void RollbackToSavepoint(const std::string& name);
  // Runs SQL that yields no rows; errors are mapped to Oracle's.
  void Exec(const std::string& sql);
  // Turns a SQLite failure into the Oracle error a server would raise.
  OraError MapError(int rc, const std::string& message) const;

  bool Resolve(const std::string& schema, const std::string& name, ObjectRef* out) override;
  bool UserExists(const std::string& name);
  std::vector<ColumnInfo> Columns(const ObjectRef& table) override;

  // A query outside a transaction runs on a reader: a connection of the session's
  // own that keeps the query's snapshot for as long as its cursor is open, while
  // the session goes on writing and committing. Null when the session already
  // has as many readers out as it may (the caller then reads the rows at once).
  sqlite3* AcquireReader();
  void ReleaseReader(sqlite3* reader);
  // Stops whatever runs on the session's connections (OCIBreak).
  void Interrupt();

  std::atomic<bool> cancel{false};
  // Held by every call that uses the session, so threads sharing it take turns
  // (OCIBreak does not take it: it must reach a running call).
  std::recursive_mutex& mutex() { return mutex_; }

 private:
  explicit Connection(sqlite3* db, std::string path = {}) : db_(db), path_(std::move(path)) {}
  bool Lookup(const std::string& owner, const std::string& name, ObjectRef* out);

  sqlite3* db_;
  std::string path_;
  std::recursive_mutex mutex_;
  std::mutex readers_mutex_;         // statements give readers back from any thread
  std::vector<sqlite3*> readers_;    // every open reader
  std::vector<sqlite3*> idle_;       // the ones no cursor holds
  std::string user_;
  int session_id_ = 0;
  std::string nls_date_format_ = "DD-MON-RR";
  bool in_tx_ = false;
  std::vector<std::string> pending_savepoints_;  // set before the transaction began
  std::vector<std::string> start_savepoints_;    // those, once placed at its start
  bool closed_ = false;
  long tx_serial_ = 0;
};

// Registers the Oracle functions (ora_*) on a connection.
void RegisterFunctions(sqlite3* db, Connection* conn);

}  // namespace kavo::ocisqlite

#endif
