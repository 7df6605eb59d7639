// The client search and load, with temporary homes and an oratab holding the
// fixture libraries built beside this test.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "oracle/critical_section.h"
#include "oracle/oci_library.h"
#include "platform/dynamic_library.h"
#include "rtl/exceptions.h"
#include "testkit/message_of.h"
#include "testkit/temp_dir.h"

namespace kavo::test {
namespace {

namespace fs = std::filesystem;

String S(const std::string& s) { return Utf8ToString(s); }
std::string B(const String& s) { return StringToUtf8(s); }

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    oratab_ = root_ / "oratab";
    std::ofstream(oratab_).close();
    setenv("KAVO_ORATAB", oratab_.c_str(), 1);
    unsetenv("ORACLE_HOME");
    unsetenv("NLS_LANG");
    setenv("LD_LIBRARY_PATH", "/nonexistent-kavo", 1);
    Reset();
  }
  void TearDown() override { Reset(); }
  void Reset() {
    oci_.DLLExit();
    oci_.OCIDLL.clear();
    oci_.OracleHomeName.clear();
    oci_.ExcludedOCIDLLs.clear();
    oci_.ForceOCI7 = false;
    oci_.AllowAdjustPath = false;
    oci_.SetParamStrings({});
  }
  // A home directory with the given library files (copies of `fixture`).
  fs::path MakeHome(const std::string& name, const std::vector<std::string>& libs,
                    const char* fixture = FIXTURE_OCI81, bool lib_subdir = true) {
    fs::path home = root_ / name;
    fs::path dir = lib_subdir ? home / "lib" : home;
    fs::create_directories(dir);
    for (const auto& l : libs) fs::copy_file(fixture, dir / l);
    return home;
  }
  void AddOratab(const std::string& line) {
    std::ofstream(oratab_, std::ios::app) << line << "\n";
  }
  // The message InitOCI raises, or "" when it loads.
  std::string InitError() {
    try {
      oci_.InitOCI();
    } catch (const Exception& e) {
      return B(e.Message());
    }
    return "";
  }

  // A library object of the test's own: the search and load need nothing of
  // the process's one.
  TOCILibrary oci_;
  TempDir temp_{"/tmp/kavo-loader-"};
  fs::path root_{temp_.path()};
  fs::path oratab_;
};

TEST_F(LoaderTest, NoHomeAnywhereIsNotInstalledWithTheSearchLog) {
  AddOratab("# comment only");
  EXPECT_EQ(InitError(),
            "Initialization error\r\nOracle Client not properly installed\r\n\r\n"
            "OracleHomeKey: \r\nOracleHomeDir: ");
  EXPECT_FALSE(oci_.DLLLoaded());
}

TEST_F(LoaderTest, HomeChoiceFollowsNameThenLibraryPathThenLastName) {
  fs::path a = MakeHome("a", {"libclntsh.so"});
  fs::path b = MakeHome("b", {"libclntsh.so"});
  MakeHome("c", {"libclntsh.so"});
  AddOratab("alpha:" + a.string() + ":N");
  AddOratab("Beta:" + b.string() + ":N");
  AddOratab("gone:" + (root_ / "missing").string() + ":N");  // directory absent: skipped
  AddOratab("gamma:" + (root_ / "c").string() + ":Y");

  // Nothing in LD_LIBRARY_PATH: the last home in name order.
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(oci_.OracleHomeKey()), "gamma");
  EXPECT_EQ(B(oci_.OCIDLL), (root_ / "c/lib/libclntsh.so").string());
  EXPECT_TRUE(oci_.DefaultHomeName());
  EXPECT_EQ(B(oci_.OracleHomeName), "gamma");
  Reset();
  EXPECT_EQ(B(oci_.OracleHomeName), "") << "a home name found by the search is forgotten on unload";

  // The home whose lib directory comes first in LD_LIBRARY_PATH.
  std::string path = "/x:" + (b / "lib").string() + ":" + (a / "lib").string();
  setenv("LD_LIBRARY_PATH", path.c_str(), 1);
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(oci_.OracleHomeKey()), "Beta");
  Reset();

  // A prefix of an entry does not count as the entry.
  setenv("LD_LIBRARY_PATH", ((a / "lib").string() + "64:" + (b / "lib").string()).c_str(), 1);
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(oci_.OracleHomeKey()), "Beta");
  Reset();

  // A named home wins regardless of the path, from the parameter or the program.
  setenv("LD_LIBRARY_PATH", path.c_str(), 1);
  oci_.SetParamStrings({u"-x", u"oraclehome=ALPHA"});
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(oci_.OracleHomeKey()), "alpha");
  EXPECT_EQ(B(oci_.OCIDLL), (a / "lib/libclntsh.so").string());
  Reset();
  oci_.OracleHomeName = u"gamma";
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(oci_.OracleHomeKey()), "gamma");
  EXPECT_FALSE(oci_.DefaultHomeName());
  oci_.DLLExit();
  EXPECT_EQ(B(oci_.OracleHomeName), "gamma") << "a home name set by the program survives";
}

