// The client search on Windows: Oracle homes in the registry (this Wine
// prefix's HKEY_LOCAL_MACHINE\SOFTWARE\ORACLE, rewritten by each case), PATH,
// ORACLE_HOME, oci.dll and the ora<digits>.dll names, and the texts of a
// search or load that fails.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "oracle/oci_library.h"
#include "rtl/exceptions.h"
#include "testkit/temp_dir.h"

namespace kavo::test {
namespace {

namespace fs = std::filesystem;

std::string B(const String& s) { return StringToUtf8(s); }
std::wstring Wide(const std::string& s) { return fs::path(s).wstring(); }

// The headers of a 32-bit x86 DLL, as a 32-bit Oracle client's oci.dll starts.
void WriteX86Dll(const std::string& file) {
  std::string image(0x400, '\0');
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(image.data());
  dos->e_magic = IMAGE_DOS_SIGNATURE;
  dos->e_lfanew = 0x80;
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(image.data() + 0x80);
  nt->Signature = IMAGE_NT_SIGNATURE;
  nt->FileHeader.Machine = IMAGE_FILE_MACHINE_I386;
  nt->FileHeader.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER32);
  nt->FileHeader.Characteristics =
      IMAGE_FILE_DLL | IMAGE_FILE_32BIT_MACHINE | IMAGE_FILE_EXECUTABLE_IMAGE;
  nt->OptionalHeader.Magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
  nt->OptionalHeader.ImageBase = 0x10000000;
  nt->OptionalHeader.SectionAlignment = 0x1000;
  nt->OptionalHeader.FileAlignment = 0x200;
  nt->OptionalHeader.MajorSubsystemVersion = 4;
  nt->OptionalHeader.SizeOfImage = 0x1000;
  nt->OptionalHeader.SizeOfHeaders = 0x400;
  nt->OptionalHeader.Subsystem = IMAGE_SUBSYSTEM_WINDOWS_GUI;
  nt->OptionalHeader.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
  std::ofstream(file, std::ios::binary | std::ios::trunc) << image;
}

class OracleHomeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ORACLE");
    SetEnvironmentVariableW(L"ORACLE_HOME", nullptr);
    SetEnvironmentVariableW(L"NLS_LANG", nullptr);
    SetEnvironmentVariableW(L"PATH", L"C:\\windows\\system32;C:\\windows");
    oci_.AllowAdjustPath = false;
    oci_.SetParamStrings({});
  }
  void TearDown() override {
    oci_.DLLExit();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ORACLE");
  }
  static void SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY h;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"SOFTWARE\\ORACLE" + key).c_str(), 0, nullptr,
                              0, KEY_WRITE, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
  }
  // A home folder whose "bin" holds the given files (copies of `fixture`).
  std::string MakeHome(const std::string& name, const std::vector<std::string>& files,
                       const char* fixture = FIXTURE_OCI81) {
    fs::path bin = fs::path(temp_.path()) / name / "bin";
    fs::create_directories(bin);
    for (const auto& f : files) fs::copy_file(fixture, bin / f);
    return (fs::path(temp_.path()) / name).make_preferred().string();
  }
  void Register(int number, const std::string& name, const std::string& dir) {
    SetValue(L"\\HOME" + std::to_wstring(number), L"ORACLE_HOME", Wide(dir));
    SetValue(L"\\HOME" + std::to_wstring(number), L"ORACLE_HOME_NAME", Wide(name));
  }
  std::string InitError() {
    try {
      oci_.InitOCI();
    } catch (const Exception& e) {
      return B(e.Message());
    }
    return "";
  }
  void Unload() {
    oci_.DLLExit();
    oci_.SetParamStrings({});
  }

  TOCILibrary oci_;
  TempDir temp_;
};

TEST_F(OracleHomeTest, RegisteredHomesChosenByNameThenPathThenLastName) {
  std::string b = MakeHome("b", {"oci.dll"});
  std::string c = MakeHome("c", {"oci.dll"});
  std::string d = MakeHome("d", {"oci.dll"});
  SetValue(L"\\ALL_HOMES", L"HOME_COUNTER", L"3");
  Register(0, "OraHome_x", b);
  Register(1, "zz_gone", (fs::path(temp_.path()) / "nowhere").make_preferred().string());
  Register(2, "OraHome_c", c);
  SetValue(L"\\KEY_OraDb11g", L"ORACLE_HOME", Wide(d));
  SetValue(L"\\KEY_OraDb11g", L"NLS_LANG", L"american_america.al32utf8");
  SetValue(L"\\KEY_NotAHome", L"ORACLE_HOME", L"");

  // Nothing of theirs on PATH: the last home in name order, whose oci.dll
  // is loaded; the PATH then opens with its folder.
  oci_.AllowAdjustPath = true;
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(oci_.OracleHomeKey()), "SOFTWARE\\ORACLE\\HOME0");
  EXPECT_EQ(B(oci_.OracleHomeName), "OraHome_x");
  EXPECT_EQ(B(oci_.OCIDLL), b + "\\bin\\oci.dll");
  EXPECT_TRUE(oci_.OCI81());
  wchar_t path[4096];
  GetEnvironmentVariableW(L"PATH", path, 4096);
  EXPECT_EQ(fs::path(path).string().rfind(b + "\\bin;C:\\windows\\system32;", 0), 0u);
  Unload();

  // The home whose bin folder comes first on PATH (upper case there too).
  std::string p = "C:\\x;" + d + "\\BIN;" + c + "\\bin;C:\\windows";
  SetEnvironmentVariableW(L"PATH", Wide(p).c_str());
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(oci_.OracleHomeKey()), "SOFTWARE\\ORACLE\\KEY_OraDb11g");
  EXPECT_EQ(B(oci_.NLS_LANG()), "AMERICAN_AMERICA.AL32UTF8") << "NLS_LANG from the home's key";
  Unload();

  // A named home wins over PATH.
  oci_.SetParamStrings({u"/silent", u"OracleHome=orahome_c"});
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(oci_.OracleHomeKey()), "SOFTWARE\\ORACLE\\HOME2");
  EXPECT_EQ(B(oci_.OCIDLL), c + "\\bin\\oci.dll");
}

