// In-memory stand-ins for the five database components of the service
// module, with a shared journal of what reached each "server", and hooks
// through which a test makes a step fail.
//
// Given a call journal (`calls`), each component also records every call made
// on it, in order, including those that change nothing, such as closing what
// is closed: "ora.Connected=false", "ora.LogonDatabase=ORCL", "ora.Open",
// "ora.First", "ora.RecordCount", "ora.Edit", "ora.STATUS:=X", "ora.Post",
// "ora.CommitUpdates", "ora.Next", "ora.Close", "db.Close",
// "db.DatabaseName=/data/kavo.fdb", "fb.Open", "fb.Insert", "fb.HORA:=<set>",
// "fb.NRECNO:=<null>", "fb.Post", "fb.Cancel", "fb.Close",
// "tr.CommitRetaining", "tr.RollbackRetaining". A field write names the
// field and, for texts, the value (":=" marks it, so a test can leave field
// writes out); a post, automatic or explicit, is "Post". What a component
// does by itself (a logoff closing the record sets, a detach closing its
// record set) is not a call and is not recorded. A call that fails before it
// reaches the component (Next on a closed record set) is not recorded either.
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

// Records into an optional call journal.
struct CallRecorder {
  Journal* calls = nullptr;
  void Call(const std::string& entry) const {
    if (calls) calls->push_back(entry);
  }
};

// Records the calls on a memory record set under `prefix` ("ora", "fb").
template <class Base>
class RecordedDataSet : public MemoryDataSetT<Base>, public CallRecorder {
 public:
  RecordedDataSet(TComponent* owner, std::string prefix)
      : MemoryDataSetT<Base>(owner), prefix_(std::move(prefix)) {}

  std::function<void()> on_close;  // may raise: Close fails, the record set stays open

  // Closes without a call being recorded: the component's own doing.
  void CloseQuietly();

  using MemoryDataSetT<Base>::SetFieldData;

 protected:
  void DoSetActive(bool value) override;
  void DoBeforeScroll() override;
  void InternalFirst() override;
  void DoBeforeEdit() override;
  void DoBeforeInsert() override;
  void DoBeforePost() override;
  void DoBeforeCancel() override;
  int GetRecordCount() override;
  void SetFieldData(TField* field, const void* buffer) override;

 private:
  std::string prefix_;
  bool quiet_ = false;
  bool inserting_ = false;  // between Insert's own hooks
};

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

class MemOracleSession : public roles::OracleSession, public CallRecorder {
 public:
  MemOracleSession(Journal& journal) : journal_(journal) {}

  void SetLogonDatabase(const String& v) override;
  void SetLogonUsername(const String& v) override;
  void SetLogonPassword(const String& v) override;
  bool Connected() const override { return connected_; }
  void SetConnected(bool value) override;

  std::function<void()> on_logon;  // may raise: the logon fails

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
class MemOracleDataSet : public RecordedDataSet<roles::OracleDataSet> {
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

class MemIBTransaction : public roles::IBTransaction, public CallRecorder {
 public:
  MemIBTransaction(MemIBDatabase& db, Journal& journal) : db_(db), journal_(journal) {}

  void CommitRetaining() override;
  void RollbackRetaining() override;
  void Start();
  void Commit();
  bool Active() const { return active_; }
  bool InTransaction() const override { return active_; }
  // The connection is lost: the server ends the transaction and its work.
  void Lose() {
    active_ = false;
    pending.clear();
  }

  std::vector<Row> pending;            // posted, not yet committed
  std::function<void()> on_commit;     // may raise: CommitRetaining fails
  std::function<void()> on_rollback;   // may raise: RollbackRetaining fails

 private:
  void CheckActive() const;
  MemIBDatabase& db_;
  Journal& journal_;
  bool active_ = false;
};

class MemFbDataSet;

class MemIBDatabase : public roles::IBDatabase, public CallRecorder {
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
  std::vector<MemFbDataSet*> datasets;
  std::function<void()> on_attach;  // may raise: the attach fails
  std::function<void()> on_close;   // may raise when attached: Close fails, nothing closed

 private:
  FirebirdServer& server_;
  Journal& journal_;
  String name_;
  std::vector<Row>* attached_ = nullptr;
};

// FB_TMP_INTEGRACAO: opens its connection and transaction when needed;
// Post of an insert adds the record to the transaction's pending rows.
class MemFbDataSet : public RecordedDataSet<roles::IBDataSet> {
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
// journal, a table and a server that has the database /data/kavo.fdb; each
// records its calls into `calls`.
struct MemoryComponents {
  MemoryComponents();

  Journal journal;
  Journal calls;
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
