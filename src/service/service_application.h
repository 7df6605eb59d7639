// TServiceApplication: the process's service application. It owns the
// services, decides between installing, removing and running them, runs the
// dispatcher on a thread of its own and the main message loop meanwhile.
#ifndef KAVO_SERVICE_SERVICE_APPLICATION_H_
#define KAVO_SERVICE_SERVICE_APPLICATION_H_

#include <memory>
#include <type_traits>
#include <vector>

#include "platform/application.h"
#include "platform/event_log.h"
#include "rtl/component.h"
#include "rtl/exceptions.h"
#include "service/service.h"

namespace kavo {

enum TMessageKind { mkError, mkInformation };

class TServiceApplication : public TComponent {
 public:
  explicit TServiceApplication(TComponent* owner = nullptr);
  ~TServiceApplication() override;

  bool DelayInitialize = false;
  // The first call marks the object initialised and initialises the
  // application object (never to show a main window); later calls do nothing.
  void Initialize();
  bool Initialized() const { return initialized_; }

  // True when the command line carries INSTALL or UNINSTALL.
  bool Installing() const;

  // Creates a service owned by this object into `reference` (empty again
  // when its construction fails, and the exception passes on).
  template <class T>
  void CreateForm(T*& reference) {
    static_assert(std::is_base_of_v<TService, T>, "only services live here");
    reference = nullptr;
    try {
      reference = new T(this);
      reference->AfterConstruction();
    } catch (...) {
      delete reference;
      reference = nullptr;
      throw;
    }
  }

  // Installs, removes, or runs the services; returns when the process is to end.
  void Run();

  // From the service-entry thread: runs Main of the service named by
  // arguments[0] (without regard to case); unknown names are ignored.
  void DispatchServiceMain(const std::vector<String>& arguments);

  // Installs (install) or removes every owned service; `silent` suppresses
  // the success message only.
  void RegisterServices(bool install, bool silent);

  // The result of a command, one line on standard output.
  virtual void DisplayMessage(const String& text, TMessageKind kind);

  void DoHandleException(const Exception& e);
  void OnExceptionHandler(TComponent* sender, const Exception& e);

  // The services, in component order.
  std::vector<TService*> Services() const;
  // Source: the executable's file name.
  EventLogger& EventLog() { return event_logger_; }

 private:
  bool initialized_ = false;
  EventLogger event_logger_;
};

// The process's service application, or null before it exists.
TServiceApplication* ServiceApplication();

// The service entry the dispatcher calls for each service.
void ServiceMain(const std::vector<String>& arguments);

}  // namespace kavo

#endif  // KAVO_SERVICE_SERVICE_APPLICATION_H_
