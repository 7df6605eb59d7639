#include "service/ini_file_problem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/ini_file.h"
#include "rtl/os_text.h"

namespace kavo {

String IniFileProblem(const String& path) {
  int fd = open(StringToOsText(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    int error = errno;
    if (error == ENOENT) return u"no such file";
    return Utf8ToString(std::strerror(error));
  }
  struct stat st {};
  String problem;
  if (fstat(fd, &st) != 0)
    problem = Utf8ToString(std::strerror(errno));
  else if (!S_ISREG(st.st_mode))
    problem = u"not a regular file";
  else if (static_cast<uintmax_t>(st.st_size) > IniFile::kMaxFileSize)
    problem = u"larger than 1 MiB";
  close(fd);
  return problem;
}

}  // namespace kavo
