#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

#include "rtl/exceptions.h"

namespace kavo {

namespace {

int Fd(intptr_t handle) { return static_cast<int>(handle); }

struct stat StatOf(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) RaiseLastOSError();
  return st;
}

// The SIGBUS guard. A shared object another process truncates leaves the
// pages past its new end unbacked: the next touch raises SIGBUS, which
// would end the process in the middle of whatever it was doing. The handler
// puts a private page of zeroes where the lost one was and lets the access
// run again; the mapping is marked lost, so its owner stops using it. It
// reads only atomics and calls mmap, so any thread may fault at any time.
struct GuardedRange {
  std::atomic<bool> taken{false};
  std::atomic<uintptr_t> begin{0};  // 0: not active
  std::atomic<uintptr_t> end{0};
  std::atomic<bool> lost{false};
};

constexpr int kGuardedRanges = 64;
GuardedRange g_guarded[kGuardedRanges];
uintptr_t g_page_size = 4096;
struct sigaction g_previous_sigbus {};

void OnSigbus(int signal_number, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
  for (GuardedRange& r : g_guarded) {
    uintptr_t begin = r.begin.load();
    if (begin == 0 || address < begin || address >= r.end.load()) continue;
    void* page = reinterpret_cast<void*>(address & ~(g_page_size - 1));
    if (mmap(page, g_page_size, PROT_READ | PROT_WRITE, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS,
             -1, 0) != MAP_FAILED) {
      r.lost.store(true);
      return;
    }
    break;
  }
  // Not ours: whoever handled SIGBUS before, or the default end.
  if ((g_previous_sigbus.sa_flags & SA_SIGINFO) != 0 && g_previous_sigbus.sa_sigaction != nullptr) {
    g_previous_sigbus.sa_sigaction(signal_number, info, context);
    return;
  }
  if (g_previous_sigbus.sa_handler != SIG_DFL && g_previous_sigbus.sa_handler != SIG_IGN) {
    g_previous_sigbus.sa_handler(signal_number);
    return;
  }
  signal(SIGBUS, SIG_DFL);
  raise(SIGBUS);
}

void InstallSigbusGuard() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_page_size = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = OnSigbus;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGBUS, &action, &g_previous_sigbus) != 0) RaiseLastOSError();
  });
}

int GuardRange(void* data, size_t size) {
  InstallSigbusGuard();
  for (int i = 0; i < kGuardedRanges; ++i) {
    bool expected = false;
    if (!g_guarded[i].taken.compare_exchange_strong(expected, true)) continue;
    g_guarded[i].lost.store(false);
    g_guarded[i].end.store(reinterpret_cast<uintptr_t>(data) + size);
    g_guarded[i].begin.store(reinterpret_cast<uintptr_t>(data));
    return i;
  }
  RaiseLastOSError(ENOMEM);
}

void Unguard(int slot) {
  g_guarded[slot].begin.store(0);
  g_guarded[slot].end.store(0);
  g_guarded[slot].taken.store(false);
}

}  // namespace

SharedMemory::~SharedMemory() {
  if (guard_ >= 0) Unguard(guard_);
  if (data_ != nullptr) munmap(data_, size_);
  close(Fd(handle_));
}

std::unique_ptr<SharedMemory> SharedMemory::Create(const std::string& name, size_t size,
                                                   uint32_t mode) {
  int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd < 0) {
    if (errno == EEXIST) return nullptr;
    RaiseLastOSError();
  }
  std::unique_ptr<SharedMemory> mem(new SharedMemory(fd));
  try {
    if (fchmod(fd, static_cast<mode_t>(mode)) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0)
      RaiseLastOSError();
    mem->Map(size);
  } catch (...) {
    shm_unlink(name.c_str());
    throw;
  }
  return mem;
}

std::unique_ptr<SharedMemory> SharedMemory::Open(const std::string& name) {
  int fd = shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) RaiseLastOSError();
  return std::unique_ptr<SharedMemory>(new SharedMemory(fd));
}

bool SharedMemory::Remove(const std::string& name) { return shm_unlink(name.c_str()) == 0; }

std::string SharedMemory::FilePath(const std::string& name) {
  return "/dev/shm/" + (name.starts_with('/') ? name.substr(1) : name);
}

size_t SharedMemory::ObjectSize() const { return static_cast<size_t>(StatOf(Fd(handle_)).st_size); }
uint32_t SharedMemory::OwnerId() const { return StatOf(Fd(handle_)).st_uid; }
uint32_t SharedMemory::Mode() const { return StatOf(Fd(handle_)).st_mode & 07777; }

bool SharedMemory::IsRegularFile() const { return S_ISREG(StatOf(Fd(handle_)).st_mode); }

void SharedMemory::Map(size_t size) {
  if (data_ != nullptr) return;
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, Fd(handle_), 0);
  if (p == MAP_FAILED) RaiseLastOSError();
  try {
    guard_ = GuardRange(p, size);
  } catch (...) {
    munmap(p, size);
    throw;
  }
  data_ = p;
  size_ = size;
  // Checked once the guard is up: a cut between this and any later touch
  // is the guard's.
  if (ObjectSize() < size) RaiseLastOSError(EINVAL);
}

bool SharedMemory::Lost() const { return guard_ >= 0 && g_guarded[guard_].lost.load(); }

// They live in the mapping: the name is for the Windows objects.
RobustMutex SharedMemory::Mutex(size_t offset, const std::string&) {
  return RobustMutex(static_cast<unsigned char*>(data_) + offset);
}

SharedEvent SharedMemory::Event(size_t offset, const std::string&, bool) {
  return SharedEvent(static_cast<unsigned char*>(data_) + offset);
}

}  // namespace kavo
