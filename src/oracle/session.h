// TOracleSession: one connection to an Oracle database through OCI 8.
//
// Logging on loads the client library when needed (oci_library.h), attaches
// the server named by LogonDatabase, begins a session with LogonUsername and
// LogonPassword (or external credentials when both are empty) and reads the
// server banner. Statements (TOracleQuery) and record sets attach themselves
// to the session and are closed when it logs off. OCI 7 mode is not built: a
// session that would need it raises an error naming the missing routine.
#ifndef KAVO_ORACLE_SESSION_H_
#define KAVO_ORACLE_SESSION_H_

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "oracle/cached_updates.h"
#include "oracle/critical_section.h"
#include "oracle/oci_library.h"
#include "oracle/oci_types.h"
#include "oracle/session_preferences.h"
#include "recordset/roles.h"
#include "rtl/component.h"
#include "rtl/ustring.h"

namespace kavo {

class TOracleQuery;
class TOracleSession;
class TOracleTableInfoList;

enum TConnectAsOption { caNormal, caSYSDBA, caSYSOPER };
enum TSessionPoolingOption { spNone, spInternal, spMTS };
enum TMTSOption { moImplicit, moUniqueServer };
enum TNullValueOption { nvUnAssigned, nvNull };
enum TSQLTraceOption { stUnchanged, stTrue, stFalse };
enum TOptimizerGoalOption { ogUnchanged, ogChoose, ogFirstRows, ogAllRows, ogRule };
enum TIsolationLevelOption { ilUnchanged, ilReadCommitted, ilSerializable };
enum TBytesPerCharacterOption { bcAutoDetect, bc1Byte, bc2Bytes, bc3Bytes, bc4Bytes };
enum TTransactionMode { tmReadOnly, tmReadWrite, tmReadCommitted, tmSerializable };
enum TCheckConnectionResult { ccOK, ccError, ccReconnected };

using TOracleSessionEvent = std::function<void(TOracleSession*)>;

// What a record set attached to a session is told (implemented by the Oracle
// record set).
class TOracleSessionDataSet {
 public:
  virtual ~TOracleSessionDataSet() = default;
  // Kept open while the session is disconnected.
  virtual bool SessionDetachable() const = 0;
  // The session logs off: close (errors are ignored by the session).
  virtual void SessionClose() = 0;
  // A detached record set learns that its session's state changed.
  virtual void SessionStateChanged() = 0;
};

// Layer-wide switches.
extern std::atomic<bool> OptimizeInTransaction;  // True: InTransaction asks the server once per statement
extern std::atomic<bool> NoUnicodeSupport;       // False

// Plays the Oracle session role the integration cycle drives.
class TOracleSession : public TComponent, public roles::OracleSession {
 public:
  explicit TOracleSession(TComponent* owner);
  ~TOracleSession() override;

  // Logon texts; they take effect at the next logon.
  const String& LogonUsername() const { return logon_username_; }
  const String& LogonPassword() const { return logon_password_; }
  const String& LogonDatabase() const { return logon_database_; }
  // While stored settings are read, DesignConnection makes the logon texts
  // and Connected be ignored.
  void SetLogonUsername(const String& v) override {
    if (!IgnoreStored()) logon_username_ = v;
  }
  void SetLogonPassword(const String& v) override {
    if (!IgnoreStored()) logon_password_ = v;
  }
  void SetLogonDatabase(const String& v) override {
    if (!IgnoreStored()) logon_database_ = v;
  }
  TConnectAsOption ConnectAs() const { return connect_as_; }
  void SetConnectAs(TConnectAsOption v) { connect_as_ = v; }

  bool Connected() const override { return connected_; }
  // True logs on, False logs off; nothing when unchanged. While stored
  // settings are read, True is remembered and acted on when loading ends.
  void SetConnected(bool value) override;
  void LogOn();
  void LogOff();

  TSessionPreferences& Preferences() { return preferences_; }
  const TSessionPreferences& Preferences() const { return preferences_; }

