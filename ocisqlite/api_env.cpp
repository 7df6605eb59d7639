// Environment, handles, descriptors, attributes and errors.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "api.h"
#include "charset.h"
#include "statement.h"

using namespace kavo::ocisqlite;

namespace {

// Placeholder for descriptors this library hands out but does not support
// (BFILE locators, intervals), so that clients can allocate and free them.
struct Opaque : Handle {
  Opaque(ub4 t, Env* e) : Handle(t, e) {}
};

struct Generic : Handle {
  Generic(ub4 t, Env* e) : Handle(t, e) {}
};

void FreeHandle(Handle* h);

void FreeEnvChildren(Env* env) {
  std::vector<Handle*> victims = HandlesOf(env);
  static const ub4 order[] = {OCI_HTYPE_STMT, OCI_HTYPE_SVCCTX, OCI_HTYPE_SESSION,
                              OCI_HTYPE_SERVER, OCI_HTYPE_ERROR, OCI_DTYPE_ROWID, 0};
  for (ub4 type : order)
    for (Handle*& h : victims)
      if (h && IsHandle(h, 0) && (type == 0 || h->type == type)) {
        if (h->type == OCI_HTYPE_BIND || h->type == OCI_HTYPE_DEFINE || h->type == OCI_DTYPE_PARAM) continue;
        if (h->type == OCI_HTYPE_ERROR && static_cast<ErrorHandle*>(h)->owner) continue;  // freed with its owner
        FreeHandle(h);
        h = nullptr;
      }
}

void FreeHandle(Handle* h) {
  if (h->type == OCI_HTYPE_ENV) {
    FreeEnvChildren(static_cast<Env*>(h));
  } else if (h->type == OCI_HTYPE_SVCCTX) {
    auto* svc = static_cast<SvcCtx*>(h);
    if (svc->logon_owned) {
      if (IsHandle(svc->session, OCI_HTYPE_SESSION)) delete svc->session;
      if (IsHandle(svc->server, OCI_HTYPE_SERVER)) delete svc->server;
    }
  }
  delete h;
}

}  // namespace

namespace kavo::ocisqlite {

sword FailCode(OCIError* e, int code) {
  if (ErrorHandle* h = Err(e)) h->SetCode(code);
  return OCI_ERROR;
}

}  // namespace kavo::ocisqlite

OCI_API sword OCIInitialize(ub4, void*, void* (*)(void*, size_t), void* (*)(void*, void*, size_t),
                            void (*)(void*, void*)) {
  return OCI_SUCCESS;
}

namespace kavo::ocisqlite {

std::string Env::In(std::string_view text) const { return ToStore(text.data(), text.size(), charset); }
std::string Env::Out(std::string_view text) const { return FromStore(text, charset); }

}  // namespace kavo::ocisqlite

OCI_API sword OCIEnvNlsCreate(OCIEnv** envhpp, ub4 mode, void*, void* (*)(void*, size_t),
                              void* (*)(void*, void*, size_t), void (*)(void*, void*),
                              size_t xtramem_sz, void** usrmempp, ub2 charset, ub2 ncharset) {
  if (!envhpp) return OCI_ERROR;
  // As the client asks, else as NLS_LANG says, else US7ASCII; the national
  // set is the client set unless named.
  if (charset == 0) charset = DefaultClientCharSet();
  if (ncharset == 0) ncharset = charset;
  // Statement text in UTF-16 is not read: such an environment is refused
  // rather than misread, as is a set the library cannot convert.
  if (!KnownCharSet(charset) || charset == 0 || !KnownCharSet(ncharset) || UnitBytes(charset) == 2) return OCI_ERROR;
  auto* env = new Env(mode);
  env->charset = charset;
  env->ncharset = ncharset;
  *envhpp = reinterpret_cast<OCIEnv*>(env);
  if (xtramem_sz && usrmempp) *usrmempp = nullptr;  // no user memory is handed out
  return OCI_SUCCESS;
}

