#include "service/service.h"

#include "platform/executable_path.h"
#include "rtl/exceptions.h"
#include "rtl/format.h"
#include "rtl/os_text.h"

namespace kavo {
namespace {

// Shared by every service of the process and by the threads that report.
std::atomic<uint32_t> g_checkpoint{0};
std::atomic<TCurrentStatus> g_last_reported{csStartPending};

constexpr uint32_t kServiceSpecificError = 1066;

int ServiceCount(const TComponent* owner) {
  int n = 0;
  if (owner)
    for (int i = 0; i < owner->ComponentCount(); ++i)
      if (dynamic_cast<TService*>(owner->Components(i))) ++n;
  return n;
}

}  // namespace

TService::TService(TComponent* owner) : TComponent(owner) {}

TService::~TService() = default;

void TService::SetInteractive(bool value) {
  interactive_ = value;
  if (value) {
    password_.clear();
    start_name_.clear();
  }
}

void TService::SetPassword(const String& value) {
  password_ = value;
  if (!value.empty()) interactive_ = false;
}

void TService::SetServiceStartName(const String& value) {
  start_name_ = value;
  if (!value.empty()) interactive_ = false;
}

void TService::SetOnStop(TContinueEvent handler) {
  on_stop_ = std::move(handler);
  AllowStop = true;
}

void TService::SetOnPause(TContinueEvent handler) {
  on_pause_ = std::move(handler);
  AllowPause = true;
}

void TService::SetOnContinue(TContinueEvent handler) {
  on_continue_ = std::move(handler);
  AllowPause = true;
}

void TService::ResetCheckpoint() {
  g_checkpoint = 0;
  g_last_reported = csStartPending;
}

uint32_t TService::RegistrationType() const {
  switch (ServiceType) {
    case stDevice: return 0x1;
    case stFileSystem: return 0x2;
    default: break;
  }
  uint32_t type = ServiceCount(Owner()) > 1 ? 0x20 : 0x10;
  if (interactive_) type |= 0x100;
  return type;
}

ServiceStatus TService::StatusRecord() const {
  ServiceStatus st;
  TCurrentStatus status = status_;
  st.service_type = RegistrationType();
  st.current_state = StateNumber(status);
  if (status != csStartPending) {
    st.controls_accepted = SERVICE_ACCEPT_SHUTDOWN;
    if (AllowStop) st.controls_accepted |= SERVICE_ACCEPT_STOP;
    if (AllowPause) st.controls_accepted |= SERVICE_ACCEPT_PAUSE_CONTINUE;
  }
  st.win32_exit_code = ErrCode != 0 ? kServiceSpecificError : static_cast<uint32_t>(Win32ErrorCode);
  st.service_specific_exit_code = static_cast<uint32_t>(ErrCode);
  st.wait_hint = WaitHint;
  return st;
}

void TService::ReportStatus() {
  ServiceStatus st = StatusRecord();
  TCurrentStatus status = status_;
  if (IsPendingStatus(status) && status == g_last_reported)
    st.check_point = ++g_checkpoint;
  else
    st.check_point = g_checkpoint = 0;
  g_last_reported = status;
  if (!SendStatus(st, StatusName(status))) LogMessage(SysErrorMessage(LastOSError()));
}

bool TService::SendStatus(const ServiceStatus& status, std::string_view state_name) {
  return SetServiceStatus(status_handle_, status, state_name);
}

void TService::SetStatus(TCurrentStatus value) {
  status_ = value;
  ReportStatus();
}

void TService::LogMessage(const String& message, EventType type, int category, int id) {
  EventLogger* logger;
  {
    std::lock_guard<std::mutex> lock(logger_mutex_);
    if (!event_logger_) event_logger_ = std::make_unique<EventLogger>(Name());
    logger = event_logger_.get();
  }
  logger->LogMessage(message, type, category, id);
}

bool TService::Terminated() const {
  std::lock_guard<std::mutex> lock(thread_mutex_);
  return thread_ && thread_->Terminated();
}

TServiceThread* TService::ServiceThread() const {
  std::lock_guard<std::mutex> lock(thread_mutex_);
  return thread_;
}

void TService::Main(const std::vector<String>& arguments) {
  for (const String& a : arguments) params_.Add(a);
  status_handle_ = RegisterServiceCtrlHandler(Name(), GetServiceController());
  if (status_handle_ == 0) {
    LogMessage(SysErrorMessage(LastOSError()));
    return;
  }
  DoStart();
}

void TService::Controller(uint32_t code) {
  std::lock_guard<std::mutex> lock(thread_mutex_);
  if (!thread_) return;
  thread_->Queue().PostThreadMessage(CM_SERVICE_CONTROL_CODE, code, 0);
  thread_->Resume();
}

void TService::DoStart() {
  try {
    try {
      SetStatus(csStartPending);
      auto thread = std::make_unique<TServiceThread>(this);
      {
        std::lock_guard<std::mutex> lock(thread_mutex_);
        thread_ = thread.get();
      }
      thread->Start();
      thread->WaitFor();
      {
        std::lock_guard<std::mutex> lock(thread_mutex_);
        thread_ = nullptr;
      }
    } catch (...) {
      {
        std::lock_guard<std::mutex> lock(thread_mutex_);
        thread_ = nullptr;
      }
      SetStatus(csStopped);
      throw;
    }
    SetStatus(csStopped);
  } catch (const std::exception& e) {  // thread creation fails with std::system_error
    LogMessage(Format(u"Service failed on %s: %s", {u"execute", ExceptionMessage(e)}));
  }
}

void TService::RunStartHandler(bool& started) {
  if (OnStart) OnStart(this, started);
}

bool TService::DoStop() {
  SetStatus(csStopPending);
  bool stopped = true;
  if (on_stop_) on_stop_(this, stopped);
  if (stopped)
    if (TServiceThread* t = ServiceThread()) t->Terminate();
  return stopped;
}

bool TService::DoPause() {
  SetStatus(csPausePending);
  bool paused = true;
  if (on_pause_) on_pause_(this, paused);
  if (paused) {
    SetStatus(csPaused);
    if (TServiceThread* t = ServiceThread()) t->SuspendSelf();
  }
  return paused;
}

bool TService::DoContinue() {
  SetStatus(csContinuePending);
  bool continued = true;
  if (on_continue_) on_continue_(this, continued);
  if (continued) SetStatus(csRunning);
  return continued;
}

void TService::DoInterrogate() { ReportStatus(); }

void TService::DoShutdown() {
  SetStatus(csStopPending);
  struct EndThread {
    TService* service;
    ~EndThread() {
      if (TServiceThread* t = service->ServiceThread()) t->Terminate();
    }
  } end_thread{this};
  if (OnShutdown) OnShutdown(this);
}

bool TService::DoCustomControl(uint32_t) { return true; }

void TService::InstallService(UnitInstaller& manager) {
  String path = ExecutablePath();
  if (BeforeInstall) BeforeInstall(this);
  UnitDescription unit;
  unit.name = Name();
  unit.description = DisplayName.empty() ? Name() : DisplayName;
  unit.executable = path;
  unit.auto_start = StartType == stAuto ||
                    ((StartType == stBoot || StartType == stSystem) && ServiceType != stDevice);
  unit.dependencies = Dependencies;
  unit.user = start_name_;
  unit.service_type = ServiceType == stDevice       ? 0x1
                      : ServiceType == stFileSystem ? 0x2
                                                    : 0x10 | (interactive_ ? 0x100 : 0);
  unit.start_type = (StartType == stBoot || StartType == stSystem) && ServiceType != stDevice
                        ? 2
                        : static_cast<uint32_t>(StartType);
  unit.error_control = static_cast<uint32_t>(ErrorSeverity);
  unit.load_group = LoadGroup;
  unit.password = password_;
  // Installs without the package may run the service as its system user too.
  if (const char* user = std::getenv("KAVO_SERVICE_USER"); unit.user.empty() && user && *user)
    unit.user = OsTextToString(user);
  manager.Install(unit);
  if (AfterInstall) {
    try {
      AfterInstall(this);
    } catch (...) {
      // The handler's failure is the one to report, not a failed clean-up.
      try {
        manager.Uninstall(Name());
      } catch (const Exception&) {
      }
      throw;
    }
  }
}

void TService::UninstallService(UnitInstaller& manager) {
  if (BeforeUninstall) BeforeUninstall(this);
  manager.Uninstall(Name());
  if (AfterUninstall) AfterUninstall(this);
}

}  // namespace kavo
