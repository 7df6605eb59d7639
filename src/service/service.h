// TService: one service hosted by the process, with the properties that
// describe it to the service manager, its handlers, the control operations
// that its service thread runs, and its status reports.
#ifndef KAVO_SERVICE_SERVICE_H_
#define KAVO_SERVICE_SERVICE_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/event_log.h"
#include "platform/service_control.h"
#include "platform/unit_installer.h"
#include "rtl/component.h"
#include "rtl/string_list.h"
#include "service/service_thread.h"
#include "service/service_types.h"

namespace kavo {

class TService : public TComponent {
 public:
  explicit TService(TComponent* owner);
  ~TService() override;

  // Service properties.
  String DisplayName;
  TServiceType ServiceType = stWin32;
  TStartType StartType = stAuto;
  TErrorSeverity ErrorSeverity = esNormal;
  uint32_t WaitHint = 5000;
  bool AllowStop = true;
  bool AllowPause = true;
  std::vector<String> Dependencies;  // a group name starts with '+'
  String LoadGroup;
  uint32_t TagID = 0;
  int32_t Win32ErrorCode = 0;
  int32_t ErrCode = 0;

  bool Interactive() const { return interactive_; }
  void SetInteractive(bool value);  // true clears Password and ServiceStartName
  const String& Password() const { return password_; }
  void SetPassword(const String& value);  // non-empty clears Interactive
  const String& ServiceStartName() const { return start_name_; }
  void SetServiceStartName(const String& value);  // non-empty clears Interactive

  // Events. Assigning OnStop sets AllowStop; OnPause or OnContinue set AllowPause.
  TContinueEvent OnStart;
  TServiceEvent OnExecute;
  TServiceEvent OnShutdown;
  void SetOnStop(TContinueEvent handler);
  void SetOnPause(TContinueEvent handler);
  void SetOnContinue(TContinueEvent handler);
  const TContinueEvent& OnStop() const { return on_stop_; }
  const TContinueEvent& OnPause() const { return on_pause_; }
  const TContinueEvent& OnContinue() const { return on_continue_; }
  TServiceEvent BeforeInstall, AfterInstall, BeforeUninstall, AfterUninstall;

  TStringList& Params() { return params_; }

  // The per-service entry, on the thread the dispatcher starts for it.
  void Main(const std::vector<String>& arguments);
  // Posts `code` to the service thread and wakes it; dropped when there is
  // no service thread.
  void Controller(uint32_t code);
  // The control handler the dispatcher is to call for this service.
  virtual HandlerFunction GetServiceController() = 0;

  void LogMessage(const String& message, EventType type = etError, int category = 0, int id = 0);

  // True when the service thread exists and has been told to end.
  bool Terminated() const;
  TServiceThread* ServiceThread() const;

  TCurrentStatus Status() const { return status_; }
  void SetStatus(TCurrentStatus value);  // stores and reports
  void ReportStatus();
  // The record ReportStatus sends, checkpoint aside.
  ServiceStatus StatusRecord() const;
  // The service type's registration value (0x110 for this program's module).
  uint32_t RegistrationType() const;

  // The process-wide checkpoint counter and last reported state, back to
  // their start (for tests that report from several services).
  static void ResetCheckpoint();

  // Control operations, in their order; run on the service thread.
  virtual void DoStart();
  virtual bool DoStop();
  virtual bool DoPause();
  virtual bool DoContinue();
  virtual void DoInterrogate();
  virtual void DoShutdown();
  virtual bool DoCustomControl(uint32_t code);

  void InstallService(UnitInstaller& manager);
  void UninstallService(UnitInstaller& manager);

 protected:
  // Sends one report; false (with errno) when it could not be sent. Tests
  // override it to watch the reports.
  virtual bool SendStatus(const ServiceStatus& status, std::string_view state_name);

 private:
  friend class TServiceThread;
  void RunStartHandler(bool& started);

  bool interactive_ = false;
  String password_;
  String start_name_;
  TContinueEvent on_stop_, on_pause_, on_continue_;
  TStringList params_;
  ServiceStatusHandle status_handle_ = 0;
  std::atomic<TCurrentStatus> status_{csStopped};

  mutable std::mutex thread_mutex_;
  TServiceThread* thread_ = nullptr;

  std::mutex logger_mutex_;
  std::unique_ptr<EventLogger> event_logger_;
};

}  // namespace kavo

#endif  // KAVO_SERVICE_SERVICE_H_