OCI_API sword OCIEnvCreate(OCIEnv** envhpp, ub4 mode, void* ctxp, void* (*m)(void*, size_t),
                           void* (*r)(void*, void*, size_t), void (*f)(void*, void*), size_t xtramem_sz,
                           void** usrmempp) {
  return OCIEnvNlsCreate(envhpp, mode, ctxp, m, r, f, xtramem_sz, usrmempp, 0, 0);
}

OCI_API sword OCIEnvInit(OCIEnv** envp, ub4 mode, size_t xtramem_sz, void** usrmempp) {
  return OCIEnvCreate(envp, mode, nullptr, nullptr, nullptr, nullptr, xtramem_sz, usrmempp);
}

OCI_API sword OCIHandleAlloc(const void* parenth, void** hndlpp, ub4 type, size_t, void** usrmempp) {
  Env* env = As<Env>(parenth, OCI_HTYPE_ENV);
  if (!env) return OCI_INVALID_HANDLE;
  if (!hndlpp) return OCI_ERROR;
  if (usrmempp) *usrmempp = nullptr;
  Handle* h = nullptr;
  switch (type) {
    case OCI_HTYPE_ERROR: h = new ErrorHandle(env); break;
    case OCI_HTYPE_SVCCTX: h = new SvcCtx(env); break;
    case OCI_HTYPE_STMT: h = new Stmt(env); break;
    case OCI_HTYPE_SERVER: h = new Server(env); break;
    case OCI_HTYPE_SESSION: h = new Session(env); break;
    case OCI_HTYPE_SPOOL: h = new SessionPool(env); break;
    case OCI_HTYPE_DESCRIBE:
    case OCI_HTYPE_TRANS: h = new Generic(type, env); break;
    default: return OCI_INVALID_HANDLE;
  }
  *hndlpp = h;
  return OCI_SUCCESS;
}

OCI_API sword OCIHandleFree(void* hndlp, ub4 type) {
  Handle* h = As<Handle>(hndlp, type);
  if (!h || type == OCI_HTYPE_BIND || type == OCI_HTYPE_DEFINE) return OCI_INVALID_HANDLE;
  if (type == OCI_HTYPE_ERROR) {
    auto* e = static_cast<ErrorHandle*>(h);
    if (e->owner) {  // a batch error the client frees itself
      auto& list = e->owner->batch_handles;
      list.erase(std::remove(list.begin(), list.end(), e), list.end());
    }
  }
  FreeHandle(h);
  return OCI_SUCCESS;
}

OCI_API sword OCIDescriptorAlloc(const void* parenth, void** descpp, ub4 type, size_t, void** usrmempp) {
  Env* env = As<Env>(parenth, OCI_HTYPE_ENV);
  if (!env) return OCI_INVALID_HANDLE;
  if (!descpp) return OCI_ERROR;
  if (usrmempp) *usrmempp = nullptr;
  if (type == OCI_DTYPE_ROWID) *descpp = new RowidDesc(env);
  else if (type == OCI_DTYPE_DATE || (type >= OCI_DTYPE_TIMESTAMP && type <= OCI_DTYPE_TIMESTAMP_LTZ)) *descpp = new DateTimeDesc(type, env);
  else if (type == OCI_DTYPE_PARAM) return OCI_INVALID_HANDLE;
  else if (type == OCI_DTYPE_LOB) *descpp = new LobDesc(env);
  else if (type > OCI_DTYPE_LOB && type <= 90) *descpp = new Opaque(type, env);
  else return OCI_INVALID_HANDLE;
  return OCI_SUCCESS;
}

OCI_API sword OCIDescriptorFree(void* descp, ub4 type) {
  Handle* h = As<Handle>(descp, type);
  if (!h) return OCI_INVALID_HANDLE;
  if (type == OCI_DTYPE_PARAM) return OCI_SUCCESS;  // freed with its statement
  delete h;
  return OCI_SUCCESS;
}

namespace {

// OCIArrayDescriptorFree is given only the array: its length is remembered here.
std::mutex g_arrays_mutex;
std::map<void**, ub4>& Arrays() {
  static auto* arrays = new std::map<void**, ub4>;
  return *arrays;
}

}  // namespace

