// The OCI routines the layer calls, with their C signatures, and their list.
//
// Nothing here is defined: the declarations only give each entry point of the
// client library object (oci_library.h) its exact type. Routines the loader
// resolves but the layer never calls have no declaration; the library object
// finds their address by name.
#ifndef KAVO_ORACLE_OCI_ROUTINES_H_
#define KAVO_ORACLE_OCI_ROUTINES_H_

#include <cstddef>

#include "oracle/oci_types.h"

namespace kavo {

// Every routine with a typed entry, in no particular order.
#define KAVO_OCI_ENTRIES(X)                                                                     \
  X(OCIInitialize) X(OCIEnvCreate) X(OCIEnvInit) X(OCIHandleAlloc) X(OCIHandleFree)             \
  X(OCIDescriptorAlloc) X(OCIDescriptorFree) X(OCIServerAttach) X(OCIServerDetach)              \
  X(OCISessionBegin) X(OCISessionEnd) X(OCIServerVersion) X(OCIAttrGet) X(OCIAttrSet)           \
  X(OCITransCommit) X(OCITransRollback) X(OCIBreak) X(OCIErrorGet) X(OCIStmtPrepare)            \
  X(OCIStmtPrepare2) X(OCIStmtRelease) X(OCIParamGet) X(OCIBindByName) X(OCIDefineByPos)        \
  X(OCIDefineDynamic) X(OCIStmtExecute) X(OCIStmtFetch) X(OCIStmtFetch2) X(OCISvcCtxToLda)      \
  X(OCILdaToSvcCtx) X(OCIRowidToChar) X(OCIEnvNlsCreate) X(opinit) X(oerhms)            \
  X(OCIDateTimeConstruct) X(OCIDateTimeGetDate) X(OCIDateTimeGetTime) X(OCILobRead)             \
  X(OCILobWrite) X(OCILobGetLength) X(OCILobTrim) X(OCILobCreateTemporary)                     \
  X(OCILobFreeTemporary)

namespace ocisig {

sword OCIInitialize(ub4 mode, void* ctxp, void* malocfp, void* ralocfp, void* mfreefp);
sword OCIEnvCreate(OCIHandle* envhpp, ub4 mode, void* ctxp, void* malocfp, void* ralocfp,
                   void* mfreefp, size_t xtramem_sz, void** usrmempp);
sword OCIEnvInit(OCIHandle* envhpp, ub4 mode, size_t xtramem_sz, void** usrmempp);
sword OCIHandleAlloc(const void* parenth, OCIHandle* hndlpp, ub4 type, size_t xtramem_sz,
                     void** usrmempp);
sword OCIHandleFree(OCIHandle hndlp, ub4 type);
sword OCIDescriptorAlloc(const void* parenth, OCIHandle* descpp, ub4 type, size_t xtramem_sz,
                         void** usrmempp);
sword OCIDescriptorFree(OCIHandle descp, ub4 type);
sword OCIServerAttach(OCIHandle srvhp, OCIHandle errhp, const OraText* dblink, sb4 dblink_len,
                      ub4 mode);
sword OCIServerDetach(OCIHandle srvhp, OCIHandle errhp, ub4 mode);
sword OCISessionBegin(OCIHandle svchp, OCIHandle errhp, OCIHandle usrhp, ub4 credt, ub4 mode);
sword OCISessionEnd(OCIHandle svchp, OCIHandle errhp, OCIHandle usrhp, ub4 mode);
sword OCIServerVersion(OCIHandle hndlp, OCIHandle errhp, OraText* bufp, ub4 bufsz,
                       ub1 hndltype);
sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                 ub4 attrtype, OCIHandle errhp);
sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,
                 OCIHandle errhp);
sword OCITransCommit(OCIHandle svchp, OCIHandle errhp, ub4 flags);
sword OCITransRollback(OCIHandle svchp, OCIHandle errhp, ub4 flags);
sword OCIBreak(OCIHandle hndlp, OCIHandle errhp);
sword OCIErrorGet(OCIHandle hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep, OraText* bufp,
                  ub4 bufsiz, ub4 type);
sword OCIStmtPrepare(OCIHandle stmtp, OCIHandle errhp, const OraText* stmt, ub4 stmt_len,
                     ub4 language, ub4 mode);
sword OCIStmtPrepare2(OCIHandle svchp, OCIHandle* stmtp, OCIHandle errhp, const OraText* stmt,
                      ub4 stmt_len, const OraText* key, ub4 key_len, ub4 language, ub4 mode);
sword OCIStmtRelease(OCIHandle stmtp, OCIHandle errhp, const OraText* key, ub4 key_len,
                     ub4 mode);
