// The entry-point table: one pointer per OCI routine, named like the routine,
// filled by name when the client library is loaded (oci_loader.h). A routine
// the library lacks leaves its pointer empty, and the generation flags tell
// which groups are complete. Routines the layer never calls have no typed
// pointer; OCIEntryPoint finds their address by name.
#ifndef KAVO_ORACLE_OCI_ENTRY_POINTS_H_
#define KAVO_ORACLE_OCI_ENTRY_POINTS_H_

#include <string>

#include "oracle/oci_types.h"

namespace kavo {

class DynamicLibrary;

// Generation flags (usable), and what was detected.
extern bool OCI70, OCI72, OCI73, OCI80, OCI81, OCI90, OCI92, OCI101, OCI102, OCI111;
extern bool OCI80Detected, OCI81Detected, OCI90Detected, OCI92Detected, OCI101Detected,
    OCI102Detected, OCI111Detected, ExtProcDetected, MTSDetected;
// Never use the OCI 8 interface even when present.
extern bool ForceOCI7;

extern sword (*OCIInitialize)(ub4 mode, void* ctxp, void* malocfp, void* ralocfp, void* mfreefp);
extern sword (*OCIEnvCreate)(OCIHandle* envhpp, ub4 mode, void* ctxp, void* malocfp,
                             void* ralocfp, void* mfreefp, size_t xtramem_sz, void** usrmempp);
extern sword (*OCIEnvInit)(OCIHandle* envhpp, ub4 mode, size_t xtramem_sz, void** usrmempp);
extern sword (*OCIHandleAlloc)(const void* parenth, OCIHandle* hndlpp, ub4 type,
                               size_t xtramem_sz, void** usrmempp);
extern sword (*OCIHandleFree)(OCIHandle hndlp, ub4 type);
extern sword (*OCIDescriptorAlloc)(const void* parenth, OCIHandle* descpp, ub4 type,
                                   size_t xtramem_sz, void** usrmempp);
extern sword (*OCIDescriptorFree)(OCIHandle descp, ub4 type);
extern sword (*OCIServerAttach)(OCIHandle srvhp, OCIHandle errhp, const OraText* dblink,
                                sb4 dblink_len, ub4 mode);
extern sword (*OCIServerDetach)(OCIHandle srvhp, OCIHandle errhp, ub4 mode);
extern sword (*OCISessionBegin)(OCIHandle svchp, OCIHandle errhp, OCIHandle usrhp, ub4 credt,
                                ub4 mode);
extern sword (*OCISessionEnd)(OCIHandle svchp, OCIHandle errhp, OCIHandle usrhp, ub4 mode);
extern sword (*OCIServerVersion)(OCIHandle hndlp, OCIHandle errhp, OraText* bufp, ub4 bufsz,
                                 ub1 hndltype);
extern sword (*OCIAttrGet)(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                           ub4 attrtype, OCIHandle errhp);
extern sword (*OCIAttrSet)(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size,
                           ub4 attrtype, OCIHandle errhp);
extern sword (*OCITransCommit)(OCIHandle svchp, OCIHandle errhp, ub4 flags);
extern sword (*OCITransRollback)(OCIHandle svchp, OCIHandle errhp, ub4 flags);
extern sword (*OCIBreak)(OCIHandle hndlp, OCIHandle errhp);
extern sword (*OCIErrorGet)(OCIHandle hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep,
                            OraText* bufp, ub4 bufsiz, ub4 type);
extern sword (*OCIStmtPrepare)(OCIHandle stmtp, OCIHandle errhp, const OraText* stmt,
                               ub4 stmt_len, ub4 language, ub4 mode);
extern sword (*OCIStmtPrepare2)(OCIHandle svchp, OCIHandle* stmtp, OCIHandle errhp,
                                const OraText* stmt, ub4 stmt_len, const OraText* key,
                                ub4 key_len, ub4 language, ub4 mode);
extern sword (*OCIStmtRelease)(OCIHandle stmtp, OCIHandle errhp, const OraText* key, ub4 key_len,
                               ub4 mode);
extern sword (*OCIParamGet)(const void* hndlp, ub4 htype, OCIHandle errhp, OCIHandle* parmdpp,
                            ub4 pos);
extern sword (*OCIBindByName)(OCIHandle stmtp, OCIHandle* bindp, OCIHandle errhp,
                              const OraText* placeholder, sb4 placeh_len, void* valuep,
                              sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep,
                              ub4 maxarr_len, ub4* curelep, ub4 mode);
extern sword (*OCIDefineByPos)(OCIHandle stmtp, OCIHandle* defnp, OCIHandle errhp, ub4 position,
                               void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* rlenp,
                               ub2* rcodep, ub4 mode);
extern sword (*OCIDefineDynamic)(OCIHandle defnp, OCIHandle errhp, void* octxp,
                                 OCICallbackDefine ocbfp);
extern sword (*OCIStmtExecute)(OCIHandle svchp, OCIHandle stmtp, OCIHandle errhp, ub4 iters,
                               ub4 rowoff, const void* snap_in, void* snap_out, ub4 mode);
extern sword (*OCIStmtFetch)(OCIHandle stmtp, OCIHandle errhp, ub4 nrows, ub2 orientation,
                             ub4 mode);
extern sword (*OCIStmtFetch2)(OCIHandle stmtp, OCIHandle errhp, ub4 nrows, ub2 orientation,
                              sb4 scroll_offset, ub4 mode);
extern sword (*OCISvcCtxToLda)(OCIHandle svchp, OCIHandle errhp, void* ldap);
extern sword (*OCILdaToSvcCtx)(OCIHandle* svchpp, OCIHandle errhp, void* ldap);
// Not part of any group: looked up on its own, used for ROWID texts when present.
extern sword (*OCIRowidToChar)(OCIHandle rowid_desc, OraText* outbfp, ub2* outbflp,
                               OCIHandle errhp);
// OCI 7.3 first-time initialisation.
extern sword (*opinit)(ub4 mode);

// The address resolved for any routine of the table by its OCI name (also
// those without a typed pointer); null when absent or not loaded.
void* OCIEntryPoint(const std::string& name);

// Fills the table from `library` group by group with the flag chain, and
// clears it (all pointers empty, flags False) when `library` is null.
void ResolveOCIEntryPoints(const DynamicLibrary* library);

}  // namespace kavo

#endif  // KAVO_ORACLE_OCI_ENTRY_POINTS_H_