OCI_API sword OCIArrayDescriptorAlloc(const void* parenth, void** descpp, const ub4 type,
                                      ub4 array_size, const size_t xtramem_sz, void** usrmempp) {
  if (!descpp) return OCI_ERROR;
  for (ub4 i = 0; i < array_size; ++i) {
    sword rc = OCIDescriptorAlloc(parenth, &descpp[i], type, xtramem_sz, usrmempp);
    if (rc != OCI_SUCCESS) {
      while (i-- > 0) OCIDescriptorFree(descpp[i], type);
      return rc;
    }
  }
  std::lock_guard<std::mutex> lock(g_arrays_mutex);
  Arrays()[descpp] = array_size;
  return OCI_SUCCESS;
}

OCI_API sword OCIArrayDescriptorFree(void** descp, const ub4 type) {
  ub4 count = 0;
  {
    std::lock_guard<std::mutex> lock(g_arrays_mutex);
    auto it = Arrays().find(descp);
    if (it == Arrays().end()) return OCI_INVALID_HANDLE;
    count = it->second;
    Arrays().erase(it);
  }
  for (ub4 i = 0; i < count; ++i)
    if (IsHandle(descp[i], type)) OCIDescriptorFree(descp[i], type);
  return OCI_SUCCESS;
}

OCI_API sword OCIErrorGet(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep, OraText* bufp,
                          ub4 bufsiz, ub4 type) {
  if (type != OCI_HTYPE_ERROR && type != OCI_HTYPE_ENV) return OCI_INVALID_HANDLE;
  if (type == OCI_HTYPE_ENV) return As<Env>(hndlp, OCI_HTYPE_ENV) ? OCI_NO_DATA : OCI_INVALID_HANDLE;
  ErrorHandle* e = As<ErrorHandle>(hndlp, OCI_HTYPE_ERROR);
  if (!e) return OCI_INVALID_HANDLE;
  if (sqlstate) std::memcpy(sqlstate, "HY000", 6);
  if (recordno != 1 || e->code == 0) {
    if (errcodep) *errcodep = 0;
    if (bufp && bufsiz) bufp[0] = 0;
    return OCI_NO_DATA;
  }
  if (errcodep) *errcodep = e->code;
  if (bufp && bufsiz) {
    const std::string text = IsHandle(e->env, OCI_HTYPE_ENV) ? e->env->Out(e->Text()) : e->Text();
    size_t n = std::min<size_t>(text.size(), bufsiz - 1);
    std::memcpy(bufp, text.data(), n);
    bufp[n] = 0;
  }
  return OCI_SUCCESS;
}

namespace {

template <typename T>
void Put(void* attributep, ub4* sizep, T value) {
  std::memcpy(attributep, &value, sizeof(T));
  if (sizep) *sizep = sizeof(T);
}

sword ParamAttr(Param* p, void* attributep, ub4* sizep, ub4 attr, OCIError* errhp) {
  const ColumnDesc& c = p->col;
  switch (attr) {
    case OCI_ATTR_DATA_SIZE: Put<ub2>(attributep, sizep, c.size); break;
    case OCI_ATTR_DATA_TYPE: Put<ub2>(attributep, sizep, c.type); break;
    case OCI_ATTR_NAME:
      *static_cast<const char**>(attributep) = c.name.c_str();
      if (sizep) *sizep = static_cast<ub4>(c.name.size());
      break;
    // sb2 in a select-list describe, as OCI writes it there.
    case OCI_ATTR_PRECISION: Put<sb2>(attributep, sizep, c.precision); break;
    case OCI_ATTR_SCALE: Put<sb1>(attributep, sizep, c.scale); break;
    case OCI_ATTR_IS_NULL: Put<ub1>(attributep, sizep, c.nullable); break;
    case OCI_ATTR_CHAR_SIZE: Put<ub2>(attributep, sizep, c.char_size); break;
    case OCI_ATTR_CHAR_USED: Put<ub1>(attributep, sizep, 0); break;
    case OCI_ATTR_CHARSET_ID: Put<ub2>(attributep, sizep, c.csid); break;
    case OCI_ATTR_CHARSET_FORM: Put<ub1>(attributep, sizep, c.csform); break;
    case OCI_ATTR_FSPRECISION:
    case OCI_ATTR_LFPRECISION: Put<ub1>(attributep, sizep, c.type == SQLT_TIMESTAMP ? static_cast<ub1>(c.scale) : 0); break;
    case OCI_ATTR_TYPE_NAME:
    case OCI_ATTR_SCHEMA_NAME:
      *static_cast<const char**>(attributep) = "";
      if (sizep) *sizep = 0;
      break;
    default: return FailCode(errhp, 24315);
  }
  return OCI_SUCCESS;
}

}  // namespace

