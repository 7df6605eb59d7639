#include "ib/ib_intf.h"

#include <cerrno>
#include <cmath>
#include <mutex>

#include "ib/ib_errors.h"
#include "rtl/exceptions.h"
#include "rtl/format.h"

namespace kavo {

namespace {

const char* const kEntryNames[] = {
#define KAVO_IB_NAME(name) #name,
    KAVO_IB_ENTRIES(KAVO_IB_NAME)
#undef KAVO_IB_NAME
};
static_assert(sizeof(kEntryNames) / sizeof(kEntryNames[0]) == kIBEntryCount);

const Char* const kIB70Message =
    u"%s is an InterBase 7.0 function. Please upgrade to InterBase 7.0 to use this functonality";
const Char* const kIB71Message =
    u"%s is an InterBase 7.1 function. Please upgrade to InterBase 7.1 to use this functonality";
const Char* const kIB2007Message =
    u"%s is an InterBase 2007 function. Please upgrade to InterBase 2007 to use this "
    u"functonality";
const Char* const kUnresolvedMessage = u"%s was not resolved in the client library %s";

using E = IBEntry;

}  // namespace

const char* IBEntryName(IBEntry entry) { return kEntryNames[static_cast<int>(entry)]; }

TIBServerLibrary::TIBServerLibrary() = default;
TIBServerLibrary::~TIBServerLibrary() = default;

void TIBServerLibrary::ResolveRequired(DynamicLibrary& lib, std::initializer_list<IBEntry> list) {
  for (IBEntry e : list) {
    Entry& entry = entries_[static_cast<int>(e)];
    void* address = lib.Symbol(IBEntryName(e));
    if (address == nullptr) RaiseLastOSError(DynamicLibrary::MissingSymbolError());
    entry.address = address;
    entry.state = EntryState::Resolved;
    entry.message.clear();
  }
}

bool TIBServerLibrary::ResolveOptional(IBEntry e) {
  void* address = library_.Symbol(IBEntryName(e));
  if (address == nullptr) return false;
  Entry& entry = entries_[static_cast<int>(e)];
  entry.address = address;
  entry.state = EntryState::Resolved;
  return true;
}

void TIBServerLibrary::MarkUnavailable(std::initializer_list<IBEntry> list,
                                       const String& message_format) {
  for (IBEntry e : list) {
    Entry& entry = entries_[static_cast<int>(e)];
    entry.address = nullptr;
    entry.state = EntryState::Unavailable;
    entry.message = Format(message_format, {AsciiToString(IBEntryName(e))});
  }
}

void TIBServerLibrary::ResolveByClientVersion() {
  const std::initializer_list<IBEntry> ib70 = {
      E::isc_array_gen_sdl2,   E::isc_array_get_slice2,   E::isc_array_lookup_bounds2,
      E::isc_array_lookup_desc2, E::isc_array_set_desc2,  E::isc_array_put_slice2,
      E::isc_blob_default_desc2, E::isc_blob_gen_bpb2,    E::isc_blob_lookup_desc2,
      E::isc_blob_set_desc2};
  const std::initializer_list<IBEntry> ib71 = {E::isc_release_savepoint, E::isc_rollback_savepoint,
                                               E::isc_start_savepoint};
  const std::initializer_list<IBEntry> ib2007 = {E::isc_dsql_batch_execute_immed,
                                                 E::isc_dsql_batch_execute};
  if (client_version_ >= 7.0) {
    ResolveRequired(library_, ib70);
    if (client_version_ >= 7.1)
      ResolveRequired(library_, ib71);
    else
      MarkUnavailable(ib71, kIB71Message);
    if (client_version_ >= 8.0)
      ResolveRequired(library_, ib2007);
    else
      MarkUnavailable(ib2007, kIB2007Message);
  } else {
    MarkUnavailable(ib70, kIB70Message);
    MarkUnavailable(ib71, kIB71Message);
    MarkUnavailable(ib2007, kIB2007Message);
  }
}

void TIBServerLibrary::LoadIBLibrary() {
  if (!library_.Open(LibraryName())) {
    for (const std::string& name : AlternativeLibraryNames())
      if (library_.Open(name)) break;
    if (!library_.IsOpen()) return;
  }
  ++load_count_;
  firebird_ = library_.Symbol("fb_interpret") != nullptr;
  ResolveRequired(
      library_,
      {E::BLOB_get, E::BLOB_put, E::isc_sqlcode, E::isc_sql_interprete, E::isc_interprete,
       E::isc_vax_integer, E::isc_blob_info, E::isc_open_blob2, E::isc_close_blob,
       E::isc_get_segment, E::isc_put_segment, E::isc_create_blob2, E::isc_cancel_blob,
       E::isc_array_gen_sdl, E::isc_array_get_slice, E::isc_array_lookup_bounds,
       E::isc_array_lookup_desc, E::isc_array_set_desc, E::isc_array_put_slice,
       E::isc_blob_default_desc, E::isc_blob_gen_bpb, E::isc_blob_lookup_desc,
       E::isc_blob_set_desc, E::isc_decode_date, E::isc_encode_date, E::isc_dsql_free_statement,
       E::isc_dsql_execute2, E::isc_dsql_execute, E::isc_dsql_set_cursor_name, E::isc_dsql_fetch,
       E::isc_dsql_sql_info, E::isc_dsql_alloc_statement2, E::isc_dsql_prepare,
       E::isc_dsql_describe_bind, E::isc_dsql_describe, E::isc_dsql_execute_immediate,
       E::isc_drop_database, E::isc_detach_database, E::isc_attach_database,
       E::isc_database_info, E::isc_start_multiple, E::isc_commit_transaction,
       E::isc_commit_retaining, E::isc_rollback_transaction, E::isc_cancel_events,
       E::isc_que_events, E::isc_event_counts, E::isc_event_block, E::isc_free, E::isc_add_user,
       E::isc_delete_user, E::isc_modify_user, E::isc_prepare_transaction,
       E::isc_prepare_transaction2, E::isc_transaction_info});

  const std::initializer_list<IBEntry> ib6 = {
      E::isc_service_attach,  E::isc_service_detach,   E::isc_service_query,
      E::isc_service_start,   E::isc_decode_sql_date,  E::isc_decode_sql_time,
      E::isc_decode_timestamp, E::isc_encode_sql_date, E::isc_encode_sql_time,
      E::isc_encode_timestamp};
  if (ResolveOptional(E::isc_rollback_retaining)) {
    client_version_ = 6.0;
    ResolveRequired(library_, ib6);
  } else {
    client_version_ = 5.0;
    MarkUnavailable({E::isc_rollback_retaining}, IBErrorMessage(ibceIB60feature));
    MarkUnavailable(ib6, IBErrorMessage(ibceIB60feature));
  }

  if (ResolveOptional(E::isc_get_client_version)) {
    ResolveRequired(library_, {E::isc_get_client_major_version, E::isc_get_client_minor_version});
    double major = isc_get_client_major_version();
    double minor = isc_get_client_minor_version();
    client_version_ = std::round((major + minor / 10.0) * 10000.0) / 10000.0;
  } else {
    MarkUnavailable({E::isc_get_client_version, E::isc_get_client_major_version,
                     E::isc_get_client_minor_version},
                    kIB70Message);
  }

  ResolveByClientVersion();

  if (!ResolveOptional(E::isc_reconnect_transaction))
    MarkUnavailable({E::isc_reconnect_transaction},
                    u"%s is not available: the client library does not export it");

  const std::initializer_list<IBEntry> xml = {E::isc_dsql_xml_fetch, E::isc_dsql_xml_fetch_all,
                                              E::isc_dsql_xml_buffer_fetch};
  if (xml_library_.Open(kIBXMLLibraryName))
    ResolveRequired(xml_library_, xml);
  else
    MarkUnavailable(xml, u"%s is not available: the XML library is not installed");
}

void TIBServerLibrary::FreeIBLibrary() {
  library_.Close();
  xml_library_.Close();
  // Their code is gone: every entry is refused until the next load.
  entries_.fill(Entry{});
}

bool TIBServerLibrary::TryIBLoad() {
  if (!library_.IsOpen()) LoadIBLibrary();
  return library_.IsOpen();
}

void TIBServerLibrary::CheckIBLoaded() {
  if (!TryIBLoad()) IBError(ibceInterBaseMissing, {AsciiToString(LibraryName())});
}

double TIBServerLibrary::GetIBClientVersion() {
  CheckIBLoaded();
  return client_version_;
}

void* TIBServerLibrary::EntryAddress(IBEntry e) const {
  const Entry& entry = entries_[static_cast<int>(e)];
  switch (entry.state) {
    case EntryState::Resolved:
      return entry.address;
    case EntryState::Unavailable:
      throw EIBClientError(0, entry.message);
    case EntryState::Unresolved:
      break;
  }
  throw EIBClientError(0, Format(kUnresolvedMessage, {AsciiToString(IBEntryName(e)),
                                                      AsciiToString(LibraryName())}));
}

// --- registry ----------------------------------------------------------------

namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::pair<String, IGDSLibraryPtr>> entries;
};

Registry& TheRegistry() {
  static Registry* registry = [] {
    auto* r = new Registry;  // lives until the process ends
    r->entries.emplace_back(u"IBServer", std::make_shared<TIBServerLibrary>());
    r->entries.emplace_back(u"IBEmbedded", std::make_shared<TIBEmbeddedLibrary>());
    return r;
  }();
  return *registry;
}

}  // namespace

void AddIBInterface(const String& name, IGDSLibraryPtr library) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.entries.emplace_back(name, std::move(library));
}

IGDSLibraryPtr GetGDSLibrary(String& name) {
  Registry& r = TheRegistry();
  String names;
  {
    std::lock_guard lock(r.mutex);
    for (auto& [registered, library] : r.entries) {
      if (SameText(registered, name)) {
        name = registered;
        return library;
      }
    }
    for (auto& entry : r.entries) {
      if (!names.empty()) names += u" ";
      names += entry.first;
    }
  }
  IBError(ibceInvalidLibraryType, {names});
}

ISC_STATUS* StatusVector() {
  thread_local ISC_STATUS_ARRAY status = {};
  return status;
}

}  // namespace kavo
