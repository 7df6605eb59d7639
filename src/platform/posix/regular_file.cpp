#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "rtl/os_text.h"

namespace kavo {

std::string ReadRegularFile(const String& path, size_t max_size) {
  int fd = open(StringToOsText(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string bytes;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<uintmax_t>(st.st_size) <= max_size) {
    // Room for one byte more than the file has tells a file that grew
    // meanwhile; it may grow up to one byte over the limit, which refuses it.
    bytes.resize(static_cast<size_t>(st.st_size) + 1);
    size_t done = 0;
    for (;;) {
      if (done == bytes.size()) {
        if (done > max_size) break;
        bytes.resize(max_size + 1);
      }
      ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) done = 0;  // unreadable: the defaults
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    bytes.resize(done > max_size ? 0 : done);
  }
  close(fd);
  return bytes;
}

}  // namespace kavo