namespace {

void PutText(void* attributep, ub4* sizep, const std::string& text) {
  *static_cast<const char**>(attributep) = text.c_str();
  if (sizep) *sizep = static_cast<ub4>(text.size());
}

// Whether a DML statement returns values into binds.
bool IsReturning(const Stmt& s) {
  if (s.kind != Kind::kInsert && s.kind != Kind::kUpdate && s.kind != Kind::kDelete) return false;
  for (const Token& t : s.toks)
    if (t.Is("RETURNING") || t.Is("RETURN")) return true;
  return false;
}

}  // namespace

OCI_API sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                         ub4 attrtype, OCIError* errhp) {
  // A column's parameter may be read as a describe handle, as OCI allows.
  if (trghndltyp == OCI_HTYPE_DESCRIBE && IsHandle(trgthndlp, OCI_DTYPE_PARAM)) trghndltyp = OCI_DTYPE_PARAM;
  Handle* h = As<Handle>(trgthndlp, trghndltyp);
  if (!h) return OCI_INVALID_HANDLE;
  if (!attributep) return FailCode(errhp, 3001);
  switch (trghndltyp) {
    case OCI_DTYPE_PARAM:
      return ParamAttr(static_cast<Param*>(h), attributep, sizep, attrtype, errhp);
    case OCI_HTYPE_STMT: {
      auto* s = static_cast<Stmt*>(h);
      switch (attrtype) {
        case OCI_ATTR_STMT_TYPE: Put<ub2>(attributep, sizep, StatementType(s->kind)); return OCI_SUCCESS;
        case OCI_ATTR_SQLFNCODE: Put<ub2>(attributep, sizep, s->fncode); return OCI_SUCCESS;
        case OCI_ATTR_PARAM_COUNT: Put<ub4>(attributep, sizep, static_cast<ub4>(s->cols.size())); return OCI_SUCCESS;
        case OCI_ATTR_ROW_COUNT: Put<ub4>(attributep, sizep, s->row_count); return OCI_SUCCESS;
        case OCI_ATTR_ROWS_FETCHED: Put<ub4>(attributep, sizep, s->rows_fetched); return OCI_SUCCESS;
        case OCI_ATTR_CURRENT_POSITION: Put<ub4>(attributep, sizep, s->row_count); return OCI_SUCCESS;
        case OCI_ATTR_PREFETCH_ROWS: Put<ub4>(attributep, sizep, s->prefetch_rows); return OCI_SUCCESS;
        case OCI_ATTR_PREFETCH_MEMORY: Put<ub4>(attributep, sizep, s->prefetch_memory); return OCI_SUCCESS;
        case 128:
        case OCI_ATTR_PARSE_ERROR_OFFSET: Put<ub2>(attributep, sizep, static_cast<ub2>(s->parse_error_offset)); return OCI_SUCCESS;
        case OCI_ATTR_ENV: *static_cast<void**>(attributep) = s->env; return OCI_SUCCESS;
        case OCI_ATTR_NUM_DML_ERRORS: Put<ub4>(attributep, sizep, s->dml_errors); return OCI_SUCCESS;
        case OCI_ATTR_STMT_IS_RETURNING: Put<ub1>(attributep, sizep, IsReturning(*s) ? 1 : 0); return OCI_SUCCESS;
        case OCI_ATTR_STATEMENT:
          *static_cast<const char**>(attributep) = s->text.c_str();
          if (sizep) *sizep = static_cast<ub4>(s->text.size());
          return OCI_SUCCESS;
        case OCI_ATTR_ROWID: {
          auto* r = As<RowidDesc>(attributep, OCI_DTYPE_ROWID);
          if (!r) return OCI_INVALID_HANDLE;
          if (!s->has_rowid) return FailCode(errhp, 1410);
          r->parts = s->rowid;
          r->set = true;
          return OCI_SUCCESS;
        }
        default: break;
      }
      break;
    }
    case OCI_HTYPE_SVCCTX: {
      auto* s = static_cast<SvcCtx*>(h);
      if (attrtype == OCI_ATTR_SERVER) { *static_cast<void**>(attributep) = s->server; return OCI_SUCCESS; }
      if (attrtype == OCI_ATTR_SESSION) { *static_cast<void**>(attributep) = s->session; return OCI_SUCCESS; }
      if (attrtype == OCI_ATTR_ENV) { *static_cast<void**>(attributep) = s->env; return OCI_SUCCESS; }
      if (attrtype == OCI_ATTR_STMTCACHESIZE) { Put<ub4>(attributep, sizep, s->cache_size); return OCI_SUCCESS; }
      break;
    }
    case OCI_HTYPE_SERVER: {
      auto* s = static_cast<Server*>(h);
      if (attrtype == OCI_ATTR_SERVER_STATUS) {
        Put<ub4>(attributep, sizep, s->attached ? OCI_SERVER_NORMAL : OCI_SERVER_NOT_CONNECTED);
        return OCI_SUCCESS;
      }
      if (attrtype == OCI_ATTR_ENV) { *static_cast<void**>(attributep) = s->env; return OCI_SUCCESS; }
      // The database's character set; the store's name serves as its service.
      if (attrtype == OCI_ATTR_CHARSET_ID) { Put<ub2>(attributep, sizep, kAL32UTF8); return OCI_SUCCESS; }
      if (attrtype == OCI_ATTR_SERVICENAME || attrtype == OCI_ATTR_EXTERNAL_NAME || attrtype == OCI_ATTR_INTERNAL_NAME) {
        PutText(attributep, sizep, s->path);
        return OCI_SUCCESS;
      }
      break;
    }
    case OCI_HTYPE_SPOOL: {
      // Timeout, get mode, busy and open counts, min, max, increment (308 to 314).
      auto* p = static_cast<SessionPool*>(h);
      switch (attrtype) {
        case 308: case 309: Put<ub4>(attributep, sizep, 0); return OCI_SUCCESS;
        case 310: Put<ub4>(attributep, sizep, p->busy); return OCI_SUCCESS;
        case 311: Put<ub4>(attributep, sizep, std::max(p->busy, p->min)); return OCI_SUCCESS;
        case 312: Put<ub4>(attributep, sizep, p->min); return OCI_SUCCESS;
        case 313: Put<ub4>(attributep, sizep, p->max); return OCI_SUCCESS;
        case 314: Put<ub4>(attributep, sizep, p->increment); return OCI_SUCCESS;
        default: break;
      }
      break;
    }
    case OCI_HTYPE_ERROR:
      // OCI_ATTR_ERROR_IS_RECOVERABLE: no error of this library goes away by retrying.
      if (attrtype == 472) { Put<ub1>(attributep, sizep, 0); return OCI_SUCCESS; }
      if (attrtype == OCI_ATTR_DML_ROW_OFFSET) {
        Put<ub4>(attributep, sizep, static_cast<ErrorHandle*>(h)->row_offset);
        return OCI_SUCCESS;
      }
      break;
    case OCI_HTYPE_ENV: {
      auto* env = static_cast<Env*>(h);
      if (attrtype == OCI_ATTR_ENV_CHARSET_ID) { Put<ub2>(attributep, sizep, env->charset); return OCI_SUCCESS; }
      if (attrtype == OCI_ATTR_ENV_NCHARSET_ID) { Put<ub2>(attributep, sizep, env->ncharset); return OCI_SUCCESS; }
      break;
    }
    case OCI_HTYPE_SESSION: {
      auto* s = static_cast<Session*>(h);
      switch (attrtype) {
        case OCI_ATTR_USERNAME: PutText(attributep, sizep, s->user); return OCI_SUCCESS;
        case OCI_ATTR_MODULE: PutText(attributep, sizep, s->module); return OCI_SUCCESS;
        case OCI_ATTR_ACTION: PutText(attributep, sizep, s->action); return OCI_SUCCESS;
        case OCI_ATTR_CLIENT_INFO: PutText(attributep, sizep, s->client_info); return OCI_SUCCESS;
        case OCI_ATTR_CLIENT_IDENTIFIER: PutText(attributep, sizep, s->client_identifier); return OCI_SUCCESS;
        case OCI_ATTR_DRIVER_NAME: PutText(attributep, sizep, s->driver_name); return OCI_SUCCESS;
        default: break;
      }
      break;
    }
    case OCI_HTYPE_BIND:
    case OCI_HTYPE_DEFINE: {
      const Target& t = trghndltyp == OCI_HTYPE_BIND ? static_cast<Bind*>(h)->t : static_cast<Define*>(h)->t;
      const ub1 form = t.csform;
      const ub2 id = t.csid;
      if (attrtype == OCI_ATTR_CHARSET_FORM) { Put<ub1>(attributep, sizep, form); return OCI_SUCCESS; }
      if (attrtype == OCI_ATTR_CHARSET_ID) { Put<ub2>(attributep, sizep, id); return OCI_SUCCESS; }
      if (attrtype == OCI_ATTR_ROWS_RETURNED && trghndltyp == OCI_HTYPE_BIND) {
        Put<ub4>(attributep, sizep, static_cast<Bind*>(h)->rows_returned);
        return OCI_SUCCESS;
      }
      break;
    }
    default:
      break;
  }
  return FailCode(errhp, 24315);
}