  bool ThreadSafe() const { return thread_safe_; }
  void SetThreadSafe(bool v);
  TSessionPoolingOption Pooling() const { return pooling_; }
  void SetPooling(TSessionPoolingOption v);
  const std::set<TMTSOption>& MTSOptions() const { return mts_options_; }
  void SetMTSOptions(const std::set<TMTSOption>& v);
  bool StatementCache() const { return statement_cache_; }
  void SetStatementCache(bool v);
  int StatementCacheSize() const { return statement_cache_size_; }
  void SetStatementCacheSize(int v);
  bool RollbackOnDisconnect() const { return rollback_on_disconnect_; }
  void SetRollbackOnDisconnect(bool v) { rollback_on_disconnect_ = v; }
  TNullValueOption NullValue() const { return null_value_; }
  void SetNullValue(TNullValueOption v) { null_value_ = v; }
  TSQLTraceOption SQLTrace() const { return sql_trace_; }
  void SetSQLTrace(TSQLTraceOption v);
  TOptimizerGoalOption OptimizerGoal() const { return optimizer_goal_; }
  void SetOptimizerGoal(TOptimizerGoalOption v);
  TIsolationLevelOption IsolationLevel() const { return isolation_level_; }
  void SetIsolationLevel(TIsolationLevelOption v);
  TBytesPerCharacterOption BytesPerCharacter() const { return bytes_per_character_; }
  void SetBytesPerCharacter(TBytesPerCharacterOption v) { bytes_per_character_ = v; }
  const String& MessageTable() const { return message_table_; }
  void SetMessageTable(const String& v) { message_table_ = v; }
  // The screen cursor shown while the session works (no screen here: stored only).
  int Cursor() const { return cursor_; }
  void SetCursor(int v) { cursor_ = v; }
  bool DesignConnection() const { return design_connection_; }
  void SetDesignConnection(bool v) { design_connection_ = v; }
  // In OCI 8 mode only stored: DML then asks OCI to commit on success.
  bool AutoCommit() const { return auto_commit_; }
  void SetAutoCommit(bool v) { auto_commit_ = v; }
  bool Shared() const { return false; }

  TOracleSessionEvent OnChange;
  TOracleSessionEvent BeforeLogOn;
  TOracleSessionEvent AfterLogOn;

  // Transactions; all do nothing when not connected.
  void Commit();
  void Rollback();
  void Savepoint(const String& name);
  void RollbackToSavepoint(const String& name);
  void SetTransaction(TTransactionMode mode);
  bool InTransaction();
  // The in-transaction state is asked again after any statement.
  void SetInTransactionUnknown() { in_transaction_ = -1; }

  TCheckConnectionResult CheckConnection(bool reconnect);
  void BreakExecution();
  String ServerVersion();
  // The message text of an Oracle error number, through the OCI 7 routine
  // oerhms; current clients lack it, and then this raises an error naming it.
  String ErrorMessage(int code);
  // Text of a password-expiry warning received at logon, else empty.
  const String& ExpirationMessage() const { return expiration_message_; }

  // Character sizes and limits.
  int GetBytesPerCharacter();
  int GetBytesPerNCharacter();
  int GetCurrentCharSetID();
  int GetCurrentNCharSetID();
  bool GetCurrentCharSetIsUTF8();
  bool GetCurrentCharSetIsUTF16();
  bool GetCurrentNCharSetIsUTF8();
  bool GetCurrentNCharSetIsUTF16();
  int MaxVarchar();
  int MaxVarcharN();
  int DateFormatLength();

  // The session's own lock, taken only for OCI 7 calls (never, here).
  void Acquire(bool oci7_only);
  void Release(bool oci7_only);
  // Status of the last call mapped to an Oracle error number (0 success).
  int ReturnCode();

  // For statements and the error layer.
  OCIHandle ErrorHandle() const { return errhp_; }
  OCIHandle EnvHandle() const { return envhp_; }
  OCIHandle SvcHandle() const { return svchp_; }
  bool UseOCI80() const { return use_oci80_; }
  // The banner's release is 10 or later.
  bool Oracle10() const { return oracle10_; }
  const String& Banner() const { return banner_; }
  sword LastOCIError() const { return last_oci_error_; }

  // Attached statements and record sets.
  void AddQuery(TOracleQuery* query);
  void RemoveQuery(TOracleQuery* query);
  void AddDataSet(TOracleSessionDataSet* dataset);
  void RemoveDataSet(TOracleSessionDataSet* dataset);
  int QueryCount();

