#include "platform/dynamic_library.h"

#include <gtest/gtest.h>

#include <fstream>

#include "rtl/ustring.h"
#include "testkit/temp_dir.h"

namespace kavo::test {
namespace {

TEST(DynamicLibrary, LoadsBySystemNameAndResolvesEntryPoints) {
  DynamicLibrary lib;
  ASSERT_TRUE(lib.Open("kernel32.dll")) << lib.LastError();
  EXPECT_NE(lib.Symbol("GetTickCount"), nullptr);
  EXPECT_EQ(lib.Symbol("NoSuchEntryPoint"), nullptr);
  EXPECT_EQ(StringToUtf8(UpperCase(Utf8ToString(lib.Path()))).find("KERNEL32.DLL"),
            lib.Path().size() - 12);
  lib.Close();
  EXPECT_FALSE(lib.IsOpen());
}

// A missing or broken DLL is an error with the system's reason, never a box
// or a crash.
TEST(DynamicLibrary, MissingAndBrokenLibrariesFailWithTheReason) {
  DynamicLibrary lib;
  EXPECT_FALSE(lib.Open("kavo-no-such-library.dll"));
  EXPECT_EQ(lib.LastError().rfind("kavo-no-such-library.dll: ", 0), 0u) << lib.LastError();
  EXPECT_GT(lib.LastError().size(), std::string("kavo-no-such-library.dll: ").size());

  TempDir dir;
  std::ofstream(dir.File("broken.dll"), std::ios::binary) << "MZ not a library";
  EXPECT_FALSE(lib.Open(dir.File("broken.dll")));
  EXPECT_NE(lib.LastError().find("broken.dll: "), std::string::npos) << lib.LastError();
  EXPECT_FALSE(lib.IsOpen());
}

}  // namespace
}  // namespace kavo::test
