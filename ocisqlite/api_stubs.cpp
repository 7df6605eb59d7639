// Entry points a client may resolve but that this library does not carry out
// (objects, collections, direct path,
// external procedures). Each fails with ORA-03001 on the error handle.
#include "api.h"

using namespace kavo::ocisqlite;

typedef int boolean;
typedef struct OCIAdmin OCIAdmin;
typedef struct ocixmldbparam ocixmldbparam;
typedef sb4 (*OCICallbackLobRead)(void*, const void*, ub4, ub1);
typedef sb4 (*OCICallbackLobWrite)(void*, void*, ub4*, ub1*);

#define LOB_SVC(name, ...) OCI_API sword name(OCISvcCtx*, OCIError* e, ##__VA_ARGS__) { return Unimplemented(e); }
#define ENV_ERR(name, ...) OCI_API sword name(OCIEnv*, OCIError* e, ##__VA_ARGS__) { return Unimplemented(e); }
#define ERR_FIRST(name, ...) OCI_API sword name(OCIError* e, ##__VA_ARGS__) { return Unimplemented(e); }
#define HNDL_ERR(name, ...) OCI_API sword name(void*, OCIError* e, ##__VA_ARGS__) { return Unimplemented(e); }

LOB_SVC(OCILobAppend, OCILobLocator*, OCILobLocator*)
LOB_SVC(OCILobCopy, OCILobLocator*, OCILobLocator*, ub4, ub4, ub4)
LOB_SVC(OCILobDisableBuffering, OCILobLocator*)
LOB_SVC(OCILobEnableBuffering, OCILobLocator*)
LOB_SVC(OCILobErase, OCILobLocator*, ub4*, ub4)
LOB_SVC(OCILobFileClose, OCILobLocator*)
LOB_SVC(OCILobFileCloseAll)
LOB_SVC(OCILobFileExists, OCILobLocator*, boolean*)
ENV_ERR(OCILobFileGetName, const OCILobLocator*, OraText*, ub2*, OraText*, ub2*)
LOB_SVC(OCILobFileIsOpen, OCILobLocator*, boolean*)
LOB_SVC(OCILobFileOpen, OCILobLocator*, ub1)
ENV_ERR(OCILobFileSetName, OCILobLocator**, const OraText*, ub2, const OraText*, ub2)
LOB_SVC(OCILobFlushBuffer, OCILobLocator*, ub4)
OCI_API sword OCILobIsEqual(OCIEnv*, const OCILobLocator* x, const OCILobLocator* y, boolean* is_equal) {
  if (is_equal) *is_equal = x == y;
  return OCI_SUCCESS;
}
LOB_SVC(OCILobLoadFromFile, OCILobLocator*, OCILobLocator*, ub4, ub4, ub4)