  // Runs a text on the session's internal statement.
  void DoSQL(const String& sql, bool show_cursor = false);
  // Cached updates of several record sets of this session (each listed
  // once; another session's raises "<name>.ApplyUpdates: DataSets must
  // belong to this Session"). ApplyUpdates sets the savepoint
  // VZO_APPLYPOINT, writes the deletes of every record set (last listed
  // first), then the updates, then the inserts, and with `commit` commits
  // and empties the logs; any failure rolls back to the savepoint, puts the
  // record sets' state back and passes on, so nothing is written twice by a
  // retry. Refused while AutoCommit ("ApplyUpdates not possible when
  // AutoCommit = True"). CommitUpdates commits and then empties the logs;
  // CancelUpdates undoes the logged changes and rolls back.
  void ApplyUpdates(const std::vector<TOracleUpdatesDataSet*>& datasets, bool commit);
  void CommitUpdates(const std::vector<TOracleUpdatesDataSet*>& datasets);
  void CancelUpdates(const std::vector<TOracleUpdatesDataSet*>& datasets);
  // What the data dictionary says about the tables record sets update, read
  // on first need and kept for the session's life.
  TOracleTableInfoList& TableInfos();

  // Splits a LogonUsername of the form user/password@database AS role (a
  // slash or at sign inside double quotes does not split) into the logon
  // properties and ConnectAs. Done by every logon.
  void DecodeUsername();

 protected:
  void Loaded() override;

 private:
  friend class TSessionPreferences;
  bool IgnoreStored() const { return Loading() && design_connection_; }
  void Attach();
  // The user name and password onto the session handle: the credentials
  // OCISessionBegin is to check (external ones when both are empty).
  ub4 SetCredentials();
  // The server's banner, its release, and the refusal of a server that
  // only OCI 7 would drive.
  void ReadBanner();
  int CreateEnvironment(OCIHandle* env, unsigned mode);
  void FreeHandles();
  void ApplySessionSettings();
  void DetectCharSizes();
  int DetectedValue(const int& value);
  void ResetCharSizes();
  TOracleQuery& InternalQuery();
  std::vector<TOracleUpdatesDataSet*> UpdatesList(
      const std::vector<TOracleUpdatesDataSet*>& datasets, const Char* operation);
  void Check(sword status);
  // A call beside the main one (its error handle is the second): raises on
  // failure, and the main call's status stays the last error.
  void CheckSideCall(sword status);
  [[noreturn]] void RaiseError();

  String logon_username_, logon_password_, logon_database_;
  TConnectAsOption connect_as_ = caNormal;
  TSessionPreferences preferences_;
  bool thread_safe_ = false;
  TSessionPoolingOption pooling_ = spNone;
  std::set<TMTSOption> mts_options_{moImplicit, moUniqueServer};
  bool statement_cache_ = false;
  int statement_cache_size_ = 20;
  bool rollback_on_disconnect_ = false;
  TNullValueOption null_value_ = nvUnAssigned;
  TSQLTraceOption sql_trace_ = stUnchanged;
  TOptimizerGoalOption optimizer_goal_ = ogUnchanged;
  TIsolationLevelOption isolation_level_ = ilUnchanged;
  TBytesPerCharacterOption bytes_per_character_ = bcAutoDetect;
  String message_table_;
  bool design_connection_ = false;
  bool auto_commit_ = false;
  bool stored_connected_ = false;
  int cursor_ = -11;

  bool connected_ = false;
  bool server_attached_ = false;
  bool use_oci80_ = true;
  bool oracle10_ = false;
  String banner_;
  // The client library every OCI call goes through.
  TOCILibrary& oci_ = OCILibrary();
  sword last_oci_error_ = 0;
  String expiration_message_;
  int in_transaction_ = -1;  // unknown, 0, 1
  int bytes_per_char_ = 0, bytes_per_nchar_ = 0, charset_id_ = 0, ncharset_id_ = 0;
  int date_format_length_ = -1;

  OCIHandle envhp_ = nullptr, srvhp_ = nullptr, svchp_ = nullptr, authp_ = nullptr,
            errhp_ = nullptr, secerrhp_ = nullptr;

  TOracleCriticalSection critical_section_;
  std::unique_ptr<TOracleQuery> query_;
  std::unique_ptr<TOracleTableInfoList> table_infos_;
  std::recursive_mutex lists_mutex_;
  std::vector<TOracleQuery*> queries_;
  std::vector<TOracleSessionDataSet*> datasets_;
};

// Every existing session, in creation order (a thread-safe copy).
std::vector<TOracleSession*> AllSessions();

// Process end of the layer: logs off every session, frees the shared
// environment and unloads the library. Runs by itself at exit.
void OracleShutdown();

// The error for a path that would need an OCI 7 routine.
[[noreturn]] void RaiseOCI7NotSupported(const char* routine);

}  // namespace kavo

#endif  // KAVO_ORACLE_SESSION_H_
