// A named POSIX shared memory object (shm_open), for data that processes of
// the machine share by name. The object outlives the processes that use it
// until it is removed; on Linux it is the file /dev/shm/<name without '/'>.
//
//   auto mem = SharedMemory::Create("/NAME", 4096, 0660);   // null: exists
//   if (!mem) { mem = SharedMemory::Open("/NAME"); mem->Map(4096); }
#ifndef KAVO_PLATFORM_SHARED_MEMORY_H_
#define KAVO_PLATFORM_SHARED_MEMORY_H_

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

namespace kavo {

class SharedMemory {
 public:
  ~SharedMemory();
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Creates `name` only when it does not exist yet (null when it does), with
  // exactly `mode` (the umask does not narrow it), `size` zero bytes, mapped
  // read-write. Other failures raise EOSError with errno.
  static std::unique_ptr<SharedMemory> Create(const std::string& name, size_t size, mode_t mode);
  // Opens an existing object read-write, not yet mapped. EOSError with errno
  // (ENOENT: there is none; EACCES: no permission).
  static std::unique_ptr<SharedMemory> Open(const std::string& name);
  // Removes the name; users that have it mapped keep their mapping.
  static bool Remove(const std::string& name);
  // Where the object shows in the file system, for messages.
  static std::string FilePath(const std::string& name);

  // The object's size, owner and permission bits as they are now.
  size_t ObjectSize() const;
  uid_t OwnerId() const;
  mode_t Mode() const;

  // The object as it is now: whether it is a regular file, its owner.
  bool IsRegularFile() const;

  // Maps the first `size` bytes (once). The object must be that large when
  // mapped (EINVAL otherwise). Should another process cut it short later,
  // the pages it lost read as zeroes for this process instead of ending it
  // with SIGBUS, and Lost() tells that the mapping no longer reaches the
  // others.
  void Map(size_t size);
  void* Data() const { return data_; }
  size_t MappedSize() const { return size_; }
  bool Lost() const;

 private:
  explicit SharedMemory(int fd) : fd_(fd) {}
  int fd_;
  void* data_ = nullptr;
  size_t size_ = 0;
  int guard_ = -1;  // slot of the SIGBUS guard
};

}  // namespace kavo

#endif  // KAVO_PLATFORM_SHARED_MEMORY_H_
