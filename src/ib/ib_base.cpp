#include "ib/ib_base.h"

#include "ib/ib_database.h"
#include "ib/ib_errors.h"
#include "ib/ib_transaction.h"

namespace kavo {

TIBBase::~TIBBase() {
  if (database_ != nullptr) database_->RemoveSQLObject(this);
  if (transaction_ != nullptr) transaction_->RemoveSQLObject(this);
}

void TIBBase::SetDatabase(TIBDatabase* db) {
  if (db == database_) return;
  if (database_ != nullptr) database_->RemoveSQLObject(this);
  database_ = db;
  if (database_ == nullptr) return;
  database_->AddSQLObject(this);
  if (transaction_ == nullptr) SetTransaction(database_->FindDefaultTransaction());
}

void TIBBase::SetTransaction(TIBTransaction* tr) {
  if (tr == transaction_) return;
  if (transaction_ != nullptr) transaction_->RemoveSQLObject(this);
  transaction_ = tr;
  if (transaction_ == nullptr) return;
  transaction_->AddSQLObject(this);
  if (database_ == nullptr) SetDatabase(transaction_->DefaultDatabase());
}

void TIBBase::CheckDatabase() const {
  if (database_ == nullptr) IBError(ibceDatabaseNotAssigned);
}

void TIBBase::CheckTransaction() const {
  if (transaction_ == nullptr) IBError(ibceTransactionNotAssigned);
}

void TIBBase::DoDatabaseFree() {
  Fire(OnDatabaseFree);
  database_ = nullptr;
}

void TIBBase::DoTransactionFree() {
  Fire(OnTransactionFree);
  transaction_ = nullptr;
}

}  // namespace kavo
