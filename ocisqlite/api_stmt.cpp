// Statements: prepare, bind, define, execute, fetch, ROWID text.
#include <algorithm>
#include <cstring>

#include "api.h"
#include "statement.h"
#include "trace.h"

using namespace kavo::ocisqlite;

namespace {

sword PrepareText(Stmt* s, const OraText* text, ub4 len) {
  for (Bind* b : s->binds) delete b;
  for (Define* d : s->defines) delete d;
  s->binds.clear();
  s->defines.clear();
  s->Reset();
  s->cols.clear();
  s->params.clear();
  s->described = false;
  // The text comes in the client's character set.
  s->text = text ? s->env->In(std::string_view(reinterpret_cast<const char*>(text), len)) : std::string();
  s->lex_error.reset();
  try {
    s->toks = Lex(s->text);
  } catch (const OraError& e) {
    s->lex_error = std::make_unique<OraError>(e);
    s->toks = {Token{}};
  }
  s->kind = s->toks.size() > 1 ? Classify(s->toks, &s->fncode) : Kind::kUnknown;
  s->prepared = true;
  return OCI_SUCCESS;
}

bool HasPlaceholder(const Stmt& s, const std::string& name) {
  for (const Token& t : s.toks)
    if (t.kind == Tok::kBind && t.text == name) return true;
  return false;
}

bool SupportedType(ub2 dty) {
  switch (dty) {
    case SQLT_CHR: case SQLT_INT: case SQLT_FLT: case SQLT_STR: case SQLT_LNG: case SQLT_DAT:
    case SQLT_BIN: case SQLT_LBI: case SQLT_UIN: case SQLT_AFC: case SQLT_AVC: case SQLT_RDD:
    case SQLT_RID: case SQLT_NUM: case SQLT_VNU: case SQLT_BFLOAT: case SQLT_BDOUBLE:
    case SQLT_IBFLOAT: case SQLT_IBDOUBLE: case SQLT_ODT: case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ: case SQLT_TIMESTAMP_LTZ: case SQLT_DATE: case SQLT_LVC: case SQLT_LVB:
    case SQLT_CLOB: case SQLT_BLOB: case SQLT_RSET:
      return true;
    default:
      return false;
  }
}

}  // namespace

OCI_API sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmt_len, ub4, ub4) {
  Stmt* s = As<Stmt>(stmtp, OCI_HTYPE_STMT);
  ErrorHandle* e = Err(errhp);
  if (!s || !e) return OCI_INVALID_HANDLE;
  e->Clear();
  if (!stmt) return Fail(errhp, MakeError(900));
  return PrepareText(s, stmt, stmt_len);
}

OCI_API sword OCIStmtPrepare2(OCISvcCtx* svchp, OCIStmt** stmtp, OCIError* errhp, const OraText* stmt,
                              ub4 stmt_len, const OraText*, ub4, ub4, ub4) {
  SvcCtx* svc = As<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  ErrorHandle* e = Err(errhp);
  if (!svc || !e || !stmtp) return OCI_INVALID_HANDLE;
  e->Clear();
  if (!stmt) return Fail(errhp, MakeError(900));
  auto* s = new Stmt(svc->env);
  s->from_cache = true;
  PrepareText(s, stmt, stmt_len);
  *stmtp = reinterpret_cast<OCIStmt*>(s);
  return OCI_SUCCESS;
}

OCI_API sword OCIStmtRelease(OCIStmt* stmtp, OCIError* errhp, const OraText*, ub4, ub4) {
  Stmt* s = As<Stmt>(stmtp, OCI_HTYPE_STMT);
  if (!s || !Err(errhp)) return OCI_INVALID_HANDLE;
  delete s;
  return OCI_SUCCESS;
}

namespace {

Target MakeTarget(void* valuep, sb4 size, ub2 dty, void* indp, ub2* lenp, ub2* rcodep) {
  Target t;
  t.value = valuep;
  t.size = size;
  t.dty = dty;
  t.ind = indp;
  t.len = lenp;
  t.rcode = rcodep;
  return t;
}

sword DoBind(Stmt* s, OCIBind** bindp, OCIError* errhp, const std::string& name, ub4 position,
             void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep,
             ub4 maxarr_len, ub4* curelep, ub4 mode) {
  if (!SupportedType(dty)) return Fail(errhp, MakeError(3001));
  const bool at_exec = (mode & OCI_DATA_AT_EXEC) != 0;
  if (!valuep && value_sz > 0 && !at_exec) return Fail(errhp, MakeError(1036));
  Bind* b = bindp ? As<Bind>(*bindp, OCI_HTYPE_BIND) : nullptr;
  if (b && b->stmt != s) b = nullptr;
  if (!b)
    for (Bind* x : s->binds)
      if ((!name.empty() && x->name == name) || (name.empty() && x->name.empty() && x->position == position)) b = x;
  if (!b) {
    b = new Bind(s->env, s);
    s->binds.push_back(b);
  }
  b->name = name;
  b->position = position;
  b->t = MakeTarget(valuep, value_sz, dty, indp, alenp, rcodep);
  b->t.csid = s->env->charset;
  b->maxarr = maxarr_len;
  b->curele = curelep;
  b->at_exec = at_exec;
  b->in_cb = nullptr, b->in_ctx = nullptr, b->out_cb = nullptr, b->out_ctx = nullptr;
  b->rows_returned = 0;
  if (bindp) *bindp = reinterpret_cast<OCIBind*>(b);
  return OCI_SUCCESS;
}

}  // namespace

