// The client-library binding: the registry of server types and the library
// objects through which every call reaches the Firebird/InterBase client.
//
// The library is loaded at run time by file name and each entry point is
// resolved by name. Entry points that a client lacks by its generation are
// "unavailable": calling them raises EIBClientError with a message that names
// the InterBase version needed. An entry that was left unresolved because an
// earlier required one was missing is refused the same way, so no call ever
// goes through a null pointer.
#ifndef KAVO_IB_IB_INTF_H_
#define KAVO_IB_IB_INTF_H_

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ib/ib_header.h"
#include "platform/dynamic_library.h"
#include "rtl/ustring.h"

namespace kavo {

// Every entry point, in the interface's slot order; isc_array_gen_sdl is
// resolved but has no slot of its own in the client interface object.
// isc_reconnect_transaction comes last: two-phase recovery needs it, and a
// client without it only loses that.
#define KAVO_IB_ENTRIES(X)                                                                     \
  X(isc_attach_database) X(isc_array_gen_sdl2) X(isc_array_get_slice) X(isc_array_get_slice2) \
  X(isc_array_lookup_bounds) X(isc_array_lookup_bounds2) X(isc_array_lookup_desc)             \
  X(isc_array_lookup_desc2) X(isc_array_set_desc) X(isc_array_set_desc2)                      \
  X(isc_array_put_slice) X(isc_array_put_slice2) X(isc_blob_default_desc)                     \
  X(isc_blob_default_desc2) X(isc_blob_gen_bpb) X(isc_blob_gen_bpb2) X(isc_blob_info)         \
  X(isc_blob_lookup_desc) X(isc_blob_lookup_desc2) X(isc_blob_set_desc) X(isc_blob_set_desc2) \
  X(isc_cancel_blob) X(isc_cancel_events) X(isc_close_blob) X(isc_commit_retaining)           \
  X(isc_commit_transaction) X(isc_create_blob2) X(isc_database_info) X(isc_decode_date)       \
  X(isc_decode_sql_date) X(isc_decode_sql_time) X(isc_decode_timestamp)                       \
  X(isc_detach_database) X(isc_drop_database) X(isc_dsql_alloc_statement2)                    \
  X(isc_dsql_describe) X(isc_dsql_describe_bind) X(isc_dsql_execute) X(isc_dsql_execute2)     \
  X(isc_dsql_execute_immediate) X(isc_dsql_fetch) X(isc_dsql_free_statement)                  \
  X(isc_dsql_prepare) X(isc_dsql_set_cursor_name) X(isc_dsql_sql_info) X(isc_encode_date)     \
  X(isc_encode_sql_date) X(isc_encode_sql_time) X(isc_encode_timestamp) X(isc_event_block)    \
  X(isc_event_counts) X(isc_free) X(isc_get_segment) X(isc_interprete) X(isc_open_blob2)      \
  X(isc_prepare_transaction2) X(isc_put_segment) X(isc_que_events) X(isc_release_savepoint)   \
  X(isc_rollback_retaining) X(isc_rollback_savepoint) X(isc_rollback_transaction)             \
  X(isc_start_multiple) X(isc_start_savepoint) X(isc_sqlcode) X(isc_sql_interprete)           \
  X(isc_vax_integer) X(isc_dsql_batch_execute_immed) X(isc_dsql_batch_execute)                \
  X(isc_add_user) X(isc_delete_user) X(isc_modify_user) X(isc_prepare_transaction)            \
  X(BLOB_put) X(BLOB_get) X(isc_service_attach) X(isc_service_detach) X(isc_service_query)    \
  X(isc_service_start) X(isc_get_client_version) X(isc_get_client_major_version)              \
  X(isc_get_client_minor_version) X(isc_transaction_info) X(isc_array_gen_sdl)                \
  X(isc_dsql_xml_fetch) X(isc_dsql_xml_fetch_all) X(isc_dsql_xml_buffer_fetch)                \
  X(isc_reconnect_transaction)

enum class IBEntry : int {
#define KAVO_IB_ENUM(name) name,
  KAVO_IB_ENTRIES(KAVO_IB_ENUM)
#undef KAVO_IB_ENUM
  Count
};

constexpr int kIBEntryCount = static_cast<int>(IBEntry::Count);

// The entry point's exported name.
const char* IBEntryName(IBEntry entry);

class IGDSLibrary {
 public:
  virtual ~IGDSLibrary() = default;

