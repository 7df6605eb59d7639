#include "service/service_application.h"

#include <atomic>
#include <cstdio>
#include <thread>

#include "platform/command_line.h"
#include "platform/executable_path.h"
#include "platform/service_control.h"
#include "platform/unit_installer.h"
#include "rtl/code_page.h"
#include "rtl/format.h"

namespace kavo {
namespace {

std::atomic<TServiceApplication*> g_service_application{nullptr};

// Runs the dispatcher call; when it returns, records its result and ends
// the main loop.
class TServiceStartThread {
 public:
  explicit TServiceStartThread(std::vector<ServiceTableEntry> table)
      : table_(std::move(table)), thread_([this] { Execute(); }) {}
  ~TServiceStartThread() { thread_.join(); }

  int ReturnValue() const { return return_value_; }

 private:
  void Execute() {
    return_value_ = StartServiceCtrlDispatcher(table_);
    if (TApplication* app = Application()) app->Window().Post(WM_QUIT);
  }

  std::vector<ServiceTableEntry> table_;
  std::atomic<int> return_value_{0};
  std::thread thread_;
};

}  // namespace

TServiceApplication* ServiceApplication() { return g_service_application.load(); }

void ServiceMain(const std::vector<String>& arguments) {
  if (TServiceApplication* app = ServiceApplication()) app->DispatchServiceMain(arguments);
}

TServiceApplication::TServiceApplication(TComponent* owner)
    : TComponent(owner), event_logger_(ExecutableFileName()) {
  TServiceApplication* none = nullptr;
  g_service_application.compare_exchange_strong(none, this);
}

TServiceApplication::~TServiceApplication() {
  TServiceApplication* self = this;
  g_service_application.compare_exchange_strong(self, nullptr);
}

void TServiceApplication::Initialize() {
  if (initialized_) return;
  initialized_ = true;
  if (TApplication* app = Application()) {
    app->ShowMainForm = false;
    app->Initialize();
  }
}

bool TServiceApplication::Installing() const {
  return FindCmdLineSwitch(u"INSTALL") || FindCmdLineSwitch(u"UNINSTALL");
}

std::vector<TService*> TServiceApplication::Services() const {
  std::vector<TService*> services;
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto* s = dynamic_cast<TService*>(Components(i))) services.push_back(s);
  return services;
}

void TServiceApplication::DispatchServiceMain(const std::vector<String>& arguments) {
  if (arguments.empty()) return;
  for (TService* s : Services()) {
    if (SameText(s->Name(), arguments[0])) {
      s->Main(arguments);
      return;
    }
  }
}

void TServiceApplication::DisplayMessage(const String& text, TMessageKind) {
  std::string line = StringToAnsi(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

void TServiceApplication::RegisterServices(bool install, bool silent) {
  UnitInstaller manager;  // its failure leaves the program
  bool success = true;
  for (TService* s : Services()) {
    try {
      if (install)
        s->InstallService(manager);
      else
        s->UninstallService(manager);
    } catch (const Exception& e) {
      const Char* text = install ? u"Service \"%s\" failed to install with error: \"%s\""
                                 : u"Service \"%s\" failed to uninstall with error: \"%s\"";
      DisplayMessage(Format(text, {s->DisplayName, e.Message()}), mkError);
      success = false;
    }
  }
  if (success && !silent)
    DisplayMessage(install ? u"Service installed successfully" : u"Service uninstalled successfully",
                   mkInformation);
}

void TServiceApplication::DoHandleException(const Exception& e) {
  event_logger_.LogMessage(e.Message(), etError, 0, 0);
}

void TServiceApplication::OnExceptionHandler(TComponent*, const Exception& e) {
  DoHandleException(e);
}

void TServiceApplication::Run() {
  if (FindCmdLineSwitch(u"INSTALL")) {
    RegisterServices(true, FindCmdLineSwitch(u"SILENT"));
    return;
  }
  if (FindCmdLineSwitch(u"UNINSTALL")) {
    RegisterServices(false, FindCmdLineSwitch(u"SILENT"));
    return;
  }
  TApplication* app = Application();
  if (!app) throw EInvalidOperation(u"No application object");
  app->OnException = [this](TComponent* sender, const Exception& e) {
    OnExceptionHandler(sender, e);
  };

  std::vector<ServiceTableEntry> table;
  for (TService* s : Services()) table.push_back(ServiceTableEntry{s->Name(), &ServiceMain});

  // Control signals are taken by the dispatcher; no other thread may see them.
  BlockControlSignals();
  TServiceStartThread start_thread(std::move(table));
  while (!app->Terminated()) {
    try {
      app->HandleMessage();
    } catch (const Exception& e) {
      DoHandleException(e);
    } catch (const std::exception& e) {
      DoHandleException(Exception(Utf8ToString(e.what())));
    }
  }
  app->Terminate();
  int result = start_thread.ReturnValue();
  if (result != 0) event_logger_.LogMessage(SysErrorMessage(result), etError, 0, 0);
}

}  // namespace kavo
