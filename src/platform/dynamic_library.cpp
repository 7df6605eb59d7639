// What a loaded library is, whatever system loaded it; loading, look-up and
// closing are each system's own (posix/, win32/).
#include "platform/dynamic_library.h"

#include <utility>

namespace kavo {

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      name_(std::move(other.name_)),
      last_error_(std::move(other.last_error_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
    name_ = std::move(other.name_);
    last_error_ = std::move(other.last_error_);
  }
  return *this;
}

}  // namespace kavo
