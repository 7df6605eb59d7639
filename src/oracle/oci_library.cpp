// The entry points of the client library: the groups, their resolution with
// the flag chain, and the process's library object.
#include "oracle/oci_library.h"

#include "rtl/exceptions.h"
#include "rtl/format.h"

namespace kavo {

namespace {

const char* const kEntryNames[] = {
#define KAVO_OCI_NAME(name) #name,
    KAVO_OCI_ENTRIES(KAVO_OCI_NAME)
#undef KAVO_OCI_NAME
};
static_assert(sizeof(kEntryNames) / sizeof(kEntryNames[0]) == kOCIEntryCount);

constexpr int kUntyped = -1;

// One name of a group; `slot` is its typed entry when the layer calls it.
struct Entry {
  const char* name;
  int slot;
};

#define TYPED(n) Entry{#n, static_cast<int>(OCIEntry::n)}
#define NAMED(n) Entry{n, kUntyped}

const std::vector<Entry> kOci7 = {
    NAMED("orlon"), NAMED("ologof"), TYPED(oerhms), NAMED("oopen"), NAMED("oparse"),
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
    NAMED("OCILobFileSetName"), NAMED("OCILobFlushBuffer"), TYPED(OCILobGetLength),
    NAMED("OCILobIsEqual"), NAMED("OCILobLoadFromFile"), NAMED("OCILobLocatorIsInit"),
    TYPED(OCILobRead), TYPED(OCILobTrim), TYPED(OCILobWrite), TYPED(OCIBreak),
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
    NAMED("OCIDirPathStreamReset"), TYPED(OCILobCreateTemporary),
    TYPED(OCILobFreeTemporary), NAMED("OCILobIsTemporary"), NAMED("OCIDateTimeToText"),
    NAMED("OCIDateTimeFromText"), TYPED(OCIDateTimeGetDate), TYPED(OCIDateTimeGetTime),
    TYPED(OCIDateTimeConstruct), NAMED("OCIDateTimeAssign"),
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
const Entry kEnvNlsCreate = TYPED(OCIEnvNlsCreate);

// Looks a name up only while the group's flag is still True; a missing name
// clears the flag and every later name of the group stays empty.
void* GetProc(const DynamicLibrary& library, bool& flag, const Entry& e) {
  if (!flag) return nullptr;
  void* address = library.Symbol(e.name);
  if (address == nullptr) flag = false;
  return address;
}

}  // namespace

const char* OCIEntryName(OCIEntry entry) { return kEntryNames[static_cast<int>(entry)]; }

TOCILibrary::TOCILibrary() = default;
TOCILibrary::~TOCILibrary() = default;

void TOCILibrary::RaiseNotAvailable(OCIEntry entry) const {
  String name = AsciiToString(OCIEntryName(entry));
  if (!DLLLoaded()) throw Exception(Format(ociRoutineNotLoaded, {name}));
  throw Exception(Format(ociRoutineNotAvailable, {name, OCIDLL}));
}

void* TOCILibrary::OCIEntryPoint(const std::string& name) const {
  auto it = resolved_.find(name);
  return it == resolved_.end() ? nullptr : it->second;
}

void TOCILibrary::ResolveOCIEntryPoints(const DynamicLibrary* library) {
  entries_.fill(nullptr);
  resolved_.clear();
  flags_ = Flags();
  if (library == nullptr) return;

  auto resolve = [&](bool& flag, const Entry& e) {
    void* address = GetProc(*library, flag, e);
    if (address == nullptr) return;
    resolved_[e.name] = address;
    if (e.slot != kUntyped) entries_[static_cast<size_t>(e.slot)] = address;
  };
  auto resolve_group = [&](bool& flag, const std::vector<Entry>& group) {
    for (const Entry& e : group) resolve(flag, e);
  };

  Flags& f = flags_;
  f.OCI70 = true;
  resolve_group(f.OCI70, kOci7);
  f.OCI72 = f.OCI70;
  resolve_group(f.OCI72, kOci72);
  f.OCI73 = f.OCI72;
  resolve_group(f.OCI73, kOci73);

  f.OCI80 = !ForceOCI7;
  f.OCI80Detected = true;
  resolve_group(f.OCI80Detected, kOci8);
  if (!f.OCI80Detected) f.OCI80 = false;

  f.ExtProcDetected = f.OCI80Detected;
  resolve_group(f.ExtProcDetected, kExtProc);

  // Each later generation is usable only when every earlier one is.
  struct Generation {
    bool* detected;
    bool* usable;
    const std::vector<Entry>* names;
  };
  const Generation later[] = {{&f.OCI81Detected, &f.OCI81, &kOci81},
                              {&f.OCI90Detected, &f.OCI90, &kOci90},
                              {&f.OCI92Detected, &f.OCI92, &kOci92},
                              {&f.OCI101Detected, &f.OCI101, &kOci101},
                              {&f.OCI102Detected, &f.OCI102, &kOci102},
                              {&f.OCI111Detected, &f.OCI111, &kOci111}};
  bool previous = f.OCI80Detected;
  for (const Generation& g : later) {
    *g.detected = previous;
    resolve_group(*g.detected, *g.names);
    *g.usable = previous = *g.detected;
  }

  bool any = true;
  resolve(any, kRowidToChar);
  bool nls = true;
  resolve(nls, kEnvNlsCreate);
}

TOCILibrary& OCILibrary() {
  static TOCILibrary library;
  return library;
}

}  // namespace kavo