OCI_API sword OCIBindByName(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, const OraText* placeholder,
                            sb4 placeh_len, void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* alenp,
                            ub2* rcodep, ub4 maxarr_len, ub4* curelep, ub4 mode) {
  Stmt* s = As<Stmt>(stmtp, OCI_HTYPE_STMT);
  ErrorHandle* e = Err(errhp);
  if (!s || !e) return OCI_INVALID_HANDLE;
  e->Clear();
  if (!placeholder) return Fail(errhp, MakeError(1036));
  std::string raw = s->env->In(Bytes(placeholder, placeh_len));
  if (!raw.empty() && raw[0] == ':') raw.erase(0, 1);
  std::string name = ClientName(raw);
  if (name.empty() || !HasPlaceholder(*s, name)) return Fail(errhp, MakeError(1036));
  return DoBind(s, bindp, errhp, name, 0, valuep, value_sz, dty, indp, alenp, rcodep, maxarr_len, curelep, mode);
}

OCI_API sword OCIBindByPos(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position, void* valuep,
                           sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len,
                           ub4* curelep, ub4 mode) {
  Stmt* s = As<Stmt>(stmtp, OCI_HTYPE_STMT);
  ErrorHandle* e = Err(errhp);
  if (!s || !e) return OCI_INVALID_HANDLE;
  e->Clear();
  if (position == 0) return Fail(errhp, MakeError(1036));
  return DoBind(s, bindp, errhp, "", position, valuep, value_sz, dty, indp, alenp, rcodep, maxarr_len, curelep, mode);
}

OCI_API sword OCIBindArrayOfStruct(OCIBind* bindp, OCIError* errhp, ub4 pvskip, ub4 indskip, ub4 alskip, ub4 rcskip) {
  Bind* b = As<Bind>(bindp, OCI_HTYPE_BIND);
  if (!b || !Err(errhp)) return OCI_INVALID_HANDLE;
  b->t.value_skip = pvskip, b->t.ind_skip = indskip, b->t.len_skip = alskip, b->t.rcode_skip = rcskip;
  return OCI_SUCCESS;
}

OCI_API sword OCIBindDynamic(OCIBind* bindp, OCIError* errhp, void* ictxp, OCICallbackInBind icbfp, void* octxp,
                             OCICallbackOutBind ocbfp) {
  Bind* b = As<Bind>(bindp, OCI_HTYPE_BIND);
  if (!b || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (!b->at_exec) return Fail(errhp, MakeError(3001));  // only for binds made with OCI_DATA_AT_EXEC
  b->in_cb = icbfp, b->in_ctx = ictxp, b->out_cb = ocbfp, b->out_ctx = octxp;
  return OCI_SUCCESS;
}

OCI_API sword OCIBindObject(OCIBind*, OCIError* errhp, const OCIType*, void**, ub4*, void**, ub4*) {
  return Unimplemented(errhp);
}

OCI_API sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position, void* valuep,
                             sb4 value_sz, ub2 dty, void* indp, ub2* rlenp, ub2* rcodep, ub4 mode) {
  Stmt* s = As<Stmt>(stmtp, OCI_HTYPE_STMT);
  ErrorHandle* e = Err(errhp);
  if (!s || !e) return OCI_INVALID_HANDLE;
  e->Clear();
  if (position == 0 || (s->described && position > s->cols.size())) return Fail(errhp, MakeError(1007));
  if (!SupportedType(dty)) return Fail(errhp, MakeError(3001));
  if (s->defines.size() < position) {
    // Clients define column after column: room for all of them at the first.
    if (s->described) s->defines.reserve(std::max<size_t>(position, s->cols.size()));
    s->defines.resize(position, nullptr);
  }
  Define*& d = s->defines[position - 1];
  if (!d) d = new Define(s->env, s);
  d->position = position;
  d->t = MakeTarget(valuep, value_sz, dty, indp, rlenp, rcodep);
  d->t.csid = s->env->charset;
  d->mode = mode;
  d->cb = nullptr;
  d->cb_ctx = nullptr;
  if (defnp) *defnp = reinterpret_cast<OCIDefine*>(d);
  return OCI_SUCCESS;
}

OCI_API sword OCIDefineDynamic(OCIDefine* defnp, OCIError* errhp, void* octxp, OCICallbackDefine ocbfp) {
  Define* d = As<Define>(defnp, OCI_HTYPE_DEFINE);
  if (!d || !Err(errhp)) return OCI_INVALID_HANDLE;
  d->cb = ocbfp;
  d->cb_ctx = octxp;
  return OCI_SUCCESS;
}