sword OCIParamGet(const void* hndlp, ub4 htype, OCIHandle errhp, OCIHandle* parmdpp, ub4 pos);
sword OCIBindByName(OCIHandle stmtp, OCIHandle* bindp, OCIHandle errhp,
                    const OraText* placeholder, sb4 placeh_len, void* valuep, sb4 value_sz,
                    ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len, ub4* curelep,
                    ub4 mode);
sword OCIDefineByPos(OCIHandle stmtp, OCIHandle* defnp, OCIHandle errhp, ub4 position,
                     void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* rlenp, ub2* rcodep,
                     ub4 mode);
sword OCIDefineDynamic(OCIHandle defnp, OCIHandle errhp, void* octxp, OCICallbackDefine ocbfp);
sword OCIStmtExecute(OCIHandle svchp, OCIHandle stmtp, OCIHandle errhp, ub4 iters, ub4 rowoff,
                     const void* snap_in, void* snap_out, ub4 mode);
sword OCIStmtFetch(OCIHandle stmtp, OCIHandle errhp, ub4 nrows, ub2 orientation, ub4 mode);
sword OCIStmtFetch2(OCIHandle stmtp, OCIHandle errhp, ub4 nrows, ub2 orientation,
                    sb4 scroll_offset, ub4 mode);
sword OCISvcCtxToLda(OCIHandle svchp, OCIHandle errhp, void* ldap);
sword OCILdaToSvcCtx(OCIHandle* svchpp, OCIHandle errhp, void* ldap);
// Not part of any group: looked up on its own; with it every environment is
// made with AL32UTF8 as its client character set, whatever NLS_LANG says.
sword OCIEnvNlsCreate(OCIHandle* envhpp, ub4 mode, void* ctxp, void* malocfp, void* ralocfp,
                      void* mfreefp, size_t xtramem_sz, void** usrmempp, ub2 charset,
                      ub2 ncharset);
// Not part of any group: looked up on its own, used for ROWID texts when present.
sword OCIRowidToChar(OCIHandle rowid_desc, OraText* outbfp, ub2* outbflp, OCIHandle errhp);
// Date-time descriptors (TIMESTAMP columns and variables).
sword OCIDateTimeConstruct(void* hndl, OCIHandle err, OCIHandle datetime, sb2 year, ub1 month,
                           ub1 day, ub1 hour, ub1 min, ub1 sec, ub4 fsec, OraText* timezone,
                           size_t timezone_length);
sword OCIDateTimeGetDate(void* hndl, OCIHandle err, OCIHandle datetime, sb2* year, ub1* month,
                         ub1* day);
sword OCIDateTimeGetTime(void* hndl, OCIHandle err, OCIHandle datetime, ub1* hour, ub1* min,
                         ub1* sec, ub4* fsec);
// LOB locators; amounts and offsets count characters for CLOBs, bytes for BLOBs.
sword OCILobRead(OCIHandle svchp, OCIHandle errhp, OCIHandle locp, ub4* amtp, ub4 offset,
                 void* bufp, ub4 bufl, void* ctxp, void* cbfp, ub2 csid, ub1 csfrm);
sword OCILobWrite(OCIHandle svchp, OCIHandle errhp, OCIHandle locp, ub4* amtp, ub4 offset,
                  void* bufp, ub4 buflen, ub1 piece, void* ctxp, void* cbfp, ub2 csid, ub1 csfrm);
sword OCILobGetLength(OCIHandle svchp, OCIHandle errhp, OCIHandle locp, ub4* lenp);
sword OCILobTrim(OCIHandle svchp, OCIHandle errhp, OCIHandle locp, ub4 newlen);
sword OCILobCreateTemporary(OCIHandle svchp, OCIHandle errhp, OCIHandle locp, ub2 csid,
                            ub1 csfrm, ub1 lobtype, int cache, ub2 duration);
sword OCILobFreeTemporary(OCIHandle svchp, OCIHandle errhp, OCIHandle locp);
// OCI 7.3 first-time initialisation.
sword opinit(ub4 mode);
// OCI 7 message text of an error number.
sword oerhms(void* lda, sb2 rcode, OraText* buf, sword bufsiz);

}  // namespace ocisig

enum class OCIEntry : int {
#define KAVO_OCI_ENUM(name) name,
  KAVO_OCI_ENTRIES(KAVO_OCI_ENUM)
#undef KAVO_OCI_ENUM
      Count
};

constexpr int kOCIEntryCount = static_cast<int>(OCIEntry::Count);

// The routine's exported name.
const char* OCIEntryName(OCIEntry entry);

}  // namespace kavo

#endif  // KAVO_ORACLE_OCI_ROUTINES_H_