TEST_F(OracleHomeTest, CandidateNamesAndTheTextsOfEveryFailure) {
  // oci.dll beats the versions; without it the highest version wins, and
  // names whose digits do not read are no candidates.
  std::string v = MakeHome("v", {"ora73.dll", "ora805.dll", "oraclient11.dll", "oraNT8.dll"});
  SetEnvironmentVariableW(L"ORACLE_HOME", Wide(v).c_str());
  EXPECT_EQ(oci_.FindOCIDLL(), 0);
  EXPECT_EQ(B(oci_.OCIDLL), v + "\\bin\\ora805.dll") << B(oci_.InitOCILog());
  Unload();
  std::string both = MakeHome("both", {"ora805.dll", "OCI.DLL"});
  SetEnvironmentVariableW(L"ORACLE_HOME", Wide(both).c_str());
  EXPECT_EQ(oci_.FindOCIDLL(), 0);
  EXPECT_EQ(B(oci_.OCIDLL), both + "\\bin\\oci.dll");
  Unload();

  // ORACLE_HOME "." is no home: PATH is searched for oci.dll instead.
  SetEnvironmentVariableW(L"ORACLE_HOME", L".");
  SetEnvironmentVariableW(L"PATH", Wide("C:\\windows;" + both + "\\bin").c_str());
  EXPECT_EQ(oci_.FindOCIDLL(), 0);
  EXPECT_EQ(B(oci_.OracleHomeDir()), both);
  Unload();

  // A registered home that points nowhere, and nothing else.
  SetEnvironmentVariableW(L"ORACLE_HOME", nullptr);
  SetEnvironmentVariableW(L"PATH", L"C:\\windows");
  SetValue(L"\\KEY_Gone", L"ORACLE_HOME", Wide(temp_.path() + "\\gone"));
  EXPECT_EQ(InitError(),
            "Initialization error\r\nOracle Client not properly installed\r\n\r\n"
            "OracleHomeKey: \r\nOracleHomeDir: ");

  // A home without any client library.
  std::string empty = MakeHome("empty", {"readme.txt"});
  SetValue(L"\\KEY_Empty", L"ORACLE_HOME", Wide(empty));
  EXPECT_EQ(InitError(),
            "Initialization error\r\nCould not locate OCI dll\r\n\r\n"
            "OracleHomeKey: SOFTWARE\\ORACLE\\KEY_Empty\r\nOracleHomeDir: " + empty);

  // A 32-bit oci.dll in a 64-bit process, and a file that is no DLL at all.
  std::string x86 = MakeHome("x86", {});
  WriteX86Dll(x86 + "\\bin\\oci.dll");
  SetValue(L"\\KEY_Empty", L"ORACLE_HOME", Wide(x86));
  std::string e = InitError();
  EXPECT_EQ(e.rfind("Initialization error\r\nCould not initialize \"" + x86 +
                        "\\bin\\oci.dll\"\r\n\r\n",
                    0),
            0u)
      << e;
  std::ofstream(x86 + "\\bin\\oci.dll", std::ios::binary | std::ios::trunc) << "MZ junk";
  e = InitError();
  EXPECT_NE(e.find("Could not initialize \"" + x86 + "\\bin\\oci.dll\""), std::string::npos)
      << e;
  EXPECT_FALSE(oci_.DLLLoaded());

  // A forced library that does not exist.
  oci_.SetParamStrings({u"OCIDLL=C:\\nowhere\\oci.dll"});
  e = InitError();
  EXPECT_EQ(e.rfind("Initialization error\r\nCould not load \"C:\\nowhere\\oci.dll\"\r\n\r\n"
                    "OCIDLL forced to C:\\nowhere\\oci.dll\r\nLoadLibrary(C:\\nowhere\\oci.dll) "
                    "returned 0",
                    0),
            0u)
      << e;
}

}  // namespace
}  // namespace kavo::test
