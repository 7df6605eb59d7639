#include "service/activity_log.h"

#include <windows.h>

#include <string>

#include "rtl/exceptions.h"

namespace kavo {
namespace {

constexpr char kEofByte = 26;
constexpr LONGLONG kEofScan = 128;
constexpr int kDiskFull = 101;

// The system's codes are the I/O codes themselves; a full disk is the short
// write of code 101.
[[noreturn]] void Fail(DWORD error, const String& path) {
  int code = (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
                 ? kDiskFull
                 : static_cast<int>(error);
  throw EInOutError(code, code == 3 ? StringView(path) : StringView());
}

class LogFile {
 public:
  explicit LogFile(const String& path) : path_(path) {}
  ~LogFile() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }

  // Others may read while a line is written, never write (they get the
  // sharing violation 32). A link at the log's name is opened as itself and
  // refused, never followed.
  void Open() {
    h_ = Create(OPEN_EXISTING);
    if (h_ != INVALID_HANDLE_VALUE) {
      BY_HANDLE_FILE_INFORMATION info;
      if (!GetFileInformationByHandle(h_, &info)) Fail(GetLastError(), path_);
      if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))
        Fail(ERROR_ACCESS_DENIED, path_);
      size_ = (static_cast<LONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
      CutAtEofByte();
      return;
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) Fail(error, path_);
    h_ = Create(CREATE_ALWAYS);
    if (h_ == INVALID_HANDLE_VALUE) Fail(GetLastError(), path_);
    size_ = 0;
  }

  // The line goes in whole or not at all.
  void Write(const std::string& bytes) {
    LARGE_INTEGER end;
    end.QuadPart = size_;
    DWORD written = 0;
    if (!SetFilePointerEx(h_, end, nullptr, FILE_BEGIN) ||
        !WriteFile(h_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
      DWORD error = written != bytes.size() && GetLastError() == 0 ? ERROR_DISK_FULL
                                                                   : GetLastError();
      CutAt(size_);
      Fail(error, path_);
    }
  }

  void Close() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(h)) Fail(GetLastError(), path_);
  }

 private:
  HANDLE Create(DWORD disposition) {
    return CreateFileW(reinterpret_cast<LPCWSTR>(path_.c_str()), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  }

  void CutAt(LONGLONG size) {
    LARGE_INTEGER at;
    at.QuadPart = size;
    SetFilePointerEx(h_, at, nullptr, FILE_BEGIN);
    SetEndOfFile(h_);
  }

  void CutAtEofByte() {
    if (size_ == 0) return;
    LONGLONG start = size_ > kEofScan ? size_ - kEofScan : 0;
    LARGE_INTEGER at;
    at.QuadPart = start;
    char block[kEofScan];
    DWORD n = 0;
    if (!SetFilePointerEx(h_, at, nullptr, FILE_BEGIN) ||
        !ReadFile(h_, block, static_cast<DWORD>(size_ - start), &n, nullptr))
      Fail(GetLastError(), path_);
    for (DWORD i = 0; i < n; ++i) {
      if (block[i] == kEofByte) {
        size_ = start + i;
        CutAt(size_);
        return;
      }
    }
  }

  const String& path_;
  HANDLE h_ = INVALID_HANDLE_VALUE;
  LONGLONG size_ = 0;
};

}  // namespace

void AppendToLogFile(const String& path, const std::string& bytes) {
  LogFile file(path);
  file.Open();
  file.Write(bytes);
  file.Close();
}

}  // namespace kavo