OCI_API sword OCIDefineArrayOfStruct(OCIDefine* defnp, OCIError* errhp, ub4 pvskip, ub4 indskip, ub4 rlskip, ub4 rcskip) {
  Define* d = As<Define>(defnp, OCI_HTYPE_DEFINE);
  if (!d || !Err(errhp)) return OCI_INVALID_HANDLE;
  d->t.value_skip = pvskip, d->t.ind_skip = indskip, d->t.len_skip = rlskip, d->t.rcode_skip = rcskip;
  return OCI_SUCCESS;
}

OCI_API sword OCIDefineObject(OCIDefine*, OCIError* errhp, const OCIType*, void**, ub4*, void**, ub4*) {
  return Unimplemented(errhp);
}

OCI_API sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4 rowoff,
                             const OCISnapshot*, OCISnapshot*, ub4 mode) {
  SvcCtx* svc = As<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Stmt* s = As<Stmt>(stmtp, OCI_HTYPE_STMT);
  ErrorHandle* e = Err(errhp);
  if (!svc || !s || !e) return OCI_INVALID_HANDLE;
  if (svc->session && !IsHandle(svc->session, OCI_HTYPE_SESSION)) return OCI_INVALID_HANDLE;
  if ((mode & OCI_DESCRIBE_ONLY) == 0) TraceRecord(s->text);
  return Execute(*s, *svc, *e, iters, rowoff, mode);
}

OCI_API sword OCIStmtFetch2(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, sb4, ub4) {
  Stmt* s = As<Stmt>(stmtp, OCI_HTYPE_STMT);
  ErrorHandle* e = Err(errhp);
  if (!s || !e) return OCI_INVALID_HANDLE;
  if (orientation != OCI_FETCH_NEXT && orientation != OCI_DEFAULT) return Fail(errhp, MakeError(3001));
  return Fetch(*s, *e, nrows);
}

OCI_API sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, ub4 mode) {
  return OCIStmtFetch2(stmtp, errhp, nrows, orientation, 0, mode);
}

OCI_API sword OCIRowidToChar(OCIRowid* rowidDesc, OraText* outbfp, ub2* outbflp, OCIError* errhp) {
  RowidDesc* r = As<RowidDesc>(rowidDesc, OCI_DTYPE_ROWID);
  if (!r || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (!outbflp || !outbfp) return Fail(errhp, MakeError(3001));
  if (!r->set) return Fail(errhp, MakeError(1410));
  std::string text = RowidText(r->parts);
  if (*outbflp < text.size()) {
    *outbflp = static_cast<ub2>(text.size());
    return Fail(errhp, MakeError(1406));
  }
  std::memcpy(outbfp, text.data(), text.size());
  if (*outbflp > text.size()) outbfp[text.size()] = 0;
  *outbflp = static_cast<ub2>(text.size());
  return OCI_SUCCESS;
}

OCI_API sword OCIStmtGetPieceInfo(OCIStmt*, OCIError* errhp, void**, ub4*, ub1*, ub4*, ub4*, ub1*) {
  return Unimplemented(errhp);
}

OCI_API sword OCIStmtSetPieceInfo(void*, ub4, OCIError* errhp, const void*, ub4*, ub1, const void*, ub2*) {
  return Unimplemented(errhp);
}

OCI_API sword OCIStmtGetBindInfo(OCIStmt* stmtp, OCIError* errhp, ub4 size, ub4 startloc, sb4* found,
                                 OraText* bvnp[], ub1 bvnl[], OraText* invp[], ub1 inpl[], ub1 dupl[],
                                 OCIBind** hndl) {
  Stmt* s = As<Stmt>(stmtp, OCI_HTYPE_STMT);
  if (!s || !Err(errhp)) return OCI_INVALID_HANDLE;
  // Distinct placeholder names in order of appearance.
  std::vector<const Token*> names;
  for (const Token& t : s->toks) {
    if (t.kind != Tok::kBind) continue;
    bool dup = false;
    for (const Token* n : names) dup |= n->text == t.text;
    if (!dup) names.push_back(&t);
  }
  if (found) *found = static_cast<sb4>(names.size());
  if (names.empty()) return OCI_NO_DATA;
  ub4 k = 0;
  for (ub4 i = startloc > 0 ? startloc - 1 : 0; i < names.size() && k < size; ++i, ++k) {
    if (bvnp) bvnp[k] = reinterpret_cast<OraText*>(const_cast<char*>(names[i]->text.c_str()));
    if (bvnl) bvnl[k] = static_cast<ub1>(names[i]->text.size());
    if (invp) invp[k] = nullptr;
    if (inpl) inpl[k] = 0;
    if (dupl) dupl[k] = 0;
    if (hndl) hndl[k] = reinterpret_cast<OCIBind*>(FindBind(*s, names[i]->text, -1));
  }
  return OCI_SUCCESS;
}

OCI_API sword OCIDescribeAny(OCISvcCtx*, OCIError* errhp, void*, ub4, ub1, ub1, ub1, OCIDescribe*) {
  return Unimplemented(errhp);
}

OCI_API sword OCIResultSetToStmt(OCIResult*, OCIError* errhp) { return Unimplemented(errhp); }
