// The five database components that the integration cycle drives, as the
// operations it needs of them. Each is named after its component in the
// service module except the Firebird record set, whose component is named
// after an application table: it is IBDataSet here. The Oracle and Firebird
// layers implement them.
//
// Every failure is an exception derived from Exception carrying a message
// text; none is reported by a return value.
#ifndef KAVO_RECORDSET_ROLES_H_
#define KAVO_RECORDSET_ROLES_H_

#include "recordset/dataset.h"
#include "rtl/component.h"
#include "rtl/ustring.h"

namespace kavo::roles {

// The Oracle session (TOracleSession).
class OracleSession {
 public:
  virtual ~OracleSession() = default;

  // Take effect at the next logon.
  virtual void SetLogonDatabase(const String& value) = 0;
  virtual void SetLogonUsername(const String& value) = 0;
  virtual void SetLogonPassword(const String& value) = 0;

  virtual bool Connected() const = 0;
  // False logs off when connected, closing every record set of the session
  // first (a pending edit is dropped). True logs on with the three logon
  // texts; a refused logon raises and leaves the session disconnected.
  // Setting the current value does nothing.
  virtual void SetConnected(bool value) = 0;
};

// The Oracle record set (TOracleDataSet).
//
// Open reads every row of its query before it returns; RecordCount is then
// the number of rows, and on a closed record set raises the closed-dataset
// error. Edit checks the current row against the server. Post (explicit or
// the automatic post of a move) writes the changed columns back by row
// identifier and commits the session.
class OracleDataSet : public TDataSet {
 public:
  explicit OracleDataSet(TComponent* owner) : TDataSet(owner) {}

  // With cached updates off: writes nothing, commits nothing and leaves a
  // pending edit pending.
  virtual void CommitUpdates() = 0;
};

// The Firebird transaction (TIBTransaction).
class IBTransaction {
 public:
  virtual ~IBTransaction() = default;

  // Commits the work so far and keeps the transaction, its open record sets
  // and their current records. "Transaction is not active" when inactive.
  virtual void CommitRetaining() = 0;
  // Undoes the work since the last commit and keeps the transaction and its
  // open record sets. "Transaction is not active" when inactive.
  virtual void RollbackRetaining() = 0;
  // Whether the transaction is started; a lost connection ends it, and its
  // work with it.
  virtual bool InTransaction() const = 0;
};

// The Firebird connection (TIBDatabase).
class IBDatabase {
 public:
  virtual ~IBDatabase() = default;

  // When attached: closes every record set on the connection (a pending
  // insert is dropped), commits each active transaction and detaches.
  // Otherwise nothing.
  virtual void Close() = 0;
  virtual const String& DatabaseName() const = 0;
  // Only while the connection is closed.
  virtual void SetDatabaseName(const String& value) = 0;
};

// The Firebird record set (TIBDataSet); the service's component FB_TMP_INTEGRACAO.
//
// Open attaches its connection and starts its transaction when they are not
// active. Post of an inserted record runs the stored insert statement with
// the record's fields as parameters (a NULL field sends NULL).
class IBDataSet : public TDataSet {
 public:
  explicit IBDataSet(TComponent* owner) : TDataSet(owner) {}

  // The transaction the record set runs in; a record set without one raises
  // its layer's error here.
  virtual IBTransaction& Transaction() = 0;
};

}  // namespace kavo::roles

#endif  // KAVO_RECORDSET_ROLES_H_
