/* A tiny stand-in client library for the loader tests. Which groups of
 * routines it exports is chosen at build time, so one source gives every
 * fixture: none of these routines is ever called except OCIInitialize,
 * which records its mode. */
#define EXPORT __attribute__((visibility("default")))
#define R(name) EXPORT int name(void) { return -1; }
/* Stubs unless the fake server below implements the routine. */
#ifdef WITH_FAKE_SERVER
#define F(name)
#else
#define F(name) R(name)
#endif

EXPORT int fixture_initialize_calls = 0;
EXPORT unsigned fixture_initialize_mode = 0;
EXPORT int OCIInitialize(unsigned mode) {
  ++fixture_initialize_calls;
  fixture_initialize_mode = mode;
  return 0;
}

#ifdef WITH_OCI7
R(orlon) R(ologof) F(oerhms) R(oopen) R(oparse) R(odefin) R(oexfet) R(ofen) R(oflng) R(oclose)
R(odescr) R(oexec) R(oexn) R(ocom) R(orol) R(ocon) R(ocof) R(obreak) R(obndra) R(odessp)
R(olog) R(opinit)
#endif

#ifdef WITH_OCI8
F(OCIHandleAlloc) F(OCIHandleFree) R(OCIDescriptorAlloc) R(OCIDescriptorFree) R(OCIEnvInit)
F(OCIServerAttach) F(OCIServerDetach) F(OCISessionBegin) F(OCISessionEnd) R(OCILogon)
R(OCILogoff) R(OCIPasswordChange) F(OCIStmtPrepare) R(OCIBindByPos) R(OCIBindByName)
R(OCIBindObject) R(OCIBindDynamic) R(OCIBindArrayOfStruct) R(OCIStmtGetPieceInfo)
R(OCIStmtSetPieceInfo) F(OCIStmtExecute) F(OCIDefineByPos) R(OCIDefineObject)
R(OCIDefineDynamic) R(OCIDefineArrayOfStruct) F(OCIStmtFetch) R(OCIStmtGetBindInfo)
R(OCIDescribeAny) F(OCIParamGet) R(OCIParamSet) R(OCITransStart) R(OCITransDetach)
F(OCITransCommit) F(OCITransRollback) R(OCITransPrepare) R(OCITransForget) F(OCIErrorGet)
R(OCILobAppend) R(OCILobAssign) R(OCILobCharSetForm) R(OCILobCharSetId) R(OCILobCopy)
R(OCILobDisableBuffering) R(OCILobEnableBuffering) R(OCILobErase) R(OCILobFileClose)
R(OCILobFileCloseAll) R(OCILobFileExists) R(OCILobFileGetName) R(OCILobFileIsOpen)
R(OCILobFileOpen) R(OCILobFileSetName) R(OCILobFlushBuffer) R(OCILobGetLength) R(OCILobIsEqual)
R(OCILobLoadFromFile) R(OCILobLocatorIsInit) R(OCILobRead) R(OCILobTrim) R(OCILobWrite)
#ifndef DROP_BREAK
R(OCIBreak)
#endif
F(OCIServerVersion) F(OCIAttrGet) F(OCIAttrSet) R(OCISvcCtxToLda) R(OCILdaToSvcCtx)
R(OCIResultSetToStmt) R(OCIObjectUnpin) R(OCIObjectLock) R(OCIObjectMarkUpdate)
R(OCIObjectUnmark) R(OCIObjectMarkDelete) R(OCIObjectFlush) R(OCIObjectCopy)
R(OCIObjectGetTypeRef) R(OCIObjectGetObjectRef) R(OCIObjectGetInd) R(OCIObjectExists)
R(OCIObjectIsLocked) R(OCIObjectIsDirty) R(OCIObjectRefresh) R(OCIObjectPinTable)
R(OCIObjectNew) R(OCIObjectPin) R(OCIObjectFree) R(OCITypeByName) R(OCIObjectGetAttr)
R(OCIObjectSetAttr) R(OCIStringPtr) R(OCIStringSize) R(OCIStringAssignText) R(OCINumberFromInt)
R(OCINumberToInt) R(OCINumberFromReal) R(OCINumberToReal) R(OCINumberToText)
R(OCINumberFromText) R(OCIRawPtr) R(OCIRawSize) R(OCIRawAssignBytes) R(OCIRefAssign)
R(OCIRefClear) R(OCIRefIsNull) R(OCIRefFromHex) R(OCIRefHexSize) R(OCIRefToHex) R(OCICollSize)
R(OCICollTrim) R(OCICollMax) R(OCICollGetElem) R(OCICollAssignElem) R(OCICollAppend)
R(OCITableDelete) R(OCICacheFlush)
#endif

