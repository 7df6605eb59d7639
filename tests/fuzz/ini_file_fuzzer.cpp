// The INI reader on a file of any bytes.
// Input: "<section>\n<key>\n<file content>"; section and key are UTF-8.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "fuzz_input.h"
#include "platform/ini_file.h"
#include "rtl/code_page.h"

namespace {

std::string g_path;

void RemoveFile() { unlink(g_path.c_str()); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The service reads its INI in a single-byte ANSI code page.
  kavo::SetAnsiCodePage("CP1252");
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  g_path = std::string(dir) + "/kavo_fuzz_ini_" + std::to_string(getpid()) + ".ini";
  std::atexit(RemoveFile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto parts = kavo::fuzz::Split(data, size, '\n', 3);
  kavo::String section = kavo::Utf8ToString(parts[0]);
  kavo::String key = kavo::Utf8ToString(parts[1]);
  {
    std::ofstream out(g_path, std::ios::binary | std::ios::trunc);
    out.write(parts[2].data(), static_cast<std::streamsize>(parts[2].size()));
  }
  static const kavo::String kDefault = u"<default>";
  kavo::String value = kavo::IniFile(kavo::AnsiToString(g_path)).ReadString(section, key, kDefault);
  FUZZ_CHECK(value == kDefault || value.size() <= kavo::IniFile::kMaxValueLength);

  // The same content already decoded, as the reader sees it.
  kavo::String text = kavo::Utf8ToString(parts[2]);
  value = kavo::IniFile::ReadFromText(text, section, key, kDefault);
  FUZZ_CHECK(value == kDefault || value.size() <= kavo::IniFile::kMaxValueLength);
  return 0;
}
