// TIBTransaction: one transaction over one or more connections.
//
// Params become the transaction parameter buffer; the transaction starts on
// all its databases at once. Commit and Rollback first tell the statement
// objects running in it (cursors close); the retaining forms keep the
// transaction, its handle and open cursors.
#ifndef KAVO_IB_IB_TRANSACTION_H_
#define KAVO_IB_IB_TRANSACTION_H_

#include <memory>
#include <string>
#include <vector>

#include "ib/ib_header.h"
#include "ib/ib_idle_timer.h"
#include "ib/ib_object_list.h"
#include "ib/ib_param_list.h"
#include "recordset/roles.h"
#include "rtl/component.h"

namespace kavo {

class IGDSLibrary;
class TIBBase;
class TIBDatabase;
struct TIBCharacterSet;

enum TIBTransactionAction { TARollback, TACommit, TARollbackRetaining, TACommitRetaining };
enum TAutoStopAction { saNone, saRollback, saCommit, saRollbackRetaining, saCommitRetaining };

// Plays the Firebird transaction role of the integration cycle.
class TIBTransaction : public TComponent, public roles::IBTransaction {
 public:
  explicit TIBTransaction(TComponent* owner = nullptr);
  ~TIBTransaction() override;

  void StartTransaction();
  void Commit() { EndTransaction(TACommit, false); }
  void CommitRetaining() override { EndTransaction(TACommitRetaining, false); }
  void Rollback() { EndTransaction(TARollback, false); }
  void RollbackRetaining() override { EndTransaction(TARollbackRetaining, false); }
  void EndTransaction(TIBTransactionAction action, bool force);

  bool Active() const { return handle_ != 0; }
  bool InTransaction() const override { return Active(); }
  // True starts, false rolls back; while loading only recorded.
  void SetActive(bool value);
  bool StreamedActive() const { return streamed_active_; }
  void ClearStreamedActive() { streamed_active_ = false; }

  void AutoStartTransaction();
  void CheckAutoStop();
  bool AutoStarted() const { return auto_started_; }

  void CheckInTransaction();
  void CheckNotInTransaction() const;
  void CheckDatabasesInList() const;

  // Savepoints need an InterBase 7.1 client; a failing call is not reported.
  void StartSavepoint(const String& name);
  void ReleaseSavepoint(const String& name);
  void RollbackSavepoint(const String& name);

  // The server's number of this transaction, cached until it ends.
  int64_t TransactionID();

  // Two-phase commit. Prepare (isc_prepare_transaction2) makes the work
  // durable in limbo; the server keeps the description with it (in
  // RDB$TRANSACTIONS) for whoever resolves it. Commit or Rollback, or their
  // retaining forms, still end it. A prepared transaction is ended only
  // explicitly: a close of its database, its destruction, a lost connection
  // or its idle timer leave it in limbo, since deciding its fate belongs to
  // whoever knows the other side's outcome.
  void Prepare(const String& description);
  bool Prepared() const { return prepared_; }
  // Takes over the limbo transaction numbered `transaction_id` on the first
  // listed database (isc_reconnect_transaction); it counts as prepared, and
  // Commit or Rollback resolves it. The server refuses a number that is not
  // in limbo ("transaction is not in limbo").
  void Reconnect(int64_t transaction_id);

  // --- properties ---
  bool AllowAutoStart() const { return allow_auto_start_; }
  void SetAllowAutoStart(bool value) { allow_auto_start_ = value; }
  TIBDatabase* DefaultDatabase() const { return default_database_; }
  void SetDefaultDatabase(TIBDatabase* db);
  int IdleTimer() const { return idle_timer_.Interval(); }
  void SetIdleTimer(int milliseconds);
  TIBTransactionAction DefaultAction() const { return default_action_; }
  // TARollbackRetaining needs a client of version 6.0 or later.
  void SetDefaultAction(TIBTransactionAction action);
  TIBParamList& Params() { return params_; }
  const TIBParamList& Params() const { return params_; }
  TAutoStopAction AutoStopAction() const { return auto_stop_action_; }
  void SetAutoStopAction(TAutoStopAction action) { auto_stop_action_ = action; }
  TNotifyEvent OnIdleTimer;

  // The buffer given to the last start (empty for empty Params).
  const std::string& TPB() const { return tpb_; }
  int TPBLength() const { return tpb_length_; }

  // --- databases and statement objects ---
  int AddDatabase(TIBDatabase* db);
  void RemoveDatabase(int index);
  void RemoveDatabase(TIBDatabase* db);
  void RemoveDatabases();
  int FindDatabase(const TIBDatabase* db) const;
  TIBDatabase* FindDefaultDatabase() const;
  TIBDatabase* GetDatabase(int index) const { return databases_[index]; }
  int DatabaseCount() const { return databases_.Count(); }
  int AddSQLObject(TIBBase* obj);
  void RemoveSQLObject(TIBBase* obj);
  int SQLObjectCount() const { return sql_objects_.Count(); }

  isc_tr_handle Handle() const { return handle_; }
  isc_tr_handle* HandleAddress() { return &handle_; }
  // The error gateway after every client call in this transaction.
  ISC_STATUS Call(ISC_STATUS status, bool raise);
  // Marks the transaction and its databases used.
  void ClearCanTimeout();

 protected:
  void Loaded() override;

 private:
  IGDSLibrary& EndLibrary();
  // The character set of the server's messages: the primary database's.
  const TIBCharacterSet* MessageCharacterSet() const;
  void IdleTimerTick();
  void ReportEnd(TIBTransactionAction action);

  isc_tr_handle handle_ = 0;
  bool handle_is_shared_ = false;
  TIBObjectList<TIBDatabase> databases_;
  TIBObjectList<TIBBase> sql_objects_;
  TIBDatabase* default_database_ = nullptr;
  TIBParamList params_;
  bool tr_params_changed_ = true;
  std::string tpb_;
  int tpb_length_ = 0;
  bool streamed_active_ = false;
  bool auto_started_ = false;
  bool can_timeout_ = false;
  bool allow_auto_start_ = true;
  TIBTransactionAction default_action_ = TACommit;
  TAutoStopAction auto_stop_action_ = saNone;
  TIBIdleTimer idle_timer_{[this] { IdleTimerTick(); }};
  int64_t transaction_id_ = 0;
  bool prepared_ = false;
};

}  // namespace kavo

#endif  // KAVO_IB_IB_TRANSACTION_H_
