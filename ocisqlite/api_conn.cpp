// Attaching to a store, sessions, the server banner, transactions and break.
#include <atomic>
#include <cstring>
#include <mutex>
#include <utility>

#include "api.h"
#include "trace.h"

using namespace kavo::ocisqlite;

namespace {

Connection* Conn(SvcCtx* svc) {
  return svc && IsHandle(svc->session, OCI_HTYPE_SESSION) && svc->session->conn ? svc->session->conn.get() : nullptr;
}

}  // namespace

OCI_API sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblink_len, ub4) {
  Server* s = As<Server>(srvhp, OCI_HTYPE_SERVER);
  ErrorHandle* e = Err(errhp);
  if (!s || !e) return OCI_INVALID_HANDLE;
  e->Clear();
  std::string path = Bytes(dblink, dblink_len);
  try {
    Connection::Open(path);  // proves the store is there and readable
  } catch (const OraError& err) {
    return Fail(errhp, err);
  }
  s->path = path;
  s->attached = true;
  return OCI_SUCCESS;
}

OCI_API sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4) {
  Server* s = As<Server>(srvhp, OCI_HTYPE_SERVER);
  if (!s || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (!s->attached) return Fail(errhp, MakeError(3114));
  s->attached = false;
  return OCI_SUCCESS;
}

OCI_API sword OCISessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt, ub4) {
  SvcCtx* svc = As<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Session* u = As<Session>(usrhp, OCI_HTYPE_SESSION);
  ErrorHandle* e = Err(errhp);
  if (!svc || !u || !e) return OCI_INVALID_HANDLE;
  e->Clear();
  if (!IsHandle(svc->server, OCI_HTYPE_SERVER) || !svc->server->attached) return Fail(errhp, MakeError(3114));
  if (credt != OCI_CRED_RDBMS) return Fail(errhp, MakeError(1017));
  if (u->password.empty()) return Fail(errhp, MakeError(1005));
  try {
    auto conn = Connection::Open(svc->server->path);
    int days = conn->Logon(ClientName(u->user), u->password);
    u->conn = std::shared_ptr<Connection>(std::move(conn));
    svc->session = u;
    if (days > 0) {
      e->Set(MakeError(28002, std::to_string(days)));
      return OCI_SUCCESS_WITH_INFO;
    }
  } catch (const OraError& err) {
    return Fail(errhp, err);
  }
  return OCI_SUCCESS;
}

OCI_API sword OCISessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4) {
  SvcCtx* svc = As<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  if (!svc || !Err(errhp)) return OCI_INVALID_HANDLE;
  Session* u = usrhp ? As<Session>(usrhp, OCI_HTYPE_SESSION) : svc->session;
  if (!u || !IsHandle(u, OCI_HTYPE_SESSION)) return OCI_INVALID_HANDLE;
  if (!u->conn) return Fail(errhp, MakeError(1012));
  {
    std::lock_guard<std::recursive_mutex> guard(u->conn->mutex());
    u->conn->Close();  // an open transaction rolls back
  }
  u->conn.reset();
  return OCI_SUCCESS;
}

namespace {

// A service context of its own, with a server and a session logged on to
// `db`; null, with the failing status in `rc`, when the logon fails.
SvcCtx* LogonOwned(Env* env, OCIError* errhp, std::string user, std::string password,
                   const OraText* db, sb4 db_len, sword& rc) {
  auto* svc = new SvcCtx(env);
  svc->logon_owned = true;
  svc->server = new Server(env);
  svc->session = new Session(env);
  svc->session->user = std::move(user);
  svc->session->password = std::move(password);
  rc = OCIServerAttach(reinterpret_cast<OCIServer*>(svc->server), errhp, db, db_len, 0);
  if (rc == OCI_SUCCESS)
    rc = OCISessionBegin(reinterpret_cast<OCISvcCtx*>(svc), errhp,
                         reinterpret_cast<OCISession*>(svc->session), OCI_CRED_RDBMS, 0);
  if (rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO) return svc;
  delete svc->session;
  delete svc->server;
  delete svc;
  return nullptr;
}

}  // namespace

OCI_API sword OCILogon(OCIEnv* envhp, OCIError* errhp, OCISvcCtx** svchp, const OraText* username,
                       ub4 uname_len, const OraText* password, ub4 passwd_len, const OraText* dbname,
                       ub4 dbname_len) {
  Env* env = As<Env>(envhp, OCI_HTYPE_ENV);
  if (!env || !Err(errhp) || !svchp) return OCI_INVALID_HANDLE;
  sword rc = OCI_SUCCESS;
  SvcCtx* svc = LogonOwned(env, errhp, env->In(Bytes(username, static_cast<sb4>(uname_len))),
                           env->In(Bytes(password, static_cast<sb4>(passwd_len))), dbname,
                           static_cast<sb4>(dbname_len), rc);
  if (!svc) return rc;
  *svchp = reinterpret_cast<OCISvcCtx*>(svc);
  return rc;
}