TEST_F(LoaderTest, CandidateChoiceVersionsAndExclusions) {
  fs::path h = MakeHome("h", {"libclntsh.so.11.2", "libclntsh.so.19.1", "libclntsh.so.9.10",
                              "libclntshcore.so.23.1", "libclntsh.so.abc"});
  setenv("ORACLE_HOME", h.c_str(), 1);
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(oci_.OCIDLL), (h / "lib/libclntsh.so.19.1").string());
  EXPECT_NE(oci_.InitOCILog().find(u"Found: libclntsh.so.11.2"), String::npos);
  EXPECT_EQ(oci_.InitOCILog().find(u"libclntshcore"), String::npos) << B(oci_.InitOCILog());
  EXPECT_EQ(oci_.InitOCILog().find(u"libclntsh.so.abc"), String::npos);
  EXPECT_NE(oci_.InitOCILog().find(S("Using: " + (h / "lib/libclntsh.so.19.1").string())),
            String::npos);
  Reset();

  oci_.ExcludedOCIDLLs = u"\"libclntsh.so.19.1\"";
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(oci_.OCIDLL), (h / "lib/libclntsh.so.11.2").string());
  Reset();

  // The unversioned name is taken at once.
  fs::copy_file(FIXTURE_OCI81, h / "lib/libclntsh.so");
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(oci_.OCIDLL), (h / "lib/libclntsh.so").string());
  Reset();

  // An excluded library is still used when it is the only candidate.
  fs::path only = MakeHome("only", {"libclntsh.so.19.1"});
  setenv("ORACLE_HOME", only.c_str(), 1);
  oci_.ExcludedOCIDLLs = u"\"LIBCLNTSH.SO.19.1\"";
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(oci_.OCIDLL), (only / "lib/libclntsh.so.19.1").string());
}

TEST_F(LoaderTest, InstantClientLayoutAndLibraryPathSearch) {
  // ORACLE_HOME naming the library directory itself (no lib subdirectory).
  fs::path ic = MakeHome("instantclient", {"libclntsh.so"}, FIXTURE_OCI81, false);
  setenv("ORACLE_HOME", ic.c_str(), 1);
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(oci_.OCIDLL), (ic / "libclntsh.so").string());
  EXPECT_FALSE(oci_.OracleBinDir());
  Reset();

  // ORACLE_HOME "." is ignored; LD_LIBRARY_PATH is searched, "/lib" cut off.
  fs::path h = MakeHome("viapath", {"libclntsh.so"});
  setenv("ORACLE_HOME", ".", 1);
  setenv("LD_LIBRARY_PATH", ("/nope:" + (h / "lib").string() + "/").c_str(), 1);
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(oci_.OracleHomeDir()), h.string());
  EXPECT_EQ(B(oci_.OCIDLL), (h / "lib/libclntsh.so").string());
}

TEST_F(LoaderTest, HomeWithoutCandidatesCannotLocate) {
  fs::path h = MakeHome("empty", {});
  setenv("ORACLE_HOME", h.c_str(), 1);
  std::string e = InitError();
  EXPECT_EQ(e.rfind("Initialization error\r\nCould not locate OCI dll\r\n\r\n", 0), 0u) << e;
}

TEST_F(LoaderTest, MissingForcedLibraryCouldNotLoadWithLogLine) {
  oci_.OCIDLL = u"/nonexistent-kavo/lib/libclntsh.so";
  std::string e = InitError();
  EXPECT_EQ(e.rfind("Initialization error\r\nCould not load "
                    "\"/nonexistent-kavo/lib/libclntsh.so\"\r\n\r\n"
                    "OCIDLL forced to /nonexistent-kavo/lib/libclntsh.so\r\n"
                    "LoadLibrary(/nonexistent-kavo/lib/libclntsh.so) returned 0",
                    0),
            0u)
      << e;
  EXPECT_FALSE(oci_.DLLLoaded());
  EXPECT_EQ(B(oci_.OCIDLL), "/nonexistent-kavo/lib/libclntsh.so") << "a forced path survives";

  // The parameter forces it the same way.
  oci_.OCIDLL.clear();
  oci_.SetParamStrings({u"OCIDLL=/nonexistent-kavo/other.so"});
  e = InitError();
  EXPECT_NE(e.find("Could not load \"/nonexistent-kavo/other.so\""), std::string::npos) << e;
}

