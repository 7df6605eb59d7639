#include "oracle/oci_entry_points.h"

#include <cstring>
#include <map>
#include <vector>

#include "platform/dynamic_library.h"

namespace kavo {

bool OCI70, OCI72, OCI73, OCI80, OCI81, OCI90, OCI92, OCI101, OCI102, OCI111;
bool OCI80Detected, OCI81Detected, OCI90Detected, OCI92Detected, OCI101Detected, OCI102Detected,
    OCI111Detected, ExtProcDetected, MTSDetected;
bool ForceOCI7 = false;

decltype(OCIInitialize) OCIInitialize;
decltype(OCIEnvCreate) OCIEnvCreate;
decltype(OCIEnvInit) OCIEnvInit;
decltype(OCIHandleAlloc) OCIHandleAlloc;
decltype(OCIHandleFree) OCIHandleFree;
decltype(OCIDescriptorAlloc) OCIDescriptorAlloc;
decltype(OCIDescriptorFree) OCIDescriptorFree;
decltype(OCIServerAttach) OCIServerAttach;
decltype(OCIServerDetach) OCIServerDetach;
decltype(OCISessionBegin) OCISessionBegin;
decltype(OCISessionEnd) OCISessionEnd;
decltype(OCIServerVersion) OCIServerVersion;
decltype(OCIAttrGet) OCIAttrGet;
decltype(OCIAttrSet) OCIAttrSet;
decltype(OCITransCommit) OCITransCommit;
decltype(OCITransRollback) OCITransRollback;
decltype(OCIBreak) OCIBreak;
decltype(OCIErrorGet) OCIErrorGet;
decltype(OCIStmtPrepare) OCIStmtPrepare;
decltype(OCIStmtPrepare2) OCIStmtPrepare2;
decltype(OCIStmtRelease) OCIStmtRelease;
decltype(OCIParamGet) OCIParamGet;
decltype(OCIBindByName) OCIBindByName;
decltype(OCIDefineByPos) OCIDefineByPos;
decltype(OCIDefineDynamic) OCIDefineDynamic;
decltype(OCIStmtExecute) OCIStmtExecute;
decltype(OCIStmtFetch) OCIStmtFetch;
decltype(OCIStmtFetch2) OCIStmtFetch2;
decltype(OCISvcCtxToLda) OCISvcCtxToLda;
decltype(OCILdaToSvcCtx) OCILdaToSvcCtx;
decltype(OCIRowidToChar) OCIRowidToChar;
decltype(opinit) opinit;

namespace {

// One name of a group; `slot` is the typed pointer when the layer calls it.
struct Entry {
  const char* name;
  void* slot;
};

#define TYPED(n) Entry{#n, static_cast<void*>(&n)}
#define NAMED(n) Entry{n, nullptr}

// Every address found, by name, for OCIEntryPoint.
std::map<std::string, void*>& Resolved() {
  static std::map<std::string, void*> m;
  return m;
}

const std::vector<Entry> kOci7 = {
    NAMED("orlon"), NAMED("ologof"), NAMED("oerhms"), NAMED("oopen"), NAMED("oparse"),
    NAMED("odefin"), NAMED("oexfet"), NAMED("ofen"), NAMED("oflng"), NAMED("oclose"),
    NAMED("odescr"), NAMED("oexec"), NAMED("oexn"), NAMED("ocom"), NAMED("orol"),
    NAMED("ocon"), NAMED("ocof"), NAMED("obreak"), NAMED("obndra"), NAMED("odessp")};
const std::vector<Entry> kOci72 = {NAMED("olog")};
const std::vector<Entry> kOci73 = {TYPED(opinit)};

const std::vector<Entry> kOci8 = {
    TYPED(OCIInitialize), TYPED(OCIHandleAlloc), TYPED(OCIHandleFree), TYPED(OCIDescriptorAlloc),
    TYPED(OCIDescriptorFree), TYPED(OCIEnvInit), TYPED(OCIServerAttach), TYPED(OCIServerDetach),
    TYPED(OCISessionBegin), TYPED(OCISessionEnd), NAMED("OCILogon"), NAMED("OCILogoff"),
    NAMED("OCIPasswordChange"), TYPED(OCIStmtPrepare), NAMED("OCIBindByPos"),
    TYPED(OCIBindByName), NAMED("OCIBindObject"), NAMED("OCIBindDynamic"),
    NAMED("OCIBindArrayOfStruct"), NAMED("OCIStmtGetPieceInfo"), NAMED("OCIStmtSetPieceInfo"),
    TYPED(OCIStmtExecute), TYPED(OCIDefineByPos), NAMED("OCIDefineObject"),
    TYPED(OCIDefineDynamic), NAMED("OCIDefineArrayOfStruct"), TYPED(OCIStmtFetch),
    NAMED("OCIStmtGetBindInfo"), NAMED("OCIDescribeAny"), TYPED(OCIParamGet),
    NAMED("OCIParamSet"), NAMED("OCITransStart"), NAMED("OCITransDetach"),
    TYPED(OCITransCommit), TYPED(OCITransRollback), NAMED("OCITransPrepare"),
    NAMED("OCITransForget"), TYPED(OCIErrorGet), NAMED("OCILobAppend"), NAMED("OCILobAssign"),
    NAMED("OCILobCharSetForm"), NAMED("OCILobCharSetId"), NAMED("OCILobCopy"),
    NAMED("OCILobDisableBuffering"), NAMED("OCILobEnableBuffering"), NAMED("OCILobErase"),
    NAMED("OCILobFileClose"), NAMED("OCILobFileCloseAll"), NAMED("OCILobFileExists"),
    NAMED("OCILobFileGetName"), NAMED("OCILobFileIsOpen"), NAMED("OCILobFileOpen"),
    NAMED("OCILobFileSetName"), NAMED("OCILobFlushBuffer"), NAMED("OCILobGetLength"),
    NAMED("OCILobIsEqual"), NAMED("OCILobLoadFromFile"), NAMED("OCILobLocatorIsInit"),
    NAMED("OCILobRead"), NAMED("OCILobTrim"), NAMED("OCILobWrite"), TYPED(OCIBreak),
    TYPED(OCIServerVersion), TYPED(OCIAttrGet), TYPED(OCIAttrSet), TYPED(OCISvcCtxToLda),
    TYPED(OCILdaToSvcCtx), NAMED("OCIResultSetToStmt"), NAMED("OCIObjectUnpin"),
    NAMED("OCIObjectLock"), NAMED("OCIObjectMarkUpdate"), NAMED("OCIObjectUnmark"),
    NAMED("OCIObjectMarkDelete"), NAMED("OCIObjectFlush"), NAMED("OCIObjectCopy"),
    NAMED("OCIObjectGetTypeRef"), NAMED("OCIObjectGetObjectRef"), NAMED("OCIObjectGetInd"),
    NAMED("OCIObjectExists"), NAMED("OCIObjectIsLocked"), NAMED("OCIObjectIsDirty"),
    NAMED("OCIObjectRefresh"), NAMED("OCIObjectPinTable"), NAMED("OCIObjectNew"),
    NAMED("OCIObjectPin"), NAMED("OCIObjectFree"), NAMED("OCITypeByName"),
    NAMED("OCIObjectGetAttr"), NAMED("OCIObjectSetAttr"), NAMED("OCIStringPtr"),
    NAMED("OCIStringSize"), NAMED("OCIStringAssignText"), NAMED("OCINumberFromInt"),
    NAMED("OCINumberToInt"), NAMED("OCINumberFromReal"), NAMED("OCINumberToReal"),
    NAMED("OCINumberToText"), NAMED("OCINumberFromText"), NAMED("OCIRawPtr"),
    NAMED("OCIRawSize"), NAMED("OCIRawAssignBytes"), NAMED("OCIRefAssign"),
    NAMED("OCIRefClear"), NAMED("OCIRefIsNull"), NAMED("OCIRefFromHex"), NAMED("OCIRefHexSize"),
    NAMED("OCIRefToHex"), NAMED("OCICollSize"), NAMED("OCICollTrim"), NAMED("OCICollMax"),
    NAMED("OCICollGetElem"), NAMED("OCICollAssignElem"), NAMED("OCICollAppend"),
    NAMED("OCITableDelete"), NAMED("OCICacheFlush")};
const std::vector<Entry> kExtProc = {NAMED("ociepgoe"), NAMED("ociepmsg")};
const std::vector<Entry> kOci81 = {
    TYPED(OCIEnvCreate), NAMED("OCIDirPathAbort"), NAMED("OCIDirPathFinish"),
    NAMED("OCIDirPathPrepare"), NAMED("OCIDirPathColArrayEntrySet"),
    NAMED("OCIDirPathColArrayToStream"), NAMED("OCIDirPathLoadStream"),
    NAMED("OCIDirPathStreamReset"), NAMED("OCILobCreateTemporary"),
    NAMED("OCILobFreeTemporary"), NAMED("OCILobIsTemporary"), NAMED("OCIDateTimeToText"),
    NAMED("OCIDateTimeFromText"), NAMED("OCIDateTimeGetDate"), NAMED("OCIDateTimeGetTime"),
    NAMED("OCIDateTimeConstruct"), NAMED("OCIDateTimeAssign"),
    NAMED("OCIDateTimeGetTimeZoneOffset")};
const std::vector<Entry> kOci90 = {TYPED(OCIStmtFetch2)};
const std::vector<Entry> kOci92 = {NAMED("OCISessionPoolCreate"), NAMED("OCISessionPoolDestroy"),
                                   NAMED("OCISessionGet"), NAMED("OCISessionRelease"),
                                   TYPED(OCIStmtPrepare2), TYPED(OCIStmtRelease)};
// Probes: looked up to detect the generation, the address is not kept.
const std::vector<Entry> kOci101 = {NAMED("OCIXmlDbInitXmlCtx")};
const std::vector<Entry> kOci102 = {NAMED("OCIDBStartup")};
const std::vector<Entry> kOci111 = {NAMED("OCIArrayDescriptorAlloc")};
// Outside every group: its absence disables nothing.
const Entry kRowidToChar = TYPED(OCIRowidToChar);

void Store(const Entry& e, void* address) {
  if (e.slot != nullptr) std::memcpy(e.slot, &address, sizeof address);
}

// Looks a name up only while the group's flag is still True; a missing name
// clears the flag and every later name of the group stays empty.
void GetProc(const DynamicLibrary* library, bool& flag, const Entry& e) {
  void* address = nullptr;
  if (flag && library != nullptr) {
    address = library->Symbol(e.name);
    if (address == nullptr) flag = false;
  }
  Store(e, address);
  if (address != nullptr) Resolved()[e.name] = address;
}

void ResolveGroup(const DynamicLibrary* library, bool& flag, const std::vector<Entry>& group) {
  for (const Entry& e : group) GetProc(library, flag, e);
}

// A plain array: the process-end shutdown still walks it.
const std::vector<Entry>* const kAllGroups[] = {&kOci7,  &kOci72,  &kOci73,  &kOci8,
                                                &kExtProc, &kOci81, &kOci90, &kOci92,
                                                &kOci101, &kOci102, &kOci111};

}  // namespace

void* OCIEntryPoint(const std::string& name) {
  auto it = Resolved().find(name);
  return it == Resolved().end() ? nullptr : it->second;
}

void ResolveOCIEntryPoints(const DynamicLibrary* library) {
  Resolved().clear();
  if (library == nullptr) {
    for (const auto* group : kAllGroups)
      for (const Entry& e : *group) Store(e, nullptr);
    Store(kRowidToChar, nullptr);
    OCI70 = OCI72 = OCI73 = OCI80 = OCI81 = OCI90 = OCI92 = OCI101 = OCI102 = OCI111 = false;
    OCI80Detected = OCI81Detected = OCI90Detected = OCI92Detected = OCI101Detected =
        OCI102Detected = OCI111Detected = ExtProcDetected = MTSDetected = false;
    return;
  }
  OCI70 = true;
  ResolveGroup(library, OCI70, kOci7);
  OCI72 = OCI70;
  ResolveGroup(library, OCI72, kOci72);
  OCI73 = OCI72;
  ResolveGroup(library, OCI73, kOci73);

  OCI80 = !ForceOCI7;
  OCI80Detected = true;
  ResolveGroup(library, OCI80Detected, kOci8);
  if (!OCI80Detected) OCI80 = false;

  ExtProcDetected = OCI80Detected;
  ResolveGroup(library, ExtProcDetected, kExtProc);

  // Each later generation is usable only when every earlier one is.
  struct Generation {
    bool* detected;
    bool* usable;
    const std::vector<Entry>* names;
  };
  const Generation later[] = {{&OCI81Detected, &OCI81, &kOci81}, {&OCI90Detected, &OCI90, &kOci90},
                              {&OCI92Detected, &OCI92, &kOci92}, {&OCI101Detected, &OCI101, &kOci101},
                              {&OCI102Detected, &OCI102, &kOci102}, {&OCI111Detected, &OCI111, &kOci111}};
  bool previous = OCI80Detected;
  for (const Generation& g : later) {
    *g.detected = previous;
    ResolveGroup(library, *g.detected, *g.names);
    *g.usable = previous = *g.detected;
  }

  bool any = true;
  GetProc(library, any, kRowidToChar);
}

}  // namespace kavo
