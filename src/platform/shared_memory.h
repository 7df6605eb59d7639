// Named shared memory, for data that processes of the machine share by name,
// with the process-shared mutexes and events that guard it.
//
// POSIX: a shm_open object; it outlives the processes that use it until it
// is removed; on Linux it is the file /dev/shm/<name without '/'>. Its
// mutexes and events live in its own bytes.
// Windows: a named file mapping backed by the paging file, with named kernel
// mutexes and events beside it; all of them are created with a security
// descriptor that grants everyone access, their handles inheritable, and
// they vanish with the last handle.
//
//   auto mem = SharedMemory::Create("NAME", 4096, 0660);   // null: exists
//   if (!mem) { mem = SharedMemory::Open("NAME"); mem->Map(4096); }
#ifndef KAVO_PLATFORM_SHARED_MEMORY_H_
#define KAVO_PLATFORM_SHARED_MEMORY_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/process_shared_sync.h"

namespace kavo {

class SharedMemory {
 public:
  ~SharedMemory();
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Creates `name` only when it does not exist yet (null when it does), with
  // `size` zero bytes, mapped read-write. POSIX: with exactly the permission
  // bits `mode` (the umask does not narrow them); Windows ignores them.
  // Other failures raise EOSError with the system's error code.
  static std::unique_ptr<SharedMemory> Create(const std::string& name, size_t size,
                                              uint32_t mode);
  // Opens an existing object read-write, not yet mapped. EOSError with the
  // system's code (POSIX ENOENT, Windows ERROR_FILE_NOT_FOUND: there is none).
  static std::unique_ptr<SharedMemory> Open(const std::string& name);
  // Removes the name; users that have it mapped keep their mapping. Windows
  // has nothing to remove (the name goes with the last handle): true.
  static bool Remove(const std::string& name);
  // Where the object shows in the file system (POSIX), or its name, for
  // messages.
  static std::string FilePath(const std::string& name);

  // The object's size as it is now.
  size_t ObjectSize() const;
  // POSIX only: the object's owner, permission bits and whether it is a
  // regular file, as they are now.
  uint32_t OwnerId() const;
  uint32_t Mode() const;
  bool IsRegularFile() const;

  // Maps the first `size` bytes (once). The object must be that large when
  // mapped (EINVAL otherwise; Windows counts the whole pages of the
  // mapping). POSIX: should another process cut it short later, the pages it
  // lost read as zeroes for this process instead of ending it with SIGBUS,
  // and Lost() tells that the mapping no longer reaches the others. (A
  // Windows mapping cannot be cut.)
  void Map(size_t size);
  void* Data() const { return data_; }
  size_t MappedSize() const { return size_; }
  bool Lost() const;

  // A mutex and a manual-reset event that belong to this object: POSIX, the
  // bytes at `offset` of the mapping (the creator initialises them); Windows,
  // the named kernel object `name`, created when it does not exist (an event
  // then starts set when `initially_set`), opened once and closed with this
  // object. EOSError when the system refuses.
  RobustMutex Mutex(size_t offset, const std::string& name);
  SharedEvent Event(size_t offset, const std::string& name, bool initially_set);

 private:
  explicit SharedMemory(intptr_t handle) : handle_(handle) {}
  intptr_t handle_;  // the descriptor (POSIX) or the mapping's handle (Windows)
  void* data_ = nullptr;
  size_t size_ = 0;
  int guard_ = -1;                   // POSIX: slot of the SIGBUS guard
  std::vector<std::pair<std::string, void*>> named_;  // Windows: kernel objects by name
};

}  // namespace kavo

#endif  // KAVO_PLATFORM_SHARED_MEMORY_H_
