#include "handles.h"

#include <sys/mman.h>

#include <mutex>
#include <new>
#include <thread>

#include "row_buffer.h"

// g++ says AddressSanitizer with a macro, clang as a feature.
#if defined(__SANITIZE_ADDRESS__)
#define OCISQLITE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OCISQLITE_ASAN 1
#endif
#endif
#ifdef OCISQLITE_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif

namespace kavo::ocisqlite {

HandleArena g_handle_arena;

namespace {

static_assert(HandleArena::kSlotHeader >= sizeof(std::atomic<uint32_t>) &&
              HandleArena::kSlotHeader % alignof(std::max_align_t) == 0);
static_assert(HandleArena::kSlotBytes % alignof(std::max_align_t) == 0);
constexpr size_t kObjectBytes = HandleArena::kSlotBytes - HandleArena::kSlotHeader;
static_assert(sizeof(Stmt) <= kObjectBytes && sizeof(Bind) <= kObjectBytes &&
                  sizeof(Define) <= kObjectBytes && sizeof(Session) <= kObjectBytes,
              "a handle outgrew the arena's slots");

// Room for this many handles alive at once; address space only until used.
constexpr size_t kMaxSlots = size_t{1} << 18;
constexpr size_t kReserveBytes = kMaxSlots * HandleArena::kSlotBytes;
// Slots are made usable this many at a time.
constexpr size_t kGrowSlots = 64;

// Allocation and freeing take the lock, for a few instructions each; the
// check of a handle takes none. The lock needs no construction or destruction,
// so it serves at any time; a call that comes after the arena is gone (from a
// late exit handler) finds no live handle.
class ArenaLock {
 public:
  void lock() {
    while (busy_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  void unlock() { busy_.clear(std::memory_order_release); }

 private:
  std::atomic_flag busy_;
};
ArenaLock arena_lock;
size_t slots_made = 0;             // slots ever handed out
std::vector<uint32_t>* free_slots = nullptr;  // freed slots, the last freed on top

std::atomic<uint32_t>& HeaderAt(char* base, size_t slot) {
  return *reinterpret_cast<std::atomic<uint32_t>*>(base + slot * HandleArena::kSlotBytes);
}

void Poison(void* object, bool poison) {
#ifdef OCISQLITE_ASAN
  if (poison)
    ASAN_POISON_MEMORY_REGION(object, kObjectBytes);
  else
    ASAN_UNPOISON_MEMORY_REGION(object, kObjectBytes);
#else
  (void)object;
  (void)poison;
#endif
}

// The client that unloads the library is left with nothing allocated.
// Under the leak checker, which may run after this at exit, the arena stays
// mapped and scanned: the handles a client never freed keep what they own
// reachable, as a client's own leaks are not the library's.
__attribute__((destructor)) void FreeArena() {
  std::lock_guard<ArenaLock> g(arena_lock);
  char* base = g_handle_arena.base.load(std::memory_order_relaxed);
  g_handle_arena.usable.store(0, std::memory_order_release);
  g_handle_arena.base.store(nullptr, std::memory_order_relaxed);
#ifndef OCISQLITE_ASAN
  if (base != nullptr) munmap(base, kReserveBytes);
#else
  (void)base;
#endif
  delete free_slots;
  free_slots = nullptr;
  slots_made = 0;
}

}  // namespace

void* Handle::operator new(size_t size) {
  if (size > kObjectBytes) throw std::bad_alloc();
  std::lock_guard<ArenaLock> g(arena_lock);
  char* base = g_handle_arena.base.load(std::memory_order_relaxed);
  if (base == nullptr) {
    void* p = mmap(nullptr, kReserveBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                   -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    base = static_cast<char*>(p);
#ifdef OCISQLITE_ASAN
    // Live handles own heap memory that only the arena points to.
    __lsan_register_root_region(base, kReserveBytes);
#endif
    g_handle_arena.base.store(base, std::memory_order_relaxed);
    free_slots = new std::vector<uint32_t>();
  }
  size_t slot;
  if (!free_slots->empty()) {
    slot = free_slots->back();
    free_slots->pop_back();
  } else {
    if (slots_made == kMaxSlots) throw std::bad_alloc();
    const size_t usable = g_handle_arena.usable.load(std::memory_order_relaxed);
    if ((slots_made + 1) * HandleArena::kSlotBytes > usable) {
      const size_t grow = kGrowSlots * HandleArena::kSlotBytes;
      if (mprotect(base + usable, grow, PROT_READ | PROT_WRITE) != 0) throw std::bad_alloc();
      g_handle_arena.usable.store(usable + grow, std::memory_order_release);
    }
    slot = slots_made++;
  }
  void* object = base + slot * HandleArena::kSlotBytes + HandleArena::kSlotHeader;
  Poison(object, false);
  return object;
}

void Handle::operator delete(void* p, size_t) noexcept {
  if (p == nullptr) return;
  std::lock_guard<ArenaLock> g(arena_lock);
  char* base = g_handle_arena.base.load(std::memory_order_relaxed);
  if (base == nullptr) return;  // the arena went with the library
  const size_t slot = static_cast<size_t>(static_cast<char*>(p) - base) / HandleArena::kSlotBytes;
  HeaderAt(base, slot).store(0, std::memory_order_release);
  Poison(p, true);
  try {
    free_slots->push_back(static_cast<uint32_t>(slot));
  } catch (const std::bad_alloc&) {
    // The slot is lost, not reused; nothing else goes wrong.
  }
}

Handle::Handle(ub4 t, Env* e) : type(t), env(e) {
  if (auto* header = const_cast<std::atomic<uint32_t>*>(SlotHeader(this)))
    header->store(HandleArena::kLive | (t & 0xFFFFu), std::memory_order_release);
}

Handle::~Handle() {
  if (auto* header = const_cast<std::atomic<uint32_t>*>(SlotHeader(this)))
    header->store(0, std::memory_order_release);
}

std::vector<Handle*> HandlesOf(Env* env) {
  std::lock_guard<ArenaLock> g(arena_lock);
  std::vector<Handle*> out;
  char* base = g_handle_arena.base.load(std::memory_order_relaxed);
  if (base == nullptr) return out;
  for (size_t slot = 0; slot < slots_made; ++slot) {
    if ((HeaderAt(base, slot).load(std::memory_order_acquire) & HandleArena::kLive) == 0) continue;
    auto* h = reinterpret_cast<Handle*>(base + slot * HandleArena::kSlotBytes +
                                        HandleArena::kSlotHeader);
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