ENV_ERR(OCIObjectUnpin, void*)
ENV_ERR(OCIObjectLock, void*)
ENV_ERR(OCIObjectMarkUpdate, void*)
ENV_ERR(OCIObjectUnmark, void*)
ENV_ERR(OCIObjectMarkDelete, void*)
ENV_ERR(OCIObjectFlush, void*)
ENV_ERR(OCIObjectCopy, const OCISvcCtx*, void*, void*, void*, void*, OCIType*, OCIDuration, ub1)
ENV_ERR(OCIObjectGetTypeRef, void*, OCIRef*)
ENV_ERR(OCIObjectGetObjectRef, void*, OCIRef*)
ENV_ERR(OCIObjectGetInd, void*, void**)
ENV_ERR(OCIObjectExists, void*, boolean*)
ENV_ERR(OCIObjectIsLocked, void*, boolean*)
ENV_ERR(OCIObjectIsDirty, void*, boolean*)
ENV_ERR(OCIObjectRefresh, void*)
ENV_ERR(OCIObjectPinTable, const OCISvcCtx*, const OraText*, ub4, const OraText*, ub4, const OCIRef*, OCIDuration, void**)
ENV_ERR(OCIObjectNew, const OCISvcCtx*, OCITypeCode, OCIType*, void*, OCIDuration, boolean, void**)
ENV_ERR(OCIObjectPin, OCIRef*, OCIComplexObject*, OCIPinOpt, OCIDuration, OCILockOpt, void**)
ENV_ERR(OCIObjectFree, void*, ub2)
ENV_ERR(OCITypeByName, const OCISvcCtx*, const OraText*, ub4, const OraText*, ub4, const OraText*, ub4, OCIDuration, OCITypeGetOpt, OCIType**)
ENV_ERR(OCIObjectGetAttr, void*, void*, OCIType*, const OraText**, const ub4*, const ub4, const ub4*, const ub4, OCIInd*, void**, void**, OCIType**)
ENV_ERR(OCIObjectSetAttr, void*, void*, OCIType*, const OraText**, const ub4*, const ub4, const ub4*, const ub4, const OCIInd, const void*, const void*)
OCI_API OraText* OCIStringPtr(OCIEnv*, const OCIString*) { return nullptr; }
OCI_API ub4 OCIStringSize(OCIEnv*, const OCIString*) { return 0; }
ENV_ERR(OCIStringAssignText, const OraText*, ub4, OCIString**)
OCI_API ub1* OCIRawPtr(OCIEnv*, const OCIRaw*) { return nullptr; }
OCI_API ub4 OCIRawSize(OCIEnv*, const OCIRaw*) { return 0; }
ENV_ERR(OCIRawAssignBytes, const ub1*, ub4, OCIRaw**)
ENV_ERR(OCIRefAssign, const OCIRef*, OCIRef**)
OCI_API void OCIRefClear(OCIEnv*, OCIRef*) {}
OCI_API boolean OCIRefIsNull(OCIEnv*, const OCIRef*) { return 1; }
ENV_ERR(OCIRefFromHex, const OCISvcCtx*, const OraText*, ub4, OCIRef**)
OCI_API ub4 OCIRefHexSize(OCIEnv*, const OCIRef*) { return 0; }
ENV_ERR(OCIRefToHex, const OCIRef*, OraText*, ub4*)
ENV_ERR(OCICollSize, const OCIColl*, sb4*)
ENV_ERR(OCICollTrim, sb4, OCIColl*)
OCI_API sb4 OCICollMax(OCIEnv*, const OCIColl*) { return 0; }
ENV_ERR(OCICollGetElem, const OCIColl*, sb4, boolean*, void**, void**)
ENV_ERR(OCICollAssignElem, sb4, const void*, const void*, OCIColl*)
ENV_ERR(OCICollAppend, const void*, const void*, OCIColl*)
ENV_ERR(OCITableDelete, sb4, OCITable*)
ENV_ERR(OCICacheFlush, const OCISvcCtx*, void*, OCIRef* (*)(void*, ub1*), OCIRef**)

// External procedures run inside the server only.
OCI_API sword ociepgoe(OCIExtProcContext*, OCIEnv**, OCISvcCtx**, OCIError**) { return OCI_ERROR; }
OCI_API size_t ociepmsg(OCIExtProcContext*, int, OraText*, size_t) { return 0; }

OCI_API sword OCIDirPathAbort(OCIDirPathCtx*, OCIError* e) { return Unimplemented(e); }
OCI_API sword OCIDirPathFinish(OCIDirPathCtx*, OCIError* e) { return Unimplemented(e); }
OCI_API sword OCIDirPathPrepare(OCIDirPathCtx*, OCISvcCtx*, OCIError* e) { return Unimplemented(e); }
OCI_API sword OCIDirPathColArrayEntrySet(OCIDirPathColArray*, OCIError* e, ub4, ub2, ub1*, ub4, ub1) { return Unimplemented(e); }
OCI_API sword OCIDirPathColArrayToStream(OCIDirPathColArray*, const OCIDirPathCtx*, OCIDirPathStream*, OCIError* e, ub4, ub4) { return Unimplemented(e); }
OCI_API sword OCIDirPathLoadStream(OCIDirPathCtx*, OCIDirPathStream*, OCIError* e) { return Unimplemented(e); }
OCI_API sword OCIDirPathStreamReset(OCIDirPathStream*, OCIError* e) { return Unimplemented(e); }



OCI_API void* OCIXmlDbInitXmlCtx(OCIEnv*, OCISvcCtx*, OCIError* e, ocixmldbparam*, int) {
  Unimplemented(e);
  return nullptr;
}
OCI_API sword OCIDBStartup(OCISvcCtx*, OCIError* e, OCIAdmin*, ub4, ub4) { return Unimplemented(e); }
