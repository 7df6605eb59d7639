// TIBDatabase: one attachment to one Firebird/InterBase database.
//
// Params become the database parameter buffer of the attach call. The
// connection keeps the transactions and statement objects that use it and,
// before it detaches, tells the statements (which close) and ends the active
// transactions by their DefaultAction. A call that finds the connection lost
// force-closes it before the error is raised.
#ifndef KAVO_IB_IB_DATABASE_H_
#define KAVO_IB_IB_DATABASE_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ib/ib_character_set.h"
#include "ib/ib_header.h"
#include "ib/ib_idle_timer.h"
#include "ib/ib_intf.h"
#include "ib/ib_object_list.h"
#include "ib/ib_param_list.h"
#include "ib/ib_schema.h"
#include "ib/ib_trace_hook.h"
#include "platform/timer.h"
#include "recordset/roles.h"
#include "rtl/component.h"

namespace kavo {

class TIBBase;
class TIBCustomDataSet;
class TIBTransaction;

// Plays the Firebird connection role of the integration cycle.
class TIBDatabase : public TComponent, public roles::IBDatabase {
 public:
  // Fills in the login parameters; false refuses the login.
  using TLoginEvent = std::function<bool(TIBDatabase& db, TStringList& params)>;

  explicit TIBDatabase(TComponent* owner = nullptr);
  ~TIBDatabase() override;

  // --- connection ---
  void Open() { SetConnected(true); }
  void Close() override { SetConnected(false); }
  bool Connected() const { return handle_ != 0; }
  // While loading, true is only recorded and acted on by Loaded.
  void SetConnected(bool value);
  // Closes whatever happens: statements and transactions are told, errors
  // are swallowed, the handle ends cleared.
  void ForceClose();
  // Asks the server for one info item; any failure force-closes and answers
  // false.
  bool TestConnected();

  // Applies the cached updates of record sets that all use this connection
  // and one active transaction, then commits that transaction retaining.
  void ApplyUpdates(const std::vector<TIBCustomDataSet*>& datasets);

  // --- properties ---
  const String& DatabaseName() const override { return db_name_; }
  void SetDatabaseName(const String& value) override;
  TIBParamList& Params() { return params_; }
  const TIBParamList& Params() const { return params_; }
  bool LoginPrompt() const { return login_prompt_; }
  void SetLoginPrompt(bool value) { login_prompt_ = value; }
  TIBTransaction* DefaultTransaction() const { return default_transaction_; }
  void SetDefaultTransaction(TIBTransaction* tr);
  const String& ServerType() const { return server_type_; }
  // Selects and loads the client library ("IBServer", "IBEmbedded", any case).
  void SetServerType(const String& value);
  int IdleTimer() const { return idle_timer_.Interval(); }
  void SetIdleTimer(int milliseconds);
  int SQLDialect() const { return sql_dialect_; }
  void SetSQLDialect(int value);
  int DBSQLDialect() const { return db_sql_dialect_; }
  TTraceFlags TraceFlags() const { return trace_flags_; }
  void SetTraceFlags(TTraceFlags flags) { trace_flags_ = flags; }
  bool AllowStreamedConnected() const { return allow_streamed_connected_; }
  void SetAllowStreamedConnected(bool value) { allow_streamed_connected_ = value; }

  TNotifyEvent BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect, OnIdleTimer,
      OnDialectDowngradeWarning;
  TLoginEvent OnLogin;

  // The lc_ctype character set and the code page of statement text.
  const String& CharacterSet() const { return character_set_.name; }
  int CharacterSetCodePage() const { return character_set_.code_page; }
  const TIBCharacterSet& CharacterSetInfo() const { return character_set_; }
  // The buffer built at the last connect (empty before).
  const std::string& DPB() const { return dpb_; }

  // --- for transactions and statements ---
  IGDSLibrary& GDSLibrary();
  isc_db_handle Handle() const { return handle_; }
  isc_db_handle* HandleAddress() { return &handle_; }
  bool HandleIsShared() const { return handle_is_shared_; }
  // The error gateway after every client call of this connection.
  ISC_STATUS Call(ISC_STATUS status, bool raise);
  // Marks the connection used (its idle timer starts counting again).
  void ClearCanTimeout() { can_timeout_ = false; }

  void CheckActive();
  void CheckInactive() const;
  void CheckDatabaseName() const;

  int AddTransaction(TIBTransaction* tr);
  void RemoveTransaction(int index);
  void RemoveTransaction(TIBTransaction* tr);
  int FindTransaction(const TIBTransaction* tr) const;
  TIBTransaction* FindDefaultTransaction() const;
  int TransactionCount() const { return transactions_.Count(); }
  TIBTransaction* Transactions(int index) const { return transactions_[index]; }
  TIBTransaction* InternalTransaction() const { return internal_transaction_; }
  // Column facts for record sets; emptied when DatabaseName changes.
  TIBSchema& Schema() { return schema_; }

  int AddSQLObject(TIBBase* obj);
  void RemoveSQLObject(TIBBase* obj);
  int SQLObjectCount() const { return sql_objects_.Count(); }
  TIBBase* SQLObjects(int index) const { return sql_objects_[index]; }
  // Closes every registered dataset.
  void CloseDataSets();

  // The Params line of a parameter by its code (1 to 85); an empty value
  // deletes the line.
  String GetDBParamByDPB(int code) const;
  void SetDBParamByDPB(int code, const String& value);
  // The first line containing `name` at its start or after "isc_dpb_".
  int IndexOfDBConst(const String& name) const;

  // "CREATE DATABASE '<name>' <Params>" through execute-immediate; leaves the
  // new database attached.
  void CreateDatabase();
  void DropDatabase();

  // One integer item of the database information (isc_info_*); -1 when the
  // server does not answer with that item.
  long DatabaseInfoInt(char item);
  // True for an on-disk structure above 9 that the server reports read-only.
  bool IsReadOnly();

  bool StreamedConnected() const { return streamed_connected_; }
  void ClearStreamedConnected() { streamed_connected_ = false; }

 protected:
  void Loaded() override;
  void DoConnect();
  void DoDisconnect();

 private:
  // Tells the statements the connection goes and ends its active
  // transactions by their default action; `force` ignores their failures.
  void BeforeDisconnectNotify(bool force);
  void InternalClose(bool force);
  void EnsureServerType();
  void BuildDPBIfChanged();
  void ReadDBSQLDialect();
  void IdleTimerTick();
  void Login();
  void Fire(const TNotifyEvent& e) {
    if (e) e(this);
  }

  isc_db_handle handle_ = 0;
  bool handle_is_shared_ = false;
  String db_name_;
  TIBParamList params_;
  bool db_params_changed_ = true;
  std::string dpb_;
  String hidden_password_;
  TIBCharacterSet character_set_;
  int db_sql_dialect_ = 3;
  int sql_dialect_ = 3;
  bool can_timeout_ = false;
  bool streamed_connected_ = false;
  bool allow_streamed_connected_ = true;
  bool login_prompt_ = true;
  IGDSLibraryPtr gds_library_;
  String server_type_;
  TIBObjectList<TIBTransaction> transactions_;
  TIBObjectList<TIBBase> sql_objects_;
  TIBTransaction* default_transaction_ = nullptr;
  TIBTransaction* internal_transaction_ = nullptr;
  TIBIdleTimer idle_timer_{[this] { IdleTimerTick(); }};
  TTraceFlags trace_flags_ = 0;
  TIBSchema schema_;
};

}  // namespace kavo

#endif  // KAVO_IB_IB_DATABASE_H_
