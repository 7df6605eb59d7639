// The session object: properties, attached objects, the session list and
// the layer's process-end shutdown.
#include "oracle/session.h"

#include <algorithm>
#include <cstdlib>

#include "oracle/oci_library.h"
#include "oracle/oracle_error.h"
#include "oracle/query.h"
#include "oracle/table_info.h"

namespace kavo {

std::atomic<bool> OptimizeInTransaction = true;
std::atomic<bool> NoUnicodeSupport = false;

namespace {

std::mutex& SessionsMutex() {
  static std::mutex m;
  return m;
}
std::vector<TOracleSession*>& Sessions() {
  static std::vector<TOracleSession*> v;
  return v;
}

// Registered at the first session, when every static the shutdown touches
// already exists, so that they are destroyed only after it has run.
void RegisterShutdown() {
  static std::once_flag once;
  std::call_once(once, [] {
    OCISection();
    OCILibrary();
    SessionsMutex();
    Sessions();
    std::atexit(OracleShutdown);
  });
}

void RefuseWhenConnected(const TOracleSession* s, const char16_t* property) {
  if (s->Connected())
    throw Exception(u"Cannot change " + String(property) + u" property when connected");
}

}  // namespace

[[noreturn]] void RaiseOCI7NotSupported(const char* routine) {
  throw Exception(u"OCI7 mode is not supported: the routine " + AsciiToString(routine) +
                  u" is not available");
}

TOracleSession::TOracleSession(TComponent* owner) : TComponent(owner), preferences_(this) {
  RegisterShutdown();
  std::lock_guard<std::mutex> lock(SessionsMutex());
  Sessions().push_back(this);
}

TOracleSession::~TOracleSession() {
  try {
    LogOff();
  } catch (const std::exception&) {
  }
  table_infos_.reset();
  {
    std::lock_guard<std::recursive_mutex> lock(lists_mutex_);
    for (TOracleQuery* q : std::vector<TOracleQuery*>(queries_)) q->SetSession(nullptr);
    queries_.clear();
    datasets_.clear();
  }
  query_.reset();
  FreeHandles();
  std::lock_guard<std::mutex> lock(SessionsMutex());
  auto& v = Sessions();
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

std::vector<TOracleSession*> AllSessions() {
  std::lock_guard<std::mutex> lock(SessionsMutex());
  return Sessions();
}

void OracleShutdown() {
  for (TOracleSession* s : AllSessions()) {
    try {
      s->LogOff();
    } catch (const std::exception&) {
    }
  }
  TOCILibrary& oci = OCILibrary();
  // The process is letting the client go and no session is left to keep a
  // status: a shared environment the client cannot free goes with the unload.
  if (oci.SingleEnv != nullptr && oci.Has(OCIEntry::OCIHandleFree))
    static_cast<void>(oci.OCIHandleFree(oci.SingleEnv, OCI_HTYPE_ENV));
  oci.SingleEnv = nullptr;
  oci.DLLExit();
}

void TOracleSession::SetConnected(bool value) {
  if (Loading()) {
    if (!design_connection_) stored_connected_ = value;
    return;
  }
  if (value == connected_) return;
  if (value)
    LogOn();
  else
    LogOff();
}

void TOracleSession::Loaded() {
  TComponent::Loaded();
  if (stored_connected_) {
    stored_connected_ = false;
    LogOn();
  }
}

void TOracleSession::SetThreadSafe(bool v) {
  if (v != thread_safe_) RefuseWhenConnected(this, u"ThreadSafe");
  thread_safe_ = v;
}

void TOracleSession::SetPooling(TSessionPoolingOption v) {
  if (v != pooling_) RefuseWhenConnected(this, u"Pooling");
  pooling_ = v;
}

void TOracleSession::SetMTSOptions(const std::set<TMTSOption>& v) {
  if (v != mts_options_) RefuseWhenConnected(this, u"MTSOptions");
  mts_options_ = v;
}

void TOracleSession::SetStatementCache(bool v) {
  if (v != statement_cache_) RefuseWhenConnected(this, u"StatementCache");
  statement_cache_ = v;
}

void TOracleSession::SetStatementCacheSize(int v) {
  statement_cache_size_ = v;
  if (connected_ && statement_cache_ && svchp_ != nullptr) {
    ub4 size = static_cast<ub4>(v);
    // A size the client refuses leaves the cache as it was; the status stays
    // the last error rather than failing the assignment.
    last_oci_error_ = ReleaseStatus(oci_.OCIAttrSet(svchp_, OCI_HTYPE_SVCCTX, &size, sizeof size,
                                                    OCI_ATTR_STMTCACHESIZE, secerrhp_),
                                    last_oci_error_);
  }
}

void TOracleSession::SetSQLTrace(TSQLTraceOption v) {
  sql_trace_ = v;
  if (connected_) ApplySessionSettings();
}

void TOracleSession::SetOptimizerGoal(TOptimizerGoalOption v) {
  optimizer_goal_ = v;
  if (connected_) ApplySessionSettings();
}

void TOracleSession::SetIsolationLevel(TIsolationLevelOption v) {
  isolation_level_ = v;
  if (connected_) ApplySessionSettings();
}

void TOracleSession::Acquire(bool oci7_only) {
  if (thread_safe_ && !(oci7_only && use_oci80_)) critical_section_.Enter();
}

void TOracleSession::Release(bool oci7_only) {
  if (thread_safe_ && !(oci7_only && use_oci80_)) critical_section_.Leave();
}

int TOracleSession::ReturnCode() {
  if (last_oci_error_ == OCI_ERROR || last_oci_error_ == OCI_SUCCESS_WITH_INFO) {
    int code = OracleErrorCode(errhp_);
    // A failure without an error record must not read as success.
    return code != 0 || last_oci_error_ == OCI_SUCCESS_WITH_INFO ? code : last_oci_error_;
  }
  return last_oci_error_;
}

void TOracleSession::Check(sword status) {
  last_oci_error_ = status;
  if (status != OCI_SUCCESS) RaiseError();
}

void TOracleSession::CheckSideCall(sword status) {
  if (status != OCI_SUCCESS) RaiseOracleError(this, secerrhp_, this);
}

void TOracleSession::RaiseError() { RaiseOracleError(this, errhp_, this); }

void TOracleSession::AddQuery(TOracleQuery* query) {
  std::lock_guard<std::recursive_mutex> lock(lists_mutex_);
  if (std::find(queries_.begin(), queries_.end(), query) == queries_.end())
    queries_.push_back(query);
}

void TOracleSession::RemoveQuery(TOracleQuery* query) {
  std::lock_guard<std::recursive_mutex> lock(lists_mutex_);
  queries_.erase(std::remove(queries_.begin(), queries_.end(), query), queries_.end());
}

int TOracleSession::QueryCount() {
  std::lock_guard<std::recursive_mutex> lock(lists_mutex_);
  return static_cast<int>(queries_.size());
}

void TOracleSession::AddDataSet(TOracleSessionDataSet* dataset) {
  std::lock_guard<std::recursive_mutex> lock(lists_mutex_);
  if (std::find(datasets_.begin(), datasets_.end(), dataset) == datasets_.end())
    datasets_.push_back(dataset);
}

void TOracleSession::RemoveDataSet(TOracleSessionDataSet* dataset) {
  std::lock_guard<std::recursive_mutex> lock(lists_mutex_);
  datasets_.erase(std::remove(datasets_.begin(), datasets_.end(), dataset), datasets_.end());
}

TOracleQuery& TOracleSession::InternalQuery() {
  if (!query_) {
    query_ = std::make_unique<TOracleQuery>(nullptr);
    query_->SetName(u"Query");
    query_->SetSession(this);
  }
  return *query_;
}

TOracleTableInfoList& TOracleSession::TableInfos() {
  if (!table_infos_) table_infos_ = std::make_unique<TOracleTableInfoList>(*this);
  return *table_infos_;
}

void TOracleSession::DoSQL(const String& sql, bool /*show_cursor*/) {
  TOracleQuery& q = InternalQuery();
  q.Clear();
  q.SetSQLText(sql);
  q.Execute();
}

void TOracleSession::FreeHandles() {
  if (envhp_ == nullptr || !oci_.Has(OCIEntry::OCIHandleFree)) {
    envhp_ = srvhp_ = svchp_ = authp_ = errhp_ = secerrhp_ = nullptr;
    return;
  }
  const std::pair<OCIHandle, ub4> handles[] = {{srvhp_, OCI_HTYPE_SERVER},
                                                {svchp_, OCI_HTYPE_SVCCTX},
                                                {errhp_, OCI_HTYPE_ERROR},
                                                {secerrhp_, OCI_HTYPE_ERROR},
                                                {authp_, OCI_HTYPE_SESSION},
                                                {envhp_ != oci_.SingleEnv ? envhp_ : nullptr,
                                                 OCI_HTYPE_ENV}};
  for (const auto& [handle, type] : handles)
    if (handle != nullptr)
      last_oci_error_ = ReleaseStatus(oci_.OCIHandleFree(handle, type), last_oci_error_);
  envhp_ = srvhp_ = svchp_ = authp_ = errhp_ = secerrhp_ = nullptr;
}

}  // namespace kavo
