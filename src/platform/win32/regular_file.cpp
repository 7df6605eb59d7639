#include "platform/regular_file.h"

#include <windows.h>

namespace kavo {

std::string ReadRegularFile(const String& path, size_t max_size) {
  // Shared with writers: an editor holding the file open must not hide it.
  HANDLE file = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  LARGE_INTEGER size{};
  if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) &&
      static_cast<unsigned long long>(size.QuadPart) <= max_size) {
    // One byte more than the file has tells a file that grew meanwhile.
    bytes.resize(static_cast<size_t>(size.QuadPart) + 1);
    size_t done = 0;
    for (;;) {
      if (done == bytes.size()) {
        if (done > max_size) break;
        bytes.resize(max_size + 1);
      }
      DWORD n = 0;
      if (!ReadFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n,
                    nullptr)) {
        done = 0;  // unreadable: the defaults
        break;
      }
      if (n == 0) break;
      done += n;
    }
    bytes.resize(done > max_size ? 0 : done);
  }
  CloseHandle(file);
  return bytes;
}

}  // namespace kavo