  virtual void LoadIBLibrary() = 0;
  virtual void FreeIBLibrary() = 0;
  virtual bool TryIBLoad() = 0;
  // Loads the library if needed; raises ibceInterBaseMissing when it cannot.
  virtual void CheckIBLoaded() = 0;
  // The client generation: 5.0 or 6.0 by probing, else major + minor / 10.
  virtual double GetIBClientVersion() = 0;
  virtual std::string LibraryName() const = 0;
  // Firebird's client rather than InterBase's: the two number character
  // sets differently. A client that does not say otherwise is Firebird's.
  virtual bool IsFirebirdClient() const { return true; }

  // The resolved address of an entry; raises when it is unavailable.
  virtual void* EntryAddress(IBEntry entry) const = 0;

  // One forwarding operation per entry point, with the entry's own name and
  // its exact C signature.
#define KAVO_IB_METHOD(name)                                                             \
  template <typename... A>                                                               \
  auto name(A&&... args) const {                                                         \
    auto fn = reinterpret_cast<decltype(&ibsig::name)>(EntryAddress(IBEntry::name));     \
    return fn(std::forward<A>(args)...);                                                 \
  }
  KAVO_IB_ENTRIES(KAVO_IB_METHOD)
#undef KAVO_IB_METHOD
};

using IGDSLibraryPtr = std::shared_ptr<IGDSLibrary>;

// The library of the "IBServer" type: loads the Firebird client by file name.
class TIBServerLibrary : public IGDSLibrary {
 public:
  TIBServerLibrary();
  ~TIBServerLibrary() override;

  void LoadIBLibrary() override;
  void FreeIBLibrary() override;
  bool TryIBLoad() override;
  void CheckIBLoaded() override;
  double GetIBClientVersion() override;
  std::string LibraryName() const override;
  // Further names of the same client, tried in order when LibraryName() does
  // not load (Windows: Firebird's own fbclient.dll); messages name only
  // LibraryName().
  virtual std::vector<std::string> AlternativeLibraryNames() const;
  void* EntryAddress(IBEntry entry) const override;
  // Known once loaded: Firebird's client exports fb_interpret, which no
  // InterBase client has.
  bool IsFirebirdClient() const override { return firebird_; }

  bool Loaded() const { return library_.IsOpen(); }
  // How often the library file was actually opened (for the load-once rule).
  int LoadCount() const { return load_count_; }

 protected:
  enum class EntryState { Unresolved, Resolved, Unavailable };
  struct Entry {
    void* address = nullptr;
    EntryState state = EntryState::Unresolved;
    String message;  // for unavailable entries
  };

 private:
  void ResolveRequired(DynamicLibrary& lib, std::initializer_list<IBEntry> entries);
  bool ResolveOptional(IBEntry entry);
  // The entries of InterBase 7.0, 7.1 and 2007, resolved or marked missing
  // by the client's version.
  void ResolveByClientVersion();
  void MarkUnavailable(std::initializer_list<IBEntry> entries, const String& message_format);

  DynamicLibrary library_;
  DynamicLibrary xml_library_;
  double client_version_ = 0;
  bool firebird_ = false;
  int load_count_ = 0;
  std::array<Entry, kIBEntryCount> entries_;
};

// The library of the "IBEmbedded" type. On Linux the same client library
// opens a local path in-process through the embedded engine, so only the
// registry entry (and its load state) is its own.
class TIBEmbeddedLibrary : public TIBServerLibrary {
 public:
  std::string LibraryName() const override;
  std::vector<std::string> AlternativeLibraryNames() const override;
};

// The file of the optional XML library.
extern const char* const kIBXMLLibraryName;

// The process-wide registry, filled at first use with "IBServer" and then
// "IBEmbedded".
void AddIBInterface(const String& name, IGDSLibraryPtr library);
// Finds `name` without regard to case and replaces it with the registered
// spelling; raises ibceInvalidLibraryType naming every registered type.
IGDSLibraryPtr GetGDSLibrary(String& name);

// The calling thread's status vector.
ISC_STATUS* StatusVector();
inline ISC_STATUS* StatusVectorArray() { return StatusVector(); }

// Runs a clean-up call (closing a blob or a cursor after a failure) and then
// restores the calling thread's status vector, so the error reported
// afterwards is the original one, not the clean-up's.
template <typename F>
void KeepingStatusVector(F&& cleanup) {
  ISC_STATUS keep[kStatusVectorLength];
  std::memcpy(keep, StatusVector(), sizeof keep);
  cleanup();
  std::memcpy(StatusVector(), keep, sizeof keep);
}

}  // namespace kavo

#endif  // KAVO_IB_IB_INTF_H_
