// In-memory stand-ins for the five database components of the service
// module, with a shared journal of what reached each "server", and hooks
// through which a test makes a step fail.
#ifndef KAVO_TESTKIT_MEMORY_ROLES_H_
#define KAVO_TESTKIT_MEMORY_ROLES_H_

#include <functional>
#include <string>
#include <vector>

#include "testkit/memory_dataset.h"
#include "recordset/roles.h"
#include "rtl/component.h"
#include "rtl/exceptions.h"

namespace kavo::test {

KAVO_EXCEPTION_CLASS(EOracleError, Exception);
KAVO_EXCEPTION_CLASS(EIBError, Exception);

using Journal = std::vector<std::string>;

// ---- Oracle ---------------------------------------------------------------------

// The table INTERFACE_ORCL: its columns and rows, in server order.
struct OracleTable {
  OracleTable();
  TFieldDefs columns;
  std::vector<Row> rows;
  int commits = 0;

  // Appends a pending row (STATUS 'A') with the given values.
  int AddPending(double codigo, const std::string& hora, Value dt_h_grav = std::nullopt);
  const Value& At(int row, StringView column) const;
  void Set(int row, StringView column, Value v);
};

class MemOracleDataSet;

class MemOracleSession : public roles::OracleSession {
 public:
  MemOracleSession(Journal& journal) : journal_(journal) {}

  void SetLogonDatabase(const String& v) override { database = v; }
  void SetLogonUsername(const String& v) override { username = v; }
  void SetLogonPassword(const String& v) override { password = v; }
  bool Connected() const override { return connected_; }
  void SetConnected(bool value) override;

  // The logon that the "server" accepts.
  String good_database = u"ORCL", good_username = u"kavo", good_password = u"secret";
  String database, username, password;
  std::vector<MemOracleDataSet*> datasets;
  int logons = 0;

 private:
  Journal& journal_;
  bool connected_ = false;
};

// Reads the rows with STATUS 'A' (at most 999) at open; Post writes the
// current row back to the table by its position there and commits.
class MemOracleDataSet : public MemoryDataSetT<roles::OracleDataSet> {
 public:
  MemOracleDataSet(TComponent* owner, MemOracleSession& session, OracleTable& table,
                   Journal& journal);

  void CommitUpdates() override;

  std::function<void(const Row&)> on_write;  // may raise: the write fails

 protected:
  void InternalEdit() override;
  void InternalPost() override;
  void InternalCancel() override;

 private:
  MemOracleSession& session_;
  OracleTable& table_;
  Journal& journal_;
  std::vector<int> rowids_;  // table row of each held row, by held id
};

// ---- Firebird ---------------------------------------------------------------------

// The databases that exist, each with its committed TMP_INTEGRACAO rows.
struct FirebirdServer {
  TFieldDefs columns;
  std::vector<std::pair<String, std::vector<Row>>> databases;
  FirebirdServer();
  std::vector<Row>* Find(const String& path);
};

class MemIBDatabase;

class MemIBTransaction : public roles::IBTransaction {
 public:
  MemIBTransaction(MemIBDatabase& db, Journal& journal) : db_(db), journal_(journal) {}

  void CommitRetaining() override;
  void RollbackRetaining() override;
  void Start();
  void Commit();
  bool Active() const { return active_; }

  std::vector<Row> pending;            // posted, not yet committed
  std::function<void()> on_commit;     // may raise: CommitRetaining fails
  std::function<void()> on_rollback;   // may raise: RollbackRetaining fails

 private:
  void CheckActive() const;
  MemIBDatabase& db_;
  Journal& journal_;
  bool active_ = false;
};

class MemIBDatabase : public roles::IBDatabase {
 public:
  MemIBDatabase(FirebirdServer& server, Journal& journal) : server_(server), journal_(journal) {}

  void Close() override;
  const String& DatabaseName() const override { return name_; }
  void SetDatabaseName(const String& value) override;
  void Attach();
  bool Connected() const { return attached_ != nullptr; }
  const TFieldDefs& TableColumns() const { return server_.columns; }
  std::vector<Row>& Committed() { return *attached_; }

  MemIBTransaction* transaction = nullptr;
  std::vector<TDataSet*> datasets;

 private:
  FirebirdServer& server_;
  Journal& journal_;
  String name_;
  std::vector<Row>* attached_ = nullptr;
};

// FB_TMP_INTEGRACAO: opens its connection and transaction when needed;
// Post of an insert adds the record to the transaction's pending rows.
class MemFbDataSet : public MemoryDataSetT<roles::FB_TMP_INTEGRACAO> {
 public:
  MemFbDataSet(TComponent* owner, MemIBDatabase& db, MemIBTransaction& tr, Journal& journal);
  roles::IBTransaction& Transaction() override { return tr_; }

  std::function<void(const Row&)> on_insert;  // may raise: the insert statement fails
  // Runs after the insert statement has written the row; may raise, as a
  // refresh of the new row can.
  std::function<void(const Row&)> on_refresh;

 protected:
  void InternalPost() override;
  void InternalCancel() override;

 private:
  MemIBDatabase& db_;
  MemIBTransaction& tr_;
  Journal& journal_;
};

// The persistent fields of the service module's two record sets.
void AddOracleFields(TComponent& owner, TDataSet& ds);
void AddFirebirdFields(TComponent& owner, TDataSet& ds);

// The five components wired as the service module holds them, over one
// journal, a table and a server that has the database /data/kavo.fdb.
struct MemoryComponents {
  MemoryComponents();

  Journal journal;
  OracleTable table;
  FirebirdServer server;
  MemOracleSession session{journal};
  MemIBDatabase db{server, journal};
  MemIBTransaction tr{db, journal};
  TComponent owner{nullptr};  // last: its record sets go before what they use
  MemOracleDataSet* ora = nullptr;
  MemFbDataSet* fb = nullptr;
};

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_MEMORY_ROLES_H_
