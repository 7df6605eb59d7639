// A Windows program whose folder holds no Firebird client, or one built for
// another architecture: choosing a server type fails with the client-missing
// text, every time it is tried, and nothing crashes. The test program runs
// from a folder of its own, without the bridge.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ib/ib_database.h"
#include "ib/ib_errors.h"
#include "platform/executable_path.h"
#include "rtl/ustring.h"

namespace kavo::test {
namespace {

String ServerTypeError(const String& type) {
  TIBDatabase db(nullptr);
  try {
    db.SetServerType(type);
  } catch (const EIBClientError& e) {
    EXPECT_EQ(e.SQLCode(), ibceInterBaseMissing);
    return e.Message();
  }
  return u"(no error)";
}

TEST(ClientMissing, NoClientInThePathGivesTheInstallMessage) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(ServerTypeError(u"IBServer"),
              u"InterBase library gds32.dll not found in the path. Please install InterBase to "
              u"use this functionality");
    EXPECT_EQ(ServerTypeError(u"IBEmbedded"),
              u"InterBase library ibtogo.dll not found in the path. Please install InterBase to "
              u"use this functionality");
  }
}

// A 32-bit x86 DLL: its headers and one code section (of no real code):
// the loader refuses it for a 64-bit process before running anything. (A
// 32-bit image without code, Wine would load.)
std::string Pe32Dll() {
  std::string image(1024, '\0');
  auto put16 = [&](size_t at, uint16_t v) { image.replace(at, 2, reinterpret_cast<char*>(&v), 2); };
  auto put32 = [&](size_t at, uint32_t v) { image.replace(at, 4, reinterpret_cast<char*>(&v), 4); };
  const size_t opt = 0x58, section = opt + 0xe0;
  image.replace(0, 2, "MZ");
  put32(0x3c, 0x40);  // e_lfanew
  image.replace(0x40, 4, std::string("PE\0\0", 4));
  put16(0x44, 0x14c);   // Machine: i386
  put16(0x46, 1);       // one section
  put16(0x54, 0xe0);    // SizeOfOptionalHeader
  put16(0x56, 0x2102);  // executable, 32-bit, DLL
  put16(opt, 0x10b);    // PE32
  put32(opt + 4, 0x200);        // SizeOfCode
  put32(opt + 16, 0x1000);      // AddressOfEntryPoint
  put32(opt + 28, 0x10000000);  // ImageBase
  put32(opt + 32, 0x1000);      // SectionAlignment
  put32(opt + 36, 0x200);       // FileAlignment
  put16(opt + 40, 4);           // MajorOperatingSystemVersion
  put16(opt + 48, 4);           // MajorSubsystemVersion
  put32(opt + 56, 0x2000);      // SizeOfImage
  put32(opt + 60, 0x200);       // SizeOfHeaders
  put16(opt + 68, 2);           // Subsystem: GUI
  put32(opt + 92, 16);          // NumberOfRvaAndSizes
  image.replace(section, 5, ".text");
  put32(section + 8, 0x10);          // VirtualSize
  put32(section + 12, 0x1000);       // VirtualAddress
  put32(section + 16, 0x200);        // SizeOfRawData
  put32(section + 20, 0x200);        // PointerToRawData
  put32(section + 36, 0x60000020);   // code, executable, readable
  image[0x200] = '\xc3';            // ret
  return image;
}

TEST(ClientMissing, AThirtyTwoBitClientIsNoClient) {
  const std::filesystem::path dir = StringToUtf8(ExecutableDirectory());
  const char* const names[] = {"gds32.dll", "fbclient.dll", "ibtogo.dll"};
  struct Cleanup {
    const std::filesystem::path& dir;
    const char* const* names;
    ~Cleanup() {
      for (int i = 0; i < 3; ++i) std::filesystem::remove(dir / names[i]);
    }
  } cleanup{dir, names};
  for (const char* name : names) std::ofstream(dir / name, std::ios::binary) << Pe32Dll();
  EXPECT_EQ(ServerTypeError(u"IBServer"),
            u"InterBase library gds32.dll not found in the path. Please install InterBase to use "
            u"this functionality");
  EXPECT_EQ(ServerTypeError(u"IBEmbedded"),
            u"InterBase library ibtogo.dll not found in the path. Please install InterBase to "
            u"use this functionality");
}

}  // namespace
}  // namespace kavo::test