TEST_F(LoaderTest, UnusableLibrariesCouldNotInitialize) {
  // A file that is no library at all.
  fs::path h = root_ / "junk/lib";
  fs::create_directories(h);
  std::ofstream(h / "libclntsh.so") << "not an ELF file";
  setenv("ORACLE_HOME", (root_ / "junk").c_str(), 1);
  std::string e = InitError();
  EXPECT_EQ(e.rfind("Initialization error\r\nCould not initialize \"" +
                        (h / "libclntsh.so").string() + "\"\r\n\r\n",
                    0),
            0u)
      << e;
  Reset();

  // A library lacking one OCI 8 routine and every OCI 7 one.
  fs::path b = MakeHome("broken", {"libclntsh.so"}, FIXTURE_BROKEN);
  setenv("ORACLE_HOME", b.c_str(), 1);
  e = InitError();
  EXPECT_NE(e.find("Could not initialize \"" + (b / "lib/libclntsh.so").string() + "\""),
            std::string::npos)
      << e;
  EXPECT_FALSE(oci_.DLLLoaded());
  EXPECT_FALSE(oci_.Has(OCIEntry::OCIHandleAlloc)) << "nothing stays resolved after a failure";
}

TEST_F(LoaderTest, GroupChainStopsAtTheFirstMissingName) {
  DynamicLibrary lib;
  ASSERT_TRUE(lib.Open(FIXTURE_BROKEN));
  oci_.ResolveOCIEntryPoints(&lib);
  EXPECT_FALSE(oci_.OCI80Detected());
  EXPECT_FALSE(oci_.OCI80());
  EXPECT_NE(oci_.OCIEntryPoint("OCILobWrite"), nullptr) << "names before the gap are resolved";
  EXPECT_EQ(oci_.OCIEntryPoint("OCIServerVersion"), nullptr) << "names after it are not looked up";
  EXPECT_FALSE(oci_.Has(OCIEntry::OCIAttrGet));
  EXPECT_FALSE(oci_.Has(OCIEntry::OCIEnvCreate)) << "later generations follow the chain";
  EXPECT_FALSE(oci_.OCI81Detected());
  oci_.ResolveOCIEntryPoints(nullptr);
}

// The fixture's own record of OCIInitialize calls.
int InitializeCalls(const String& path, unsigned* mode) {
  void* h = dlopen(B(path).c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h == nullptr) return -1;
  int calls = *static_cast<int*>(dlsym(h, "fixture_initialize_calls"));
  *mode = *static_cast<unsigned*>(dlsym(h, "fixture_initialize_mode"));
  dlclose(h);
  return calls;
}

TEST_F(LoaderTest, GenerationFlagsAndFirstTimeInitialisation) {
  // 8.1 with 9.2 names but no OCIStmtFetch2: the chain ends at 8.1.
  oci_.OCIDLL = S(FIXTURE_OCI81);
  ASSERT_EQ(InitError(), "");
  EXPECT_TRUE(oci_.OCI80() && oci_.OCI81() && oci_.ExtProcDetected());
  EXPECT_FALSE(oci_.OCI70() || oci_.OCI72() || oci_.OCI73());
  EXPECT_FALSE(oci_.OCI90() || oci_.OCI92() || oci_.OCI101() || oci_.OCI102() || oci_.OCI111());
  EXPECT_FALSE(oci_.Has(OCIEntry::OCIStmtPrepare2));
  unsigned mode = 0;
  EXPECT_EQ(InitializeCalls(oci_.OCIDLL, &mode), 0)
      << "an 8.1 client gets no global initialisation";
  Reset();

  // An 8.0 client: OCIInitialize once, threaded and object mode.
  oci_.OCIDLL = S(FIXTURE_OCI80);
  ASSERT_EQ(InitError(), "");
  EXPECT_TRUE(oci_.OCI80());
  EXPECT_FALSE(oci_.OCI81() || oci_.ExtProcDetected());
  oci_.InitOCI();  // loaded already: nothing happens
  EXPECT_EQ(InitializeCalls(oci_.OCIDLL, &mode), 1);
  EXPECT_EQ(mode, 3u);
  Reset();

  // ForceOCI7 clears only OCI80.
  oci_.OCIDLL = S(FIXTURE_OCI7AND8);
  oci_.ForceOCI7 = true;
  ASSERT_EQ(InitError(), "");
  EXPECT_TRUE(oci_.OCI70() && oci_.OCI72() && oci_.OCI73());
  EXPECT_FALSE(oci_.OCI80());
  EXPECT_TRUE(oci_.OCI80Detected() && oci_.OCI81());
}

