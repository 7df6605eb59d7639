// The objects behind OCI's opaque handles and descriptors. Every handle lives
// in a slot of one arena whose header word says whether the slot holds a live
// handle and of which type, so a call with a stale, foreign or mistyped handle
// is refused instead of crashing, and the check takes no lock.
#ifndef OCISQLITE_HANDLES_H
#define OCISQLITE_HANDLES_H

#include <sqlite3.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "connection.h"
#include "datetime.h"
#include "errors.h"
#include "oci.h"
#include "rowid.h"
#include "translate.h"

namespace kavo::ocisqlite {

struct Env;
struct SessionPool;

// The arena: one reservation of address space, slots of kSlotBytes made
// usable as they are first needed and never given back before the library is
// unloaded, so a slot's header can be read whatever became of its handle. An
// object starts kSlotHeader bytes into its slot.
struct HandleArena {
  static constexpr size_t kSlotBytes = 640;
  static constexpr size_t kSlotHeader = 16;
  static constexpr uint32_t kLive = 0x80000000u;
  std::atomic<char*> base{nullptr};
  std::atomic<size_t> usable{0};  // bytes from base whose headers may be read
};
extern HandleArena g_handle_arena;

struct Handle {
  Handle(ub4 type, Env* env);
  virtual ~Handle();
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  // Every handle is made in a slot of the arena.
  static void* operator new(size_t size);
  static void operator delete(void* p, size_t size) noexcept;

  ub4 type;
  Env* env;
};

// The header word of the slot whose object starts at p, or null when p is not
// where an object of the arena starts.
inline const std::atomic<uint32_t>* SlotHeader(const void* p) {
  const size_t usable = g_handle_arena.usable.load(std::memory_order_acquire);
  const char* base = g_handle_arena.base.load(std::memory_order_relaxed);
  const uintptr_t at = reinterpret_cast<uintptr_t>(p), from = reinterpret_cast<uintptr_t>(base);
  if (p == nullptr || at < from || at - from >= usable) return nullptr;
  const size_t offset = at - from;
  if (offset % HandleArena::kSlotBytes != HandleArena::kSlotHeader) return nullptr;
  return reinterpret_cast<const std::atomic<uint32_t>*>(base + (offset - HandleArena::kSlotHeader));
}

// Whether p is a live handle of that type (type 0: any type).
inline bool IsHandle(const void* p, ub4 type) {
  const std::atomic<uint32_t>* header = SlotHeader(p);
  if (header == nullptr) return false;
  const uint32_t word = header->load(std::memory_order_acquire);
  return (word & HandleArena::kLive) != 0 && (type == 0 || (word & 0xFFFFu) == type);
}
// Every live handle of an environment.
std::vector<Handle*> HandlesOf(Env* env);

struct Env : Handle {
  explicit Env(ub4 m) : Handle(OCI_HTYPE_ENV, nullptr), mode(m) {}
  ub4 mode;
  // The client's character sets: its text is converted from and to them.
  ub2 charset = 873, ncharset = 873;
  // Text in the client's set into the store's UTF-8, and back.
  std::string In(std::string_view text) const;
  std::string Out(std::string_view text) const;
};

struct ErrorHandle : Handle {
  explicit ErrorHandle(Env* e) : Handle(OCI_HTYPE_ERROR, e) {}
  void Set(const OraError& err) { code = err.code(), text = err.text(), text_made = true; }
  // An error without arguments whose text is made only when a client asks
  // for it: some refusals (a ROWID after a statement without one) come per
  // row and are never read.
  void SetCode(int c) { code = c, text.clear(), text_made = false; }
  void Clear() { code = 0, text.clear(), text_made = true; }
  const std::string& Text() {
    if (!text_made) text = MakeError(code).text(), text_made = true;
    return text;
  }
  int code = 0;
  // OCI_BATCH_ERRORS: the errors of the last array execute, each with its row,
  // handed out by OCIParamGet as error handles this one owns.
  std::vector<std::pair<ub4, OraError>> batch;
  std::vector<ErrorHandle*> batch_handles;
  ErrorHandle* owner = nullptr;
  ub4 row_offset = 0;
  ~ErrorHandle() override {
    for (ErrorHandle* h : batch_handles) delete h;
  }