OCI_API sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,
                         OCIError* errhp) {
  Handle* h = As<Handle>(trgthndlp, trghndltyp);
  if (!h) return OCI_INVALID_HANDLE;
  auto ub4_value = [&]() { ub4 v = 0; if (attributep) std::memcpy(&v, attributep, sizeof v); return v; };
  switch (trghndltyp) {
    case OCI_HTYPE_SVCCTX: {
      auto* s = static_cast<SvcCtx*>(h);
      if (attrtype == OCI_ATTR_SERVER) {
        if (!IsHandle(attributep, OCI_HTYPE_SERVER)) return OCI_INVALID_HANDLE;
        s->server = static_cast<Server*>(attributep);
        return OCI_SUCCESS;
      }
      if (attrtype == OCI_ATTR_SESSION) {
        if (!IsHandle(attributep, OCI_HTYPE_SESSION)) return OCI_INVALID_HANDLE;
        s->session = static_cast<Session*>(attributep);
        return OCI_SUCCESS;
      }
      if (attrtype == OCI_ATTR_STMTCACHESIZE) { s->cache_size = ub4_value(); return OCI_SUCCESS; }
      if (attrtype == OCI_ATTR_TRANS) return OCI_SUCCESS;
      break;
    }
    case OCI_HTYPE_SESSION: {
      auto* s = static_cast<Session*>(h);
      std::string v = attributep ? std::string(static_cast<const char*>(attributep), size) : std::string();
      switch (attrtype) {
        case OCI_ATTR_USERNAME: s->user = s->env->In(v); return OCI_SUCCESS;
        case OCI_ATTR_PASSWORD: s->password = s->env->In(v); return OCI_SUCCESS;
        case OCI_ATTR_MODULE: s->module = v; return OCI_SUCCESS;
        case OCI_ATTR_ACTION: s->action = v; return OCI_SUCCESS;
        case OCI_ATTR_CLIENT_INFO: s->client_info = v; return OCI_SUCCESS;
        case OCI_ATTR_CLIENT_IDENTIFIER: s->client_identifier = v; return OCI_SUCCESS;
        case OCI_ATTR_DRIVER_NAME: s->driver_name = v; return OCI_SUCCESS;
        default: break;
      }
      break;
    }
    case OCI_HTYPE_SPOOL:
      // The pool's auth handle, timeouts, get mode, statement cache, session
      // lifetimes: a pool whose sessions are logons of their own needs none.
      return OCI_SUCCESS;
    case OCI_HTYPE_SERVER:
      // The store is named by the attach; a client's name for it changes nothing.
      if (attrtype == OCI_ATTR_EXTERNAL_NAME || attrtype == OCI_ATTR_INTERNAL_NAME) return OCI_SUCCESS;
      break;
    case OCI_HTYPE_STMT: {
      auto* s = static_cast<Stmt*>(h);
      if (attrtype == OCI_ATTR_PREFETCH_ROWS) { s->prefetch_rows = ub4_value(); return OCI_SUCCESS; }
      if (attrtype == OCI_ATTR_PREFETCH_MEMORY) { s->prefetch_memory = ub4_value(); return OCI_SUCCESS; }
      break;
    }
    case OCI_HTYPE_BIND:
    case OCI_HTYPE_DEFINE: {
      Target& t = trghndltyp == OCI_HTYPE_BIND ? static_cast<Bind*>(h)->t : static_cast<Define*>(h)->t;
      if (!attributep) return FailCode(errhp, 3001);
      if (attrtype == OCI_ATTR_CHARSET_FORM) {
        std::memcpy(&t.csform, attributep, 1);
        // The national form takes the environment's national set unless an id is set.
        if (t.csform == SQLCS_NCHAR && t.csid == h->env->charset) t.csid = h->env->ncharset;
        return OCI_SUCCESS;
      }
      if (attrtype == OCI_ATTR_CHARSET_ID) {
        ub2 id;
        std::memcpy(&id, attributep, 2);
        // A set the library cannot convert is refused rather than its text misread.
        if (!KnownCharSet(id)) return FailCode(errhp, 12715);
        t.csid = id ? id : h->env->charset;
        return OCI_SUCCESS;
      }
      if (attrtype == OCI_ATTR_MAXDATA_SIZE) return OCI_SUCCESS;
      // LOB prefetch size and length: a fetched locator holds its whole value anyway.
      if (trghndltyp == OCI_HTYPE_DEFINE && (attrtype == 439 || attrtype == 440)) return OCI_SUCCESS;
      break;
    }
    default:
      break;
  }
  return FailCode(errhp, 24315);
}

