#include "handles.h"

#include <mutex>
#include <unordered_set>

#include "row_buffer.h"

namespace kavo::ocisqlite {

namespace {

constexpr uint32_t kMagic = 0x4F534C54;

// The live handles. Made with the first handle and freed when the library is
// unloaded, so a client that dlcloses it is left with nothing allocated. The lock
// needs no construction or destruction, so it serves at any time; a call that
// comes after the set is freed (from a late exit handler) finds no live handle.
std::mutex registry_lock;
std::unordered_set<const void*>* registry = nullptr;

__attribute__((destructor)) void FreeRegistry() {
  std::lock_guard<std::mutex> g(registry_lock);
  delete registry;
  registry = nullptr;
}

}  // namespace

Handle::Handle(ub4 t, Env* e) : magic(kMagic), type(t), env(e) {
  std::lock_guard<std::mutex> g(registry_lock);
  if (!registry) registry = new std::unordered_set<const void*>();
  registry->insert(this);
}

Handle::~Handle() {
  std::lock_guard<std::mutex> g(registry_lock);
  if (registry) registry->erase(this);
  magic = 0;
}

bool IsHandle(const void* p, ub4 type) {
  if (!p) return false;
  std::lock_guard<std::mutex> g(registry_lock);
  if (!registry || !registry->count(p)) return false;
  auto* h = static_cast<const Handle*>(p);
  return h->magic == kMagic && (type == 0 || h->type == type);
}

std::vector<Handle*> HandlesOf(Env* env) {
  std::lock_guard<std::mutex> g(registry_lock);
  std::vector<Handle*> out;
  if (!registry) return out;
  for (const void* p : *registry) {
    auto* h = static_cast<Handle*>(const_cast<void*>(p));
    if (h->env == env && h->type != OCI_HTYPE_BIND && h->type != OCI_HTYPE_DEFINE &&
        h->type != OCI_DTYPE_PARAM)
      out.push_back(h);
  }
  return out;
}

Stmt::Stmt(Env* e) : Handle(OCI_HTYPE_STMT, e) {}

Stmt::~Stmt() {
  Reset();
  for (Bind* b : binds) delete b;
  for (Define* d : defines) delete d;
}

void Stmt::EndCursor() {
  buffered.reset();
  if (!reader) return;
  // The statement must let go of the reader's snapshot before another cursor takes it.
  if (st) sqlite3_finalize(st);
  st = nullptr;
  if (conn) conn->ReleaseReader(reader);
  reader = nullptr;
}

void Stmt::Reset() {
  EndCursor();
  if (st) sqlite3_finalize(st);
  st = nullptr;
  executed = false;
  row_ready = false;
  done = true;
  past_end = false;
  lock_tx = 0;
  row_count = 0;
  rows_fetched = 0;
  has_rowid = false;
}

}  // namespace kavo::ocisqlite
