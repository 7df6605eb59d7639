#include "platform/shared_memory.h"

#include <windows.h>

#include "rtl/exceptions.h"
#include "rtl/os_text.h"

namespace kavo {

namespace {

HANDLE Handle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

std::wstring Wide(const std::string& name) {
  const String text = OsTextToString(name);
  return std::wstring(text.begin(), text.end());
}

// Everyone may open the objects (a monitor of any user reads the channel),
// and child processes inherit the handles.
struct OpenToEveryone {
  SECURITY_DESCRIPTOR descriptor{};
  SECURITY_ATTRIBUTES attributes{};
  OpenToEveryone() {
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);  // no DACL: no limit
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = TRUE;
  }
};

}  // namespace

SharedMemory::~SharedMemory() {
  if (data_ != nullptr) UnmapViewOfFile(data_);
  for (auto& [name, handle] : named_) CloseHandle(handle);
  CloseHandle(Handle(handle_));
}

std::unique_ptr<SharedMemory> SharedMemory::Create(const std::string& name, size_t size,
                                                   uint32_t) {
  OpenToEveryone everyone;
  HANDLE h = CreateFileMappingW(INVALID_HANDLE_VALUE, &everyone.attributes, PAGE_READWRITE, 0,
                                static_cast<DWORD>(size), Wide(name).c_str());
  if (h == nullptr) RaiseLastOSError();
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(h);
    return nullptr;
  }
  std::unique_ptr<SharedMemory> mem(new SharedMemory(reinterpret_cast<intptr_t>(h)));
  mem->Map(size);
  return mem;
}

std::unique_ptr<SharedMemory> SharedMemory::Open(const std::string& name) {
  HANDLE h = OpenFileMappingW(FILE_MAP_ALL_ACCESS, TRUE, Wide(name).c_str());
  if (h == nullptr) RaiseLastOSError();
  return std::unique_ptr<SharedMemory>(new SharedMemory(reinterpret_cast<intptr_t>(h)));
}

bool SharedMemory::Remove(const std::string&) { return true; }

std::string SharedMemory::FilePath(const std::string& name) { return name; }

size_t SharedMemory::ObjectSize() const {
  // The pages a view reaches: a mapping of 2048 bytes gives a whole page.
  void* view = data_ != nullptr ? data_ : MapViewOfFile(Handle(handle_), FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) RaiseLastOSError();
  MEMORY_BASIC_INFORMATION info{};
  const SIZE_T got = VirtualQuery(view, &info, sizeof info);
  if (view != data_) UnmapViewOfFile(view);
  if (got == 0) RaiseLastOSError();
  return info.RegionSize;
}

void SharedMemory::Map(size_t size) {
  if (data_ != nullptr) return;
  void* p = MapViewOfFile(Handle(handle_), FILE_MAP_ALL_ACCESS, 0, 0, 0);
  if (p == nullptr) RaiseLastOSError();
  data_ = p;
  size_ = size;
  if (ObjectSize() < size) {
    UnmapViewOfFile(p);
    data_ = nullptr;
    size_ = 0;
    RaiseLastOSError(ERROR_INVALID_PARAMETER);
  }
}

bool SharedMemory::Lost() const { return false; }

RobustMutex SharedMemory::Mutex(size_t, const std::string& name) {
  for (auto& [known, handle] : named_)
    if (known == name) return RobustMutex(handle);
  OpenToEveryone everyone;
  HANDLE h = CreateMutexW(&everyone.attributes, FALSE, Wide(name).c_str());
  if (h == nullptr) RaiseLastOSError();
  named_.emplace_back(name, h);
  return RobustMutex(h);
}

SharedEvent SharedMemory::Event(size_t, const std::string& name, bool initially_set) {
  for (auto& [known, handle] : named_)
    if (known == name) return SharedEvent(handle);
  OpenToEveryone everyone;
  HANDLE h = CreateEventW(&everyone.attributes, TRUE, initially_set, Wide(name).c_str());
  if (h == nullptr) RaiseLastOSError();
  named_.emplace_back(name, h);
  return SharedEvent(h);
}

}  // namespace kavo