#ifdef WITH_OCI81
R(ociepgoe) R(ociepmsg)
F(OCIEnvCreate) R(OCIDirPathAbort) R(OCIDirPathFinish) R(OCIDirPathPrepare)
R(OCIDirPathColArrayEntrySet) R(OCIDirPathColArrayToStream) R(OCIDirPathLoadStream)
R(OCIDirPathStreamReset) R(OCILobCreateTemporary) R(OCILobFreeTemporary) R(OCILobIsTemporary)
R(OCIDateTimeToText) R(OCIDateTimeFromText) R(OCIDateTimeGetDate) R(OCIDateTimeGetTime)
R(OCIDateTimeConstruct) R(OCIDateTimeAssign) R(OCIDateTimeGetTimeZoneOffset)
#endif

#ifdef WITH_LATER
/* 9.2 and the probes, but no OCIStmtFetch2: the chain stops at 9.0. */
R(OCISessionPoolCreate) R(OCISessionPoolDestroy) R(OCISessionGet) R(OCISessionRelease)
R(OCIStmtPrepare2) R(OCIStmtRelease) R(OCIXmlDbInitXmlCtx) R(OCIDBStartup)
R(OCIArrayDescriptorAlloc)
#endif

#ifdef WITH_FAKE_SERVER
/* A server that can be lost: ending the session and detaching then fail, as
 * they do when the server process went away. The test steers it through the
 * exported variables. */
#include <stdlib.h>
#include <string.h>

EXPORT int fake_lost = 0;
EXPORT int fake_live_handles = 0;
EXPORT unsigned fake_refused_handle_type = 0; /* OCIHandleAlloc refuses it */
EXPORT char fake_banner[200] = "Oracle Database 11g Enterprise Edition Release 11.2.0.4.0 - Production";

/* A column buffer as OCIDefineByPos hands it over. */
struct define {
  char* buf;
  int size;
  short* ind;
  unsigned short* rlen;
};

struct handle {
  unsigned type;
  int code;
  char text[128];
  int fetched;   /* statements: rows handed out since the execute */
  int row_count; /* statements: what the row-count attribute reports */
  struct define defs[2];
};

static int fail(void* err, int code, const char* text) {
  struct handle* e = (struct handle*)err;
  e->code = code;
  strncpy(e->text, text, sizeof e->text - 1);
  return -1;
}

EXPORT int OCIEnvCreate(void** env, unsigned mode) {
  (void)mode;
  *env = calloc(1, sizeof(struct handle));
  ++fake_live_handles;
  return 0;
}
EXPORT int OCIHandleAlloc(const void* parent, void** h, unsigned type) {
  (void)parent;
  if (type == fake_refused_handle_type) {
    *h = 0;
    return -1;
  }
  struct handle* n = (struct handle*)calloc(1, sizeof(struct handle));
  n->type = type;
  *h = n;
  ++fake_live_handles;
  return 0;
}
EXPORT int OCIHandleFree(void* h, unsigned type) {
  (void)type;
  free(h);
  --fake_live_handles;
  return 0;
}
EXPORT int OCIServerAttach(void* srv, void* err) { (void)srv; (void)err; return 0; }
EXPORT int OCIAttrSet(void* h) { (void)h; return 0; }
/* Statements, when fake_query is set: every one is a select of N NUMBER(9)
 * and T VARCHAR2(10) in UTF-16 (set 2000), fake_rows rows of N = 1, 2, ...
 * and T = "ab". A client that lies adds fake_extra_count to the row count
 * each fetch reports and reports fake_text_length bytes for T. */
EXPORT int fake_query = 0;
EXPORT int fake_rows = 0;
EXPORT int fake_extra_count = 0;
EXPORT int fake_text_length = 4;

struct param {
  int text;
};
static struct param fake_params[2] = {{0}, {1}};

