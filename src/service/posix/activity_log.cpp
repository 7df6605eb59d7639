#include "service/activity_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "rtl/exceptions.h"
#include "rtl/os_text.h"

namespace kavo {
namespace {

constexpr int kSharingViolation = 32;
constexpr unsigned char kEofByte = 26;
constexpr off_t kEofScan = 128;

int IoCode(int e, bool creating) {
  switch (e) {
    case EACCES: case EPERM: case EROFS: case EISDIR: case ETXTBSY: case ELOOP: return 5;
    case ENOENT: return creating ? 3 : 2;
    case ENAMETOOLONG: case ENOTDIR: return 3;
    case EMFILE: case ENFILE: return 4;
    case ENOSPC: case EDQUOT: return 101;
    case EWOULDBLOCK: return kSharingViolation;
    default: return e;
  }
}

// The log's file for the path last written. Between lines it stays open
// but unlocked, so other writers are kept out only while a line is written,
// as the share mode of an open-write-close would keep them out; a line then
// costs no open and no close, and the log takes one line per copied row. At
// each line the name is looked at again: a file removed, replaced or
// renamed meanwhile is let go and the one now at the name is opened (or a
// new one created).
class LogFile {
 public:
  ~LogFile() { Drop(); }

  void Append(const String& path, const std::string& name, const std::string& bytes) {
    path_ = &path;
    if (name != name_) {
      Drop();
      name_ = name;
    }
    try {
      if (fd_ < 0 || !StillAtItsName()) Open();
      CutAtEofByte();
      Write(bytes);
    } catch (...) {
      Drop();
      throw;
    }
    flock(fd_, LOCK_UN);
  }

 private:
  // Under the lock, whether the kept file is still the one at the name and
  // may still be written; its size is read on the way.
  bool StillAtItsName() {
    Lock();
    struct stat st;
    if (lstat(name_.c_str(), &st) != 0 || st.st_dev != dev_ || st.st_ino != ino_) {
      Drop();
      return false;
    }
    CheckWritable(st);
    size_ = st.st_size;
    return true;
  }

  // Opening first and asking the open file the rest: the service runs as
  // root beside a file others may name, so a link at the log's name is never
  // followed (nor created through), and only a regular file is written.
  void Open() {
    constexpr int kFlags = O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    fd_ = open(name_.c_str(), kFlags);
    bool created = false;
    if (fd_ < 0) {
      // A directory at the path does not count as the file.
      if (errno != ENOENT && errno != EISDIR) Fail(errno, false);
      // Error texts carry row data: not for every local user.
      fd_ = open(name_.c_str(), kFlags | O_CREAT, 0640);
      if (fd_ < 0) Fail(errno, true);
      created = true;
    }
    Lock();
    struct stat st;
    if (fstat(fd_, &st) != 0) Fail(errno, false);
    if (created) {
      if (!S_ISREG(st.st_mode)) Fail(EACCES, false);
      if (ftruncate(fd_, 0) != 0) Fail(errno, false);
      st.st_size = 0;
    } else {
      CheckWritable(st);
    }
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    size_ = st.st_size;
  }

  void CheckWritable(const struct stat& st) {
    if (!S_ISREG(st.st_mode)) Fail(EACCES, false);
    // No write bit anywhere is the read-only mark, also for root.
    if ((st.st_mode & 0222) == 0) Fail(EACCES, false);
  }

  // The line goes in whole or not at all: a full disk must not leave half a
  // line for the next one to be glued to.
  void Write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        int e = n < 0 ? errno : ENOSPC;
        // Back to the size before the line: the error is what is reported.
        if (done > 0) {
          [[maybe_unused]] int cut = ftruncate(fd_, size_);
        }
        Fail(e, false);
      }
      done += static_cast<size_t>(n);
    }
  }

  // Closing lets go of the lock too.
  void Drop() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  [[noreturn]] void Fail(int e, bool creating) {
    int code = IoCode(e, creating);
    throw EInOutError(code, code == 3 ? StringView(*path_) : StringView());
  }

  // Stands in for the share mode that keeps other writers out.
  void Lock() {
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) Fail(errno, false);
  }

  // The file is opened for appending: what is written goes to its end also
  // after a cut.
  void CutAtEofByte() {
    if (size_ == 0) return;
    off_t start = size_ > kEofScan ? size_ - kEofScan : 0;
    char block[kEofScan];
    ssize_t n = pread(fd_, block, static_cast<size_t>(size_ - start), start);
    if (n < 0) Fail(errno, false);
    for (ssize_t i = 0; i < n; ++i) {
      if (static_cast<unsigned char>(block[i]) == kEofByte) {
        if (ftruncate(fd_, start + i) != 0) Fail(errno, false);
        size_ = start + i;
        return;
      }
    }
  }

  const String* path_ = nullptr;
  std::string name_;
  int fd_ = -1;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  off_t size_ = 0;
};

// The file system's name for `path`, kept for the path last asked for: the
// module writes every line to the same file. Called under the log's lock.
const std::string& OsNameOf(const String& path) {
  static String last_path;
  static std::string last_name;
  static bool known = false;
  if (!known || path != last_path) {
    last_name = StringToOsText(path);
    last_path = path;
    known = true;
  }
  return last_name;
}

}  // namespace

void AppendToLogFile(const String& path, const std::string& bytes) {
  static LogFile file;
  file.Append(path, OsNameOf(path), bytes);
}

}  // namespace kavo
