#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "rtl/exceptions.h"

namespace kavo {

namespace {

struct stat StatOf(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) RaiseLastOSError();
  return st;
}

}  // namespace

SharedMemory::~SharedMemory() {
  if (data_ != nullptr) munmap(data_, size_);
  close(fd_);
}

std::unique_ptr<SharedMemory> SharedMemory::Create(const std::string& name, size_t size,
                                                   mode_t mode) {
  int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    if (errno == EEXIST) return nullptr;
    RaiseLastOSError();
  }
  std::unique_ptr<SharedMemory> mem(new SharedMemory(fd));
  try {
    if (fchmod(fd, mode) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0)
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

size_t SharedMemory::ObjectSize() const { return static_cast<size_t>(StatOf(fd_).st_size); }
uid_t SharedMemory::OwnerId() const { return StatOf(fd_).st_uid; }
mode_t SharedMemory::Mode() const { return StatOf(fd_).st_mode & 07777; }

void SharedMemory::Map(size_t size) {
  if (data_ != nullptr) return;
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (p == MAP_FAILED) RaiseLastOSError();
  data_ = p;
  size_ = size;
}

}  // namespace kavo
