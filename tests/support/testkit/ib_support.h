// Shared set-up of the Firebird layer tests: temporary databases on the
// embedded engine and on the local server, and the service's staging table.
#ifndef KAVO_TESTKIT_IB_SUPPORT_H_
#define KAVO_TESTKIT_IB_SUPPORT_H_

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ib/ib_database.h"
#include "ib/ib_errors.h"
#include "ib/ib_sql.h"
#include "ib/ib_transaction.h"
#include "rtl/ustring.h"
#include "testkit/temp_dir.h"

namespace kavo::test {

// The service's stored connection parameters.
extern const Char* const kStoredParams[3];
// The service's stored transaction parameters.
extern const Char* const kStoredTransactionParams[3];
// The staging table as the service writes it.
extern const Char* const kCreateTmpIntegracao[];
// The service's stored insert statement.
extern const Char* const kInsertTmpIntegracao;

// A directory for one test's database files, world-writable so the server
// may create files in it.
class DatabaseDir : public TempDir {
 public:
  DatabaseDir();
};

// Makes sure the server listens on 127.0.0.1:3050 (runs the project's
// firebird-server.sh when it does not) and tells whether it does.
bool EnsureServer();
bool ServerListening();
// Runs firebird-server.sh with `command`; returns its exit status.
int RunServerScript(const std::string& command);
// The database name as the client library sees it, so as its messages quote
// it: under Wine the fbclient.dll bridge hands a Z: path over as the Unix one.
std::string NameTheClientSees(const std::string& path);

// Creates a dialect-3 ISO8859_1 database owned by VAVAVOR at `path` (a local
// path, through the embedded engine), with TMP_INTEGRACAO when asked, and
// leaves it detached.
void CreateTestDatabase(const std::string& path, bool with_tmp_integracao = true);

// A connection and its transaction configured as the service stores them
// (ServerType IBServer, LoginPrompt false, the three Params lines; the
// transaction with read_committed, rec_version, nowait) on `name`.
struct Connection {
  explicit Connection(const String& name);
  ~Connection();
  std::unique_ptr<TIBDatabase> db;
  std::unique_ptr<TIBTransaction> tr;
};

// Runs one statement in `tr` (started when needed) and returns the first
// column of the first row as text ("" without rows).
String QueryValue(TIBDatabase& db, TIBTransaction& tr, const String& sql);
// Runs statements in their own transaction and commits.
void ExecuteCommitted(TIBDatabase& db, std::initializer_list<const Char*> sql);

// Ends `victim`'s attachment through `killer`'s, as an administrator ending
// a session does; both are connected. The server answers the victim's next
// call with "connection shutdown".
void KillAttachment(Connection& killer, Connection& victim);

// Kills a connection to `name` and checks that, as with a vanished server,
// its next call closes it with its transaction and statements, and that the
// same objects work again after a new connect.
void ExpectKilledAttachmentClosesTheConnection(const String& name);

// One committed row as a fresh connection reads it: column name to value
// text (nullopt for NULL); dates as yyyy-mm-dd, times as hh:nn:ss.zzz.
using CommittedRow = std::map<String, std::optional<String>>;
// The rows of `sql` (a query) through a fresh connection to `name`.
std::vector<CommittedRow> ReadCommitted(const String& name, const String& sql);

// Runs the calling thread's message loop until `done` or `timeout_ms`.
bool PumpMessagesUntil(const std::function<bool()>& done, int timeout_ms);

// Runs `f` and returns the EIBClientError it raises (a failure when none).
template <typename F>
EIBClientError ClientError(F&& f) {
  try {
    f();
  } catch (const EIBClientError& e) {
    return e;
  }
  ADD_FAILURE() << "no EIBClientError";
  return EIBClientError(-1, u"");
}

// A fresh embedded database with TMP_INTEGRACAO and a connection to it with
// the service's stored settings (not yet connected).
class EmbeddedDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override;
  TIBDatabase& db() { return *conn_->db; }
  TIBTransaction& tr() { return *conn_->tr; }
  String Name() const { return Utf8ToString(path_); }
  // Rows of TMP_INTEGRACAO as a fresh connection sees them.
  int CommittedRows();

  DatabaseDir dir_;
  std::string path_;
  std::unique_ptr<Connection> conn_;
};

// A fresh database with TMP_INTEGRACAO served by the local server (started
// when none listens), and its name as the server sees it.
class ServerDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override;
  String RemoteName() const { return u"127.0.0.1:" + Utf8ToString(path_); }

  DatabaseDir dir_;
  std::string path_;
};

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_IB_SUPPORT_H_
