// The library offers every entry point a loader resolves for the OCI 8 to
// 11.1 generations and none of the OCI 7 ones, like a current client.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kavo::test {
namespace {

const char* kOci8[] = {
    "OCIInitialize", "OCIHandleAlloc", "OCIHandleFree", "OCIDescriptorAlloc", "OCIDescriptorFree",
    "OCIEnvInit", "OCIServerAttach", "OCIServerDetach", "OCISessionBegin", "OCISessionEnd", "OCILogon",
    "OCILogoff", "OCIPasswordChange", "OCIStmtPrepare", "OCIBindByPos", "OCIBindByName", "OCIBindObject",
    "OCIBindDynamic", "OCIBindArrayOfStruct", "OCIStmtGetPieceInfo", "OCIStmtSetPieceInfo",
    "OCIStmtExecute", "OCIDefineByPos", "OCIDefineObject", "OCIDefineDynamic", "OCIDefineArrayOfStruct",
    "OCIStmtFetch", "OCIStmtGetBindInfo", "OCIDescribeAny", "OCIParamGet", "OCIParamSet", "OCITransStart",
    "OCITransDetach", "OCITransCommit", "OCITransRollback", "OCITransPrepare", "OCITransForget",
    "OCIErrorGet", "OCILobAppend", "OCILobAssign", "OCILobCharSetForm", "OCILobCharSetId", "OCILobCopy",
    "OCILobDisableBuffering", "OCILobEnableBuffering", "OCILobErase", "OCILobFileClose",
    "OCILobFileCloseAll", "OCILobFileExists", "OCILobFileGetName", "OCILobFileIsOpen", "OCILobFileOpen",
    "OCILobFileSetName", "OCILobFlushBuffer", "OCILobGetLength", "OCILobIsEqual", "OCILobLoadFromFile",
    "OCILobLocatorIsInit", "OCILobRead", "OCILobTrim", "OCILobWrite", "OCIBreak", "OCIServerVersion",
    "OCIAttrGet", "OCIAttrSet", "OCISvcCtxToLda", "OCILdaToSvcCtx", "OCIResultSetToStmt",
    "OCIObjectUnpin", "OCIObjectLock", "OCIObjectMarkUpdate", "OCIObjectUnmark", "OCIObjectMarkDelete",
    "OCIObjectFlush", "OCIObjectCopy", "OCIObjectGetTypeRef", "OCIObjectGetObjectRef", "OCIObjectGetInd",
    "OCIObjectExists", "OCIObjectIsLocked", "OCIObjectIsDirty", "OCIObjectRefresh", "OCIObjectPinTable",
    "OCIObjectNew", "OCIObjectPin", "OCIObjectFree", "OCITypeByName", "OCIObjectGetAttr",
    "OCIObjectSetAttr", "OCIStringPtr", "OCIStringSize", "OCIStringAssignText", "OCINumberFromInt",
    "OCINumberToInt", "OCINumberFromReal", "OCINumberToReal", "OCINumberToText", "OCINumberFromText",
    "OCIRawPtr", "OCIRawSize", "OCIRawAssignBytes", "OCIRefAssign", "OCIRefClear", "OCIRefIsNull",
    "OCIRefFromHex", "OCIRefHexSize", "OCIRefToHex", "OCICollSize", "OCICollTrim", "OCICollMax",
    "OCICollGetElem", "OCICollAssignElem", "OCICollAppend", "OCITableDelete", "OCICacheFlush",
    // external procedures
    "ociepgoe", "ociepmsg",
    // 8.1
    "OCIEnvCreate", "OCIDirPathAbort", "OCIDirPathFinish", "OCIDirPathPrepare",
    "OCIDirPathColArrayEntrySet", "OCIDirPathColArrayToStream", "OCIDirPathLoadStream",
    "OCIDirPathStreamReset", "OCILobCreateTemporary", "OCILobFreeTemporary", "OCILobIsTemporary",
    "OCIDateTimeToText", "OCIDateTimeFromText", "OCIDateTimeGetDate", "OCIDateTimeGetTime",
    "OCIDateTimeConstruct", "OCIDateTimeAssign", "OCIDateTimeGetTimeZoneOffset",
    // 9.0, 9.2, 10.1, 10.2, 11.1
    "OCIStmtFetch2", "OCISessionPoolCreate", "OCISessionPoolDestroy", "OCISessionGet",
    "OCISessionRelease", "OCIStmtPrepare2", "OCIStmtRelease", "OCIXmlDbInitXmlCtx", "OCIDBStartup",
    "OCIArrayDescriptorAlloc"};

const char* kOci7[] = {"orlon", "ologof", "oerhms", "oopen", "oparse", "olog", "opinit"};

TEST(ExportsTest, EveryGenerationFromOci8To111AndNoOci7) {
  void* lib = dlopen(OCISQLITE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  std::vector<std::string> missing;
  for (const char* name : kOci8)
    if (!dlsym(lib, name)) missing.push_back(name);
  EXPECT_TRUE(missing.empty()) << "missing: " << ::testing::PrintToString(missing);
  for (const char* name : kOci7) EXPECT_EQ(dlsym(lib, name), nullptr) << name;
  // Internal names stay hidden; SQLite's own names come from SQLite's library, not this one.
  Dl_info info{};
  void* sqlite = dlsym(lib, "sqlite3_open_v2");
  ASSERT_NE(sqlite, nullptr);
  ASSERT_NE(dladdr(sqlite, &info), 0);
  EXPECT_EQ(std::string(info.dli_fname).find("libclntsh"), std::string::npos) << info.dli_fname;
  EXPECT_EQ(dlsym(lib, "_ZN4kavo9ocisqlite8IsHandleEPKvj"), nullptr);
  dlclose(lib);
}

}  // namespace
}  // namespace kavo::test