OCI_API sword OCIParamGet(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp, ub4 pos) {
  // The errors of an OCI_BATCH_ERRORS execute, by their index from 0.
  if (htype == OCI_HTYPE_ERROR) {
    ErrorHandle* e = As<ErrorHandle>(hndlp, OCI_HTYPE_ERROR);
    if (!e || !parmdpp) return OCI_INVALID_HANDLE;
    if (pos >= e->batch.size()) return FailCode(errhp, 24334);
    auto* h = new ErrorHandle(e->env);
    h->owner = e;
    h->Set(e->batch[pos].second);
    h->row_offset = e->batch[pos].first;
    e->batch_handles.push_back(h);
    *parmdpp = h;
    return OCI_SUCCESS;
  }
  Stmt* s = As<Stmt>(hndlp, OCI_HTYPE_STMT);
  if (!s || htype != OCI_HTYPE_STMT) return OCI_INVALID_HANDLE;
  if (!parmdpp) return FailCode(errhp, 3001);
  if (!s->described) return FailCode(errhp, 24338);
  if (pos < 1 || pos > s->cols.size()) return FailCode(errhp, 24334);
  if (s->params.size() < s->cols.size()) s->params.resize(s->cols.size());
  auto& p = s->params[pos - 1];
  if (!p) {
    p = std::make_unique<Param>(s->env, s->cols[pos - 1]);
    p->col.name = s->env->Out(p->col.name);  // names reach the client in its set
  }
  *parmdpp = p.get();
  return OCI_SUCCESS;
}

OCI_API sword OCIParamSet(void*, ub4, OCIError* errhp, const void*, ub4, ub4) {
  return Unimplemented(errhp);
}
