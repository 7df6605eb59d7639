#include "scratch_directory.h"

#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace kavo::bench {

std::string MakeScratchDirectory(const std::string& name, bool in_memory) {
  const bool shm = in_memory && access("/dev/shm", W_OK) == 0;
  const std::string pattern = std::string(shm ? "/dev/shm/" : "/tmp/") + name + "-XXXXXX";
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  if (mkdtemp(path.data()) == nullptr) throw std::runtime_error("mkdtemp " + pattern);
  return path.data();
}

}  // namespace kavo::bench
