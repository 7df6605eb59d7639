#include "handles.h"

#include <mutex>
#include <unordered_set>

namespace kavo::ocisqlite {

namespace {

constexpr uint32_t kMagic = 0x4F534C54;

std::mutex& RegistryLock() {
  static std::mutex m;
  return m;
}

std::unordered_set<const void*>& Registry() {
  static auto* s = new std::unordered_set<const void*>();
  return *s;
}

}  // namespace

Handle::Handle(ub4 t, Env* e) : magic(kMagic), type(t), env(e) {
  std::lock_guard<std::mutex> g(RegistryLock());
  Registry().insert(this);
}

Handle::~Handle() {
  std::lock_guard<std::mutex> g(RegistryLock());
  Registry().erase(this);
  magic = 0;
}

bool IsHandle(const void* p, ub4 type) {
  if (!p) return false;
  std::lock_guard<std::mutex> g(RegistryLock());
  if (!Registry().count(p)) return false;
  auto* h = static_cast<const Handle*>(p);
  return h->magic == kMagic && (type == 0 || h->type == type);
}

std::vector<Handle*> HandlesOf(Env* env) {
  std::lock_guard<std::mutex> g(RegistryLock());
  std::vector<Handle*> out;
  for (const void* p : Registry()) {
    auto* h = static_cast<Handle*>(const_cast<void*>(p));
    if (h->env == env && h->type != OCI_HTYPE_BIND && h->type != OCI_HTYPE_DEFINE &&
        h->type != OCI_DTYPE_PARAM)
      out.push_back(h);
  }
  return out;
}

Stmt::~Stmt() {
  Reset();
  for (Bind* b : binds) delete b;
  for (Define* d : defines) delete d;
}

void Stmt::Reset() {
  if (st) sqlite3_finalize(st);
  st = nullptr;
  executed = false;
  row_ready = false;
  done = true;
  row_count = 0;
  rows_fetched = 0;
  has_rowid = false;
}

}  // namespace kavo::ocisqlite