OCI_API sword OCILogoff(OCISvcCtx* svchp, OCIError* errhp) {
  SvcCtx* svc = As<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  if (!svc || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (!svc->logon_owned) return Fail(errhp, MakeError(1012));
  delete svc->session;
  delete svc->server;
  delete svc;
  return OCI_SUCCESS;
}

OCI_API sword OCIServerVersion(void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype) {
  Server* s = nullptr;
  if (hndltype == OCI_HTYPE_SERVER) s = As<Server>(hndlp, OCI_HTYPE_SERVER);
  else if (hndltype == OCI_HTYPE_SVCCTX) {
    SvcCtx* svc = As<SvcCtx>(hndlp, OCI_HTYPE_SVCCTX);
    s = svc && IsHandle(svc->server, OCI_HTYPE_SERVER) ? svc->server : nullptr;
  }
  if (!s || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (!s->attached) return Fail(errhp, MakeError(3114));
  if (!bufp || bufsz == 0) return Fail(errhp, MakeError(3001));
  std::string banner;
  try {
    auto conn = Connection::Open(s->path);
    banner = conn->Banner(1) + "\nWith the Partitioning, OLAP, Data Mining and Real Application Testing options";
  } catch (const OraError& err) {
    return Fail(errhp, err);
  }
  size_t n = std::min<size_t>(banner.size(), bufsz - 1);
  std::memcpy(bufp, banner.data(), n);
  bufp[n] = 0;
  return OCI_SUCCESS;
}

OCI_API sword OCIBreak(void* hndlp, OCIError* errhp) {
  if (!Err(errhp)) return OCI_INVALID_HANDLE;
  if (SvcCtx* svc = As<SvcCtx>(hndlp, OCI_HTYPE_SVCCTX)) {
    if (Connection* c = Conn(svc)) {
      c->Interrupt();
    }
    return OCI_SUCCESS;
  }
  if (As<Server>(hndlp, OCI_HTYPE_SERVER)) return OCI_SUCCESS;
  return OCI_INVALID_HANDLE;
}

OCI_API sword OCITransStart(OCISvcCtx* svchp, OCIError* errhp, uword, ub4) {
  if (!As<SvcCtx>(svchp, OCI_HTYPE_SVCCTX) || !Err(errhp)) return OCI_INVALID_HANDLE;
  return OCI_SUCCESS;
}

namespace {

// Commit or rollback of the session's transaction.
sword EndTransaction(OCISvcCtx* svchp, OCIError* errhp, bool commit) {
  SvcCtx* svc = As<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  ErrorHandle* e = Err(errhp);
  if (!svc || !e) return OCI_INVALID_HANDLE;
  e->Clear();
  Connection* c = Conn(svc);
  if (!c) return Fail(errhp, MakeError(1012));
  std::lock_guard<std::recursive_mutex> guard(c->mutex());
  TraceRecord(commit ? "commit" : "rollback");
  try {
    if (commit) c->Commit();
    else c->Rollback();
  } catch (const OraError& err) {
    return Fail(errhp, err);
  }
  return OCI_SUCCESS;
}

}  // namespace

OCI_API sword OCITransCommit(OCISvcCtx* svchp, OCIError* errhp, ub4) { return EndTransaction(svchp, errhp, true); }
OCI_API sword OCITransRollback(OCISvcCtx* svchp, OCIError* errhp, ub4) { return EndTransaction(svchp, errhp, false); }

OCI_API sword OCITransDetach(OCISvcCtx*, OCIError* errhp, ub4) { return Unimplemented(errhp); }
OCI_API sword OCITransPrepare(OCISvcCtx*, OCIError* errhp, ub4) { return Unimplemented(errhp); }
OCI_API sword OCITransForget(OCISvcCtx*, OCIError* errhp, ub4) { return Unimplemented(errhp); }
OCI_API sword OCIPasswordChange(OCISvcCtx*, OCIError* errhp, const OraText*, ub4, const OraText*, ub4,
                                const OraText*, ub4, ub4) {
  return Unimplemented(errhp);
}
OCI_API sword OCISvcCtxToLda(OCISvcCtx*, OCIError* errhp, void*) { return Unimplemented(errhp); }
OCI_API sword OCILdaToSvcCtx(OCISvcCtx**, OCIError* errhp, void*) { return Unimplemented(errhp); }

// Session pools: sessions are logons of their own with the pool's user; the
// pool counts those out. A pool is found by the name OCISessionPoolCreate gave.
namespace {

std::mutex g_pools_mutex;
SessionPool* FindPool(Env* env, const std::string& name) {
  for (Handle* h : HandlesOf(env))
    if (h->type == OCI_HTYPE_SPOOL && static_cast<SessionPool*>(h)->created && static_cast<SessionPool*>(h)->name == name)
      return static_cast<SessionPool*>(h);
  return nullptr;
}

}  // namespace

OCI_API sword OCISessionPoolCreate(OCIEnv* envhp, OCIError* errhp, OCISPool* spoolhp, OraText** poolName,
                                   ub4* poolNameLen, const OraText* connStr, ub4 connStrLen, ub4 sessMin, ub4 sessMax,
                                   ub4 sessIncr, OraText* userid, ub4 useridLen, OraText* password, ub4 passwordLen,
                                   ub4) {
  Env* env = As<Env>(envhp, OCI_HTYPE_ENV);
  SessionPool* pool = As<SessionPool>(spoolhp, OCI_HTYPE_SPOOL);
  if (!env || !pool || !Err(errhp) || !poolName || !poolNameLen) return OCI_INVALID_HANDLE;
  if (sessMax == 0 || sessMin > sessMax) return FailCode(errhp, 24413);
  pool->path = Bytes(connStr, static_cast<sb4>(connStrLen));
  pool->user = env->In(Bytes(userid, static_cast<sb4>(useridLen)));
  pool->password = env->In(Bytes(password, static_cast<sb4>(passwordLen)));
  // Oracle logs the pool's sessions on at once: wrong credentials fail here.
  try {
    auto conn = Connection::Open(pool->path);
    conn->Logon(ClientName(pool->user), pool->password);
  } catch (const OraError& err) {
    return Fail(errhp, err);
  }
  static std::atomic<unsigned> serial{0};
  pool->name = "OCISQLITE_POOL_" + std::to_string(++serial);
  pool->min = sessMin, pool->max = sessMax, pool->increment = sessIncr;
  pool->created = true;
  *poolName = reinterpret_cast<OraText*>(pool->name.data());
  *poolNameLen = static_cast<ub4>(pool->name.size());
  return OCI_SUCCESS;
}

OCI_API sword OCISessionPoolDestroy(OCISPool* spoolhp, OCIError* errhp, ub4) {
  SessionPool* pool = As<SessionPool>(spoolhp, OCI_HTYPE_SPOOL);
  if (!pool || !Err(errhp)) return OCI_INVALID_HANDLE;
  pool->created = false;
  return OCI_SUCCESS;
}

OCI_API sword OCISessionGet(OCIEnv* envhp, OCIError* errhp, OCISvcCtx** svchp, OCIAuthInfo* authhp, OraText* poolName,
                            ub4 poolName_len, const OraText*, ub4, OraText** retTagInfo, ub4* retTagInfo_len,
                            int* found, ub4 mode) {
  Env* env = As<Env>(envhp, OCI_HTYPE_ENV);
  if (!env || !Err(errhp) || !svchp) return OCI_INVALID_HANDLE;
  if (retTagInfo) *retTagInfo = nullptr;
  if (retTagInfo_len) *retTagInfo_len = 0;
  if (found) *found = 0;
  const std::string name = Bytes(poolName, static_cast<sb4>(poolName_len));
  std::string path = name, user, password;
  SessionPool* pool = nullptr;
  if (mode & OCI_SESSGET_SPOOL) {
    std::lock_guard<std::mutex> lock(g_pools_mutex);
    pool = FindPool(env, name);
    if (!pool) return FailCode(errhp, 24418);
    if (pool->busy >= pool->max) return FailCode(errhp, 24496);
    path = pool->path, user = pool->user, password = pool->password;
  }
  // Credentials of the auth handle, when it has them, over the pool's.
  if (Session* auth = As<Session>(authhp, OCI_HTYPE_AUTHINFO); auth && !auth->user.empty())
    user = auth->user, password = auth->password;
  sword rc = OCI_SUCCESS;
  SvcCtx* svc = LogonOwned(env, errhp, user, password,
                           reinterpret_cast<const OraText*>(path.c_str()),
                           static_cast<sb4>(path.size()), rc);
  if (!svc) return rc;
  if (pool) {
    std::lock_guard<std::mutex> lock(g_pools_mutex);
    ++pool->busy;
    svc->pool = pool;
  }
  *svchp = reinterpret_cast<OCISvcCtx*>(svc);
  return rc;
}

OCI_API sword OCISessionRelease(OCISvcCtx* svchp, OCIError* errhp, OraText*, ub4, ub4) {
  SvcCtx* svc = As<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  if (!svc || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (!svc->logon_owned) return FailCode(errhp, 1012);
  {
    std::lock_guard<std::mutex> lock(g_pools_mutex);
    if (svc->pool && IsHandle(svc->pool, OCI_HTYPE_SPOOL) && svc->pool->busy > 0) --svc->pool->busy;
  }
  // The session's uncommitted work is rolled back as it ends, as a logoff does.
  delete svc->session;
  delete svc->server;
  delete svc;
  return OCI_SUCCESS;
}
