// Creating the module fails when the Firebird client library is missing, or
// the trace asked for cannot be read: in every use, before anything is
// installed, logged or reported.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "testkit/service_process.h"

namespace kavo::test {
namespace {

const std::string kClientMissing =
    "Exception EReadError in module KavoIntegradorOracle at 0000000000000000.\r\n"
    "Error reading IBDatabase.ServerType: InterBase library libfbclient.so.2 not found in the "
    "path. Please install InterBase to use this functionality.\r\n";

void HideTheFirebirdClient(ServiceProcess& p) {
  p.AddEnv(std::string("LD_PRELOAD=") + KAVO_HIDE_FBCLIENT_PROBE);
  // The probe comes before the sanitizer runtime in the library list.
  const char* asan = getenv("ASAN_OPTIONS");
  p.AddEnv(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0");
}

TEST(WithoutTheFirebirdClient, TheServiceEndsWithTheReadErrorBeforeItsFirstReport) {
  ServiceProcess p;
  p.SetIni("[KavoIntegracao]\r\nMINUTOS=1\r\n");
  HideTheFirebirdClient(p);
  EXPECT_EQ(p.Run({}, true), 1);
  EXPECT_EQ(p.Stderr(), kClientMissing);
  EXPECT_EQ(p.Stdout(), "");
  p.Drain(std::chrono::milliseconds(50));
  EXPECT_TRUE(p.Messages().empty());
  EXPECT_FALSE(p.Exists("LogKavoIntegracao.txt"));
  EXPECT_TRUE(p.Events().empty());
}

TEST(WithoutTheFirebirdClient, NothingIsInstalledOrRemoved) {
  ServiceProcess p;
  mkdir(p.File("units").c_str(), 0755);
  EXPECT_EQ(p.Run({"/INSTALL"}), 0) << "the client is there: the unit is written";
  ASSERT_TRUE(p.Exists("units/KavoServicoIntegrador.service"));
  HideTheFirebirdClient(p);
  EXPECT_EQ(p.Run({"/UNINSTALL"}), 1);
  EXPECT_EQ(p.Stderr(), kClientMissing);
  EXPECT_EQ(p.Stdout(), "");
  EXPECT_TRUE(p.Exists("units/KavoServicoIntegrador.service"));
  EXPECT_FALSE(p.Exists("LogKavoIntegracao.txt"));
}

// A trace the operator asked for in a form that cannot be read is said at
// once, the way a stored setting that cannot be applied is.
TEST(TraceFlagsForTheRun, AnUnknownKindEndsTheProgramBeforeItsFirstReport) {
  ServiceProcess p;
  p.SetIni("[KavoIntegracao]\r\nMINUTOS=1\r\n");
  p.AddEnv("KAVO_TRACE_FLAGS=execute,statements");
  EXPECT_EQ(p.Run({}, true), 1);
  EXPECT_EQ(p.Stderr(),
            "Exception EConvertError in module KavoIntegradorOracle at 0000000000000000.\r\n"
            "KAVO_TRACE_FLAGS: unknown kind \"statements\" (kinds: prepare, execute, fetch, "
            "error, stmt, connect, transact, blob, service, misc, or all).\r\n");
  p.Drain(std::chrono::milliseconds(50));
  EXPECT_TRUE(p.Messages().empty());
  EXPECT_FALSE(p.Exists("LogKavoIntegracao.txt"));
}

}  // namespace
}  // namespace kavo::test
