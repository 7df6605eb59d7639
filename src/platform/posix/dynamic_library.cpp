#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <link.h>

#include <cerrno>

namespace kavo {

bool DynamicLibrary::Open(const std::string& file_name) {
  Close();
  dlerror();
  handle_ = dlopen(file_name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* e = dlerror();
    last_error_ = e ? e : "cannot load " + file_name;
    return false;
  }
  name_ = file_name;
  last_error_.clear();
  return true;
}

void DynamicLibrary::Close() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
  name_.clear();
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (!handle_) return nullptr;
  return dlsym(handle_, name);
}

std::string DynamicLibrary::Path() const {
  if (!handle_) return std::string();
  struct link_map* map = nullptr;
  if (dlinfo(handle_, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name)
    return map->l_name;
  return name_;
}

int DynamicLibrary::MissingSymbolError() { return ENOSYS; }

}  // namespace kavo
