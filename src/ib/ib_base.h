// TIBBase: how a statement object (a TIBSQL, later a dataset) registers with
// its connection and transaction, and how they tell it what happens to them.
#ifndef KAVO_IB_IB_BASE_H_
#define KAVO_IB_IB_BASE_H_

#include <functional>

#include "rtl/component.h"

namespace kavo {

class TIBDatabase;
class TIBTransaction;

class TIBBase {
 public:
  explicit TIBBase(TComponent* owner) : owner_(owner) {}
  ~TIBBase();
  TIBBase(const TIBBase&) = delete;
  TIBBase& operator=(const TIBBase&) = delete;

  TComponent* Owner() const { return owner_; }
  TIBDatabase* Database() const { return database_; }
  TIBTransaction* Transaction() const { return transaction_; }

  // Registers with the new database (and unregisters from the old); without
  // a transaction, takes the database's default one.
  void SetDatabase(TIBDatabase* db);
  // Likewise; without a database, takes the transaction's default database.
  void SetTransaction(TIBTransaction* tr);

  // ibceDatabaseNotAssigned / ibceTransactionNotAssigned when unset.
  void CheckDatabase() const;
  void CheckTransaction() const;

  // Told by the database and the transaction.
  std::function<void()> OnBeforeDatabaseDisconnect;
  std::function<void()> OnAfterDatabaseDisconnect;
  std::function<void()> OnDatabaseFree;
  std::function<void()> OnBeforeTransactionEnd;
  std::function<void()> OnAfterTransactionEnd;
  std::function<void()> OnTransactionFree;
  // Set by datasets: whether it is open (an open dataset keeps an
  // auto-started transaction from stopping) and how to close it.
  std::function<bool()> IsOpenDataSet;
  std::function<void()> OnCloseDataSet;

  void DoBeforeDatabaseDisconnect() { Fire(OnBeforeDatabaseDisconnect); }
  void DoAfterDatabaseDisconnect() { Fire(OnAfterDatabaseDisconnect); }
  void DoBeforeTransactionEnd() { Fire(OnBeforeTransactionEnd); }
  void DoAfterTransactionEnd() { Fire(OnAfterTransactionEnd); }
  // The database or transaction is destroyed: the owner reacts, then the
  // reference is dropped.
  void DoDatabaseFree();
  void DoTransactionFree();

 private:
  static void Fire(const std::function<void()>& f) {
    if (f) f();
  }
  TComponent* owner_;
  TIBDatabase* database_ = nullptr;
  TIBTransaction* transaction_ = nullptr;
};

}  // namespace kavo

#endif  // KAVO_IB_IB_BASE_H_
