#include "service/service_application.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>

#include "platform/command_line.h"
#include "platform/event_log.h"
#include "platform/executable_path.h"
#include "testkit/recording_service.h"
#include "rtl/exceptions.h"
#include "service/unhandled_error.h"
#include "testkit/temp_dir.h"

namespace kavo::test {
namespace {

class CapturingApplication : public TServiceApplication {
 public:
  void DisplayMessage(const String& text, TMessageKind kind) override {
    messages.push_back(text);
    kinds.push_back(kind);
  }
  std::vector<String> messages;
  std::vector<TMessageKind> kinds;
};

class Registration : public ::testing::Test {
 protected:
  void SetUp() override { setenv("KAVO_UNIT_DIR", units_.path().c_str(), 1); }
  void TearDown() override { unsetenv("KAVO_UNIT_DIR"); }

  TempDir units_;
  CapturingApplication app_;
};

TEST_F(Registration, InstallTwiceShowsTheFailureOfTheSecond) {
  auto* svc = new RecordingService(&app_, u"KavoServicoIntegrador");
  svc->DisplayName = u"KavoIntegradorOracle";
  app_.RegisterServices(true, false);
  EXPECT_TRUE(units_.Exists("KavoServicoIntegrador.service"));
  app_.RegisterServices(true, false);
  ASSERT_EQ(app_.messages.size(), 2u);
  EXPECT_EQ(app_.messages[0], u"Service installed successfully");
  EXPECT_EQ(app_.kinds[0], mkInformation);
  EXPECT_EQ(app_.messages[1],
            u"Service \"KavoIntegradorOracle\" failed to install with error: "
            u"\"System Error.  Code: 17.\r\nFile exists\"");
  EXPECT_EQ(app_.kinds[1], mkError);
}

TEST_F(Registration, SilentHidesSuccessButNotFailure) {
  new RecordingService(&app_, u"KavoServicoIntegrador");
  app_.RegisterServices(true, true);
  app_.RegisterServices(false, true);
  EXPECT_TRUE(app_.messages.empty());
  EXPECT_FALSE(units_.Exists("KavoServicoIntegrador.service"));
  app_.RegisterServices(false, true);
  ASSERT_EQ(app_.messages.size(), 1u);
  EXPECT_EQ(app_.messages[0].rfind(u"Service \"\" failed to uninstall with error: \"System Error.  Code: 2.", 0),
            0u);
}

TEST_F(Registration, OneFailingServiceDoesNotStopTheOthers) {
  new RecordingService(&app_, u"First");
  auto* second = new RecordingService(&app_, u"Second");
  second->DisplayName = u"Second Display";
  second->BeforeInstall = [](TService*) { throw EInvalidOperation(u"refused"); };
  new RecordingService(&app_, u"Third");
  app_.RegisterServices(true, false);
  EXPECT_TRUE(units_.Exists("First.service"));
  EXPECT_FALSE(units_.Exists("Second.service"));
  EXPECT_TRUE(units_.Exists("Third.service"));
  EXPECT_EQ(app_.messages,
            std::vector<String>{u"Service \"Second Display\" failed to install with error: \"refused\""});
}

TEST_F(Registration, FailingAfterInstallRemovesTheNewUnit) {
  auto* svc = new RecordingService(&app_, u"Svc");
  svc->AfterInstall = [](TService*) { throw EInvalidOperation(u"after"); };
  app_.RegisterServices(true, false);
  EXPECT_FALSE(units_.Exists("Svc.service"));
  ASSERT_EQ(app_.messages.size(), 1u);
  EXPECT_EQ(app_.messages[0], u"Service \"\" failed to install with error: \"after\"");
}

TEST_F(Registration, AfterInstallFailureIsShownEvenWhenTheRemovalFailsToo) {
  auto* svc = new RecordingService(&app_, u"Svc");
  svc->AfterInstall = [this](TService*) {
    std::remove(units_.File("Svc.service").c_str());
    throw EInvalidOperation(u"after");
  };
  app_.RegisterServices(true, false);
  EXPECT_EQ(app_.messages,
            std::vector<String>{u"Service \"\" failed to install with error: \"after\""});
}

TEST_F(Registration, UnitDirectoryThatCannotBeOpenedLeavesTheProgram) {
  new RecordingService(&app_, u"Svc");
  setenv("KAVO_UNIT_DIR", units_.File("missing").c_str(), 1);
  EXPECT_THROW(app_.RegisterServices(true, false), EOSError);
  EXPECT_TRUE(app_.messages.empty());
}

TEST(ServiceApplication, InstallingFollowsTheSwitches) {
  TServiceApplication app;
  SetCommandLine({u"prog", u"/silent"});
  EXPECT_FALSE(app.Installing());
  SetCommandLine({u"prog", u"-Uninstall"});
  EXPECT_TRUE(app.Installing());
  SetCommandLine({u"prog", u"/install:x", u"install"});
  EXPECT_FALSE(app.Installing());
  SetCommandLine({u"prog", u"/INSTALL", u"/UNINSTALL"});
  EXPECT_TRUE(app.Installing());
  SetCommandLine({});
}

TEST(ServiceApplication, InitializeRunsOnce) {
  TServiceApplication app;
  EXPECT_FALSE(app.Initialized());
  app.Initialize();
  app.Initialize();
  EXPECT_TRUE(app.Initialized());
}

TEST(ServiceApplication, DispatchFindsTheServiceByNameWithoutRegardToCase) {
  MemoryEventSink events;
  SetEventSink(&events);
  TServiceApplication app;
  auto* alpha = new RecordingService(&app, u"Alpha");
  auto* beta = new RecordingService(&app, u"Beta");
  EXPECT_EQ(app.Services(), (std::vector<TService*>{alpha, beta}));
  app.DispatchServiceMain({u"nobody"});
  EXPECT_TRUE(events.Events().empty());
  // No dispatcher runs here, so the handler registration fails and says so.
  app.DispatchServiceMain({u"BETA", u"arg"});
  SetEventSink(nullptr);
  ASSERT_EQ(events.Events().size(), 1u);
  EXPECT_EQ(events.Events()[0].source, u"Beta");
  EXPECT_EQ(events.Events()[0].message, SysErrorMessage(ESRCH));
  EXPECT_EQ(beta->Params().Count(), 2);
  EXPECT_EQ(beta->Params()[0], u"BETA");
  EXPECT_EQ(alpha->Params().Count(), 0);
  EXPECT_TRUE(beta->Reports().empty());
}

class FailingService : public RecordingService {
 public:
  explicit FailingService(TComponent* owner) : RecordingService(owner) {
    throw EReadError(u"cannot load");
  }
};

TEST(ServiceApplication, CreateFormEmptiesTheReferenceOnFailure) {
  TServiceApplication app;
  FailingService* failing = reinterpret_cast<FailingService*>(&app);
  EXPECT_THROW(app.CreateForm(failing), EReadError);
  EXPECT_EQ(failing, nullptr);
  EXPECT_EQ(app.ComponentCount(), 0);
  RecordingService* ok = nullptr;
  app.CreateForm(ok);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->Owner(), &app);
}

TEST(ServiceApplication, ExceptionsBecomeEventsFromTheExecutableSource) {
  MemoryEventSink events;
  SetEventSink(&events);
  {
    TServiceApplication app;
    app.OnExceptionHandler(nullptr, EInOutError(5));
  }
  SetEventSink(nullptr);
  ASSERT_EQ(events.Events().size(), 1u);
  EXPECT_EQ(events.Events()[0].source, ExecutableFileName());
  EXPECT_EQ(events.Events()[0].message, u"File access denied");
  EXPECT_EQ(events.Events()[0].type, etError);
}

TEST(UnhandledError, TextNamesClassModuleAndMessage) {
  EXPECT_EQ(UnhandledErrorText(u"EOSError", u"KavoIntegradorOracle",
                               u"System Error.  Code: 13.\r\nPermission denied"),
            u"Exception EOSError in module KavoIntegradorOracle at 0000000000000000.\r\n"
            u"System Error.  Code: 13.\r\nPermission denied.\r\n");
  EXPECT_EQ(UnhandledErrorText(u"EReadError", u"M", u"Ends with a stop."),
            u"Exception EReadError in module M at 0000000000000000.\r\nEnds with a stop.\r\n");
}

}  // namespace
}  // namespace kavo::test