 private:
  std::string text;
  bool text_made = true;
};

struct Server : Handle {
  explicit Server(Env* e) : Handle(OCI_HTYPE_SERVER, e) {}
  std::string path;
  bool attached = false;
};

struct Session : Handle {
  explicit Session(Env* e) : Handle(OCI_HTYPE_SESSION, e) {}
  std::string user, password;
  // What a client says about itself; kept for it to read back.
  std::string module, action, client_info, client_identifier, driver_name;
  std::map<std::string, void*> context;  // OCIContextSetValue's values for the session's life
  std::shared_ptr<Connection> conn;  // statements share it; ending the session closes it
};

struct SvcCtx : Handle {
  explicit SvcCtx(Env* e) : Handle(OCI_HTYPE_SVCCTX, e) {}
  Server* server = nullptr;
  Session* session = nullptr;
  ub4 cache_size = 0;
  bool logon_owned = false;  // made by OCILogon: frees its server and session
  SessionPool* pool = nullptr;  // given by OCISessionGet from this pool
};

// A session pool over one store: each session it gives is a logon of its own
// (SQLite connections are cheap), made with the pool's user.
struct SessionPool : Handle {
  explicit SessionPool(Env* e) : Handle(OCI_HTYPE_SPOOL, e) {}
  std::string name, path, user, password;
  ub4 min = 0, max = 0, increment = 0, busy = 0;
  bool created = false;
};

struct RowidDesc : Handle {
  explicit RowidDesc(Env* e) : Handle(OCI_DTYPE_ROWID, e) {}
  RowidParts parts;
  bool set = false;
};

// An OCIDateTime: a TIMESTAMP with its fraction in nanoseconds and, for the
// zoned kinds, its offset from UTC in minutes.
struct DateTimeDesc : Handle {
  DateTimeDesc(ub4 t, Env* e) : Handle(t, e) {}
  DateParts d;
  ub4 fsec = 0;
  int tz_minutes = 0;
  bool set = false;
};

// A LOB locator: the value it was read with or written to. A temporary LOB
// lives in it alone; a fetched one is a copy of the column's value.
struct LobDesc : Handle {
  explicit LobDesc(Env* e) : Handle(OCI_DTYPE_LOB, e) {}
  std::string data;  // CLOB text in UTF-8, BLOB bytes
  ub1 lob_type = SQLT_CLOB;
  ub1 csform = 1;
  bool init = false;
  bool temporary = false;
  bool open = false;
};

struct ColumnDesc {
  std::string name;
  ub2 type = SQLT_CHR;  // Oracle's internal type code
  ub2 size = 0;
  sb2 precision = 0;
  sb1 scale = 0;
  ub1 nullable = 1;
  ub1 csform = 1;
  ub2 csid = 873;
  ub2 char_size = 0;
};

struct Param : Handle {
  Param(Env* e, ColumnDesc c) : Handle(OCI_DTYPE_PARAM, e), col(std::move(c)) {}
  ColumnDesc col;
};

// Where values of one bind or define live: element i is at value + i * skip.
struct Target {
  void* value = nullptr;
  sb4 size = 0;
  ub2 dty = 0;
  void* ind = nullptr;
  ub2* len = nullptr;
  ub2* rcode = nullptr;
  ub4 value_skip = 0, ind_skip = 0, len_skip = 0, rcode_skip = 0;
  ub1 csform = 1;
  ub2 csid = 0;  // the set the client's text is in; 0: the environment's

  char* ValueAt(ub4 i) const { return static_cast<char*>(value) + i * (value_skip ? value_skip : static_cast<ub4>(size)); }
  sb2* IndAt(ub4 i) const { return ind ? reinterpret_cast<sb2*>(static_cast<char*>(ind) + i * (ind_skip ? ind_skip : sizeof(sb2))) : nullptr; }
  ub2* LenAt(ub4 i) const { return len ? reinterpret_cast<ub2*>(reinterpret_cast<char*>(len) + i * (len_skip ? len_skip : sizeof(ub2))) : nullptr; }
  ub2* RcodeAt(ub4 i) const { return rcode ? reinterpret_cast<ub2*>(reinterpret_cast<char*>(rcode) + i * (rcode_skip ? rcode_skip : sizeof(ub2))) : nullptr; }
};

struct Stmt;

struct Bind : Handle {
  Bind(Env* e, Stmt* s) : Handle(OCI_HTYPE_BIND, e), stmt(s) {}
  Stmt* stmt;
  std::string name;  // upper-cased, without the colon; empty for a bind by position
  ub4 position = 0;
  Target t;
  ub4 maxarr = 0;
  ub4* curele = nullptr;
  // OCI_DATA_AT_EXEC: values come from and go to the client's callbacks.
  bool at_exec = false;
  void* in_ctx = nullptr;
  OCICallbackInBind in_cb = nullptr;
  void* out_ctx = nullptr;
  OCICallbackOutBind out_cb = nullptr;
  ub4 rows_returned = 0;
};

struct Define : Handle {
  Define(Env* e, Stmt* s) : Handle(OCI_HTYPE_DEFINE, e), stmt(s) {}
  Stmt* stmt;
  ub4 position = 0;
  Target t;
  ub4 mode = 0;
  void* cb_ctx = nullptr;
  OCICallbackDefine cb = nullptr;
};

class RowBuffer;

enum class Kind {
  kUnknown, kSelect, kInsert, kUpdate, kDelete, kPlsql, kCreate, kDrop, kAlter, kSavepoint,
  kRollback, kCommit, kLock, kSet, kGrant, kComment, kTruncate
};

struct Stmt : Handle {
  explicit Stmt(Env* e);
  ~Stmt() override;
  void Reset();      // forgets the SQLite statement and results
  void EndCursor();  // the rows are done: gives back what holds the snapshot

  std::string text;
  std::vector<Token> toks;
  std::unique_ptr<OraError> lex_error;  // reported at execute, as a server would
  Kind kind = Kind::kUnknown;
  ub2 fncode = 0;
  bool prepared = false;
  bool from_cache = false;
  std::shared_ptr<Connection> conn;  // the session of the last execute
  sqlite3_stmt* st = nullptr;
  sqlite3* reader = nullptr;           // the session's reader that st runs on, if any
  std::unique_ptr<RowBuffer> buffered;  // the rows of a query read at its open
  Translation tr;
  std::vector<ColumnDesc> cols;
  std::vector<std::unique_ptr<Param>> params;
  std::vector<Bind*> binds;
  std::vector<Define*> defines;  // by position - 1
  bool executed = false;
  bool described = false;
  bool row_ready = false;
  bool done = true;
  bool past_end = false;  // a fetch has reported the end: the next one is out of sequence
  long lock_tx = 0;       // a FOR UPDATE cursor: the transaction holding its locks
  ub4 row_count = 0;
  ub4 rows_fetched = 0;
  ub4 parse_error_offset = 0;
  RowidParts rowid;
  bool has_rowid = false;
  ub4 prefetch_rows = 1, prefetch_memory = 0;
  ub4 dml_errors = 0;  // rows an OCI_BATCH_ERRORS execute refused
};

}  // namespace kavo::ocisqlite

#endif
