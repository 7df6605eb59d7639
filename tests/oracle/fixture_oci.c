/* A tiny stand-in client library for the loader tests. Which groups of
 * routines it exports is chosen at build time, so one source gives every
 * fixture: none of these routines is ever called except OCIInitialize,
 * which records its mode. */
#define EXPORT __attribute__((visibility("default")))
#define R(name) EXPORT int name(void) { return -1; }

EXPORT int fixture_initialize_calls = 0;
EXPORT unsigned fixture_initialize_mode = 0;
EXPORT int OCIInitialize(unsigned mode) {
  ++fixture_initialize_calls;
  fixture_initialize_mode = mode;
  return 0;
}

#ifdef WITH_OCI7
R(orlon) R(ologof) R(oerhms) R(oopen) R(oparse) R(odefin) R(oexfet) R(ofen) R(oflng) R(oclose)
R(odescr) R(oexec) R(oexn) R(ocom) R(orol) R(ocon) R(ocof) R(obreak) R(obndra) R(odessp)
R(olog) R(opinit)
#endif

#ifdef WITH_OCI8
R(OCIHandleAlloc) R(OCIHandleFree) R(OCIDescriptorAlloc) R(OCIDescriptorFree) R(OCIEnvInit)
R(OCIServerAttach) R(OCIServerDetach) R(OCISessionBegin) R(OCISessionEnd) R(OCILogon)
R(OCILogoff) R(OCIPasswordChange) R(OCIStmtPrepare) R(OCIBindByPos) R(OCIBindByName)
R(OCIBindObject) R(OCIBindDynamic) R(OCIBindArrayOfStruct) R(OCIStmtGetPieceInfo)
R(OCIStmtSetPieceInfo) R(OCIStmtExecute) R(OCIDefineByPos) R(OCIDefineObject)
R(OCIDefineDynamic) R(OCIDefineArrayOfStruct) R(OCIStmtFetch) R(OCIStmtGetBindInfo)
R(OCIDescribeAny) R(OCIParamGet) R(OCIParamSet) R(OCITransStart) R(OCITransDetach)
R(OCITransCommit) R(OCITransRollback) R(OCITransPrepare) R(OCITransForget) R(OCIErrorGet)
R(OCILobAppend) R(OCILobAssign) R(OCILobCharSetForm) R(OCILobCharSetId) R(OCILobCopy)
R(OCILobDisableBuffering) R(OCILobEnableBuffering) R(OCILobErase) R(OCILobFileClose)
R(OCILobFileCloseAll) R(OCILobFileExists) R(OCILobFileGetName) R(OCILobFileIsOpen)
R(OCILobFileOpen) R(OCILobFileSetName) R(OCILobFlushBuffer) R(OCILobGetLength) R(OCILobIsEqual)
R(OCILobLoadFromFile) R(OCILobLocatorIsInit) R(OCILobRead) R(OCILobTrim) R(OCILobWrite)
#ifndef DROP_BREAK
R(OCIBreak)
#endif
R(OCIServerVersion) R(OCIAttrGet) R(OCIAttrSet) R(OCISvcCtxToLda) R(OCILdaToSvcCtx)
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
R(OCIEnvCreate) R(OCIDirPathAbort) R(OCIDirPathFinish) R(OCIDirPathPrepare)
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