TEST_F(LoaderTest, CallsThroughMissingEntriesRaiseInsteadOfJumping) {
  OCIHandle handle = nullptr;
  auto prepare2 = [&] {
    oci_.OCIStmtPrepare2(nullptr, &handle, nullptr, nullptr, 0u, nullptr, 0u, OCI_NTV_SYNTAX,
                         OCI_DEFAULT);
  };
  auto initialize = [&] {
    oci_.OCIInitialize(OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr);
  };
  EXPECT_EQ(B(MessageOf(initialize)),
            "The OCI routine OCIInitialize is not available: no OCI library is loaded");

  // 8.1 without OCIStmtFetch2: the 9.2 routines are not resolved.
  oci_.OCIDLL = S(FIXTURE_OCI81);
  ASSERT_EQ(InitError(), "");
  EXPECT_EQ(B(MessageOf(prepare2)), "The OCI routine OCIStmtPrepare2 is not available in \"" +
                                        std::string(FIXTURE_OCI81) + "\"");
  EXPECT_EQ(handle, nullptr);
  // A resolved entry reaches the library's own routine.
  unsigned mode = 0;
  EXPECT_EQ(MessageOf(initialize), u"(none)");
  EXPECT_EQ(InitializeCalls(oci_.OCIDLL, &mode), 1);

  // Unloading forgets every address.
  oci_.DLLExit();
  EXPECT_NE(MessageOf(initialize).find(u"no OCI library is loaded"), String::npos);
}

TEST_F(LoaderTest, PathAdjustmentNeverAccumulates) {
  oci_.AllowAdjustPath = true;
  oci_.AdjustPath(u"/first/lib");
  String once = S(getenv("LD_LIBRARY_PATH"));
  ASSERT_EQ(once.rfind(u"/first/lib", 0), 0u);
  oci_.AdjustPath(u"/second/lib");
  String twice = S(getenv("LD_LIBRARY_PATH"));
  EXPECT_EQ(twice.rfind(u"/second/lib", 0), 0u);
  EXPECT_EQ(twice.find(u"/first/lib"), String::npos) << B(twice);
  oci_.AdjustPath(u"/first/lib");
  EXPECT_EQ(S(getenv("LD_LIBRARY_PATH")), once);
  oci_.AllowAdjustPath = false;
  oci_.AdjustPath(u"/third/lib");
  EXPECT_EQ(S(getenv("LD_LIBRARY_PATH")), once);
}

TEST_F(LoaderTest, ParametersAndNlsLang) {
  oci_.SetParamStrings({u"/SILENT", u"OCIDLL=" + String(300, u'x')});
  EXPECT_EQ(oci_.GetParamString(u"OCIDLL"), String(255, u'x'));
  EXPECT_EQ(oci_.GetParamString(u"ORACLEHOME"), u"");

  setenv("NLS_LANG", "american_america.al32utf8", 1);
  EXPECT_EQ(oci_.NLS_LANG(), u"AMERICAN_AMERICA.AL32UTF8");
  EXPECT_TRUE(oci_.UTF8Client());
  setenv("NLS_LANG", "AMERICAN_AMERICA.WE8ISO8859P1", 1);
  EXPECT_TRUE(oci_.UTF8Client()) << "cached until unload";
  oci_.DLLExit();
  EXPECT_FALSE(oci_.UTF8Client());
}

TEST(OracleCriticalSection, SurplusLeaveDoesNothing) {
  TOracleCriticalSection cs;
  cs.Leave();
  EXPECT_EQ(cs.Entered(), 0);
  cs.Enter();
  cs.Enter();
  EXPECT_EQ(cs.Entered(), 2);
  cs.Leave();
  cs.Leave();
  cs.Leave();
  EXPECT_EQ(cs.Entered(), 0);
}

}  // namespace
}  // namespace kavo::test