EXPORT int OCIStmtPrepare(void* stmt) {
  (void)stmt;
  return fake_query ? 0 : -1;
}
EXPORT int OCIParamGet(const void* stmt, unsigned type, void* err, void** param, unsigned pos) {
  (void)stmt;
  (void)type;
  (void)err;
  if (!fake_query || pos < 1 || pos > 2) return -1;
  *param = &fake_params[pos - 1];
  return 0;
}
static int StatementAttr(struct handle* s, unsigned attr, int* v) {
  switch (attr) {
    case 24: *v = 1; return 0; /* a select */
    case 18: *v = 2; return 0;
    case 9: *v = s->row_count; return 0;
    default: return -1;
  }
}
static int ParamAttr(const struct param* p, unsigned attr, int* v) {
  switch (attr) {
    case 1: *v = p->text ? 20 : 22; return 0;
    case 2: *v = p->text ? 1 : 2; return 0;
    case 5: *v = p->text ? 0 : 9; return 0;
    case 6: *v = 0; return 0;
    case 7: *v = 1; return 0;
    case 31: *v = p->text ? 2000 : 0; return 0;
    case 32: *v = p->text ? 2 : 0; return 0;
    default: return -1;
  }
}
EXPORT int OCIAttrGet(void* h, unsigned type, void* value, unsigned* size, unsigned attr) {
  int v = 0;
  if (!fake_query) return -1;
  if (type == 53 && attr == 4) {
    *(const char**)value = ((struct param*)h)->text ? "T" : "N";
    *size = 1;
    return 0;
  }
  if (type == 4 && StatementAttr((struct handle*)h, attr, &v) != 0) return -1;
  if (type == 53 && ParamAttr((struct param*)h, attr, &v) != 0) return -1;
  if (type != 4 && type != 53) return -1;
  memcpy(value, &v, sizeof v);
  return 0;
}
EXPORT int OCIDefineByPos(void* stmt, void** defnp, void* err, unsigned pos, void* valuep,
                          int value_sz, unsigned short dty, void* indp, unsigned short* rlenp) {
  struct handle* s = (struct handle*)stmt;
  (void)err;
  (void)dty;
  if (!fake_query || pos < 1 || pos > 2) return -1;
  s->defs[pos - 1].buf = (char*)valuep;
  s->defs[pos - 1].size = value_sz;
  s->defs[pos - 1].ind = (short*)indp;
  s->defs[pos - 1].rlen = rlenp;
  *defnp = &s->defs[pos - 1];
  return 0;
}
EXPORT int OCIStmtExecute(void* svc, void* stmt) {
  struct handle* s = (struct handle*)stmt;
  (void)svc;
  if (!fake_query) return -1;
  s->fetched = 0;
  s->row_count = 0;
  return 0;
}
EXPORT int OCIStmtFetch(void* stmt, void* err, unsigned nrows) {
  struct handle* s = (struct handle*)stmt;
  struct define* n = &s->defs[0];
  struct define* t = &s->defs[1];
  unsigned i;
  (void)err;
  if (!fake_query) return -1;
  for (i = 0; i < nrows && s->fetched < fake_rows; ++i) {
    char* text = t->buf + (size_t)i * (size_t)t->size;
    int value = ++s->fetched;
    memcpy(n->buf + (size_t)i * (size_t)n->size, &value, sizeof value);
    n->ind[i] = 0;
    memset(text, 0, (size_t)t->size);
    text[1] = 'a'; /* set 2000: the high byte first */
    text[3] = 'b';
    t->ind[i] = 0;
    t->rlen[i] = (unsigned short)fake_text_length;
  }
  s->row_count += (int)i + fake_extra_count;
  return i < nrows ? 100 : 0;
}
EXPORT int OCITransCommit(void* svc, void* err) {
  (void)svc;
  return fake_lost ? fail(err, 3114, "ORA-03114: not connected to ORACLE\n") : 0;
}
EXPORT int OCITransRollback(void* svc, void* err) { return OCITransCommit(svc, err); }
EXPORT int OCISessionBegin(void* svc, void* err) { (void)svc; (void)err; return 0; }
EXPORT int OCIServerVersion(void* h, void* err, char* buf, unsigned size) {
  (void)h;
  (void)err;
  strncpy(buf, fake_banner, size - 1);
  buf[size - 1] = 0;
  return 0;
}
EXPORT int OCISessionEnd(void* svc, void* err) {
  (void)svc;
  return fake_lost ? fail(err, 3113, "ORA-03113: end-of-file on communication channel\n") : 0;
}
EXPORT int OCIServerDetach(void* srv, void* err) {
  (void)srv;
  return fake_lost ? fail(err, 3114, "ORA-03114: not connected to ORACLE\n") : 0;
}
#ifdef WITH_OCI7
/* The message of an error number, for a zero-filled stand-alone area only. */
#include <stdio.h>
EXPORT int oerhms(const unsigned char* lda, short rcode, char* buf, int bufsiz) {
  int i;
  for (i = 0; i < 64; ++i)
    if (lda[i] != 0) return -1;
  snprintf(buf, (size_t)bufsiz, "ORA-%05d: message of %d (buffer %d)\n", rcode, rcode, bufsiz);
  return 0;
}
#endif
EXPORT int OCIErrorGet(void* err, unsigned rec, char* state, int* code, char* buf, unsigned size) {
  (void)rec;
  (void)state;
  struct handle* e = (struct handle*)err;
  if (e->code == 0) return 100;
  *code = e->code;
  if (buf && size) {
    strncpy(buf, e->text, size - 1);
    buf[size - 1] = 0;
  }
  return 0;
}
#endif
