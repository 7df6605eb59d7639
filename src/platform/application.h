// The process's application object: the main thread's message loop, the
// hidden window that others post to (WM_QUIT ends the loop) and the hook
// through which exceptions that escape a message handler are reported.
//
// Create it on the main thread before anything that owns a window there.
#ifndef KAVO_PLATFORM_APPLICATION_H_
#define KAVO_PLATFORM_APPLICATION_H_

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

#include "platform/message_queue.h"
#include "rtl/component.h"
#include "rtl/exceptions.h"

namespace kavo {

class TApplication : public TComponent {
 public:
  using TExceptionEvent = std::function<void(TComponent* sender, const Exception& e)>;

  explicit TApplication(TComponent* owner = nullptr);
  ~TApplication() override;

  // Nothing to prepare on this platform beyond what the constructor does;
  // kept so that the start-up reads as it does everywhere.
  void Initialize() {}
  bool ShowMainForm = true;

  bool Terminated() const { return terminated_; }
  void Terminate() { terminated_ = true; }

  // Takes the next message, waiting for one, and dispatches it. WM_QUIT
  // marks the application terminated instead.
  void HandleMessage();

  // Reports the exception being handled (call inside a catch block): an
  // Exception other than EAbort goes to OnException when set, else to
  // ShowException; anything else is shown.
  void HandleException(TComponent* sender);
  static void ShowException(const String& class_name, const String& message);

  TExceptionEvent OnException;

  MessageWindow& Window() { return *window_; }
  const std::shared_ptr<MessageQueue>& Queue() const { return window_->Queue(); }

 private:
  class HiddenWindow : public MessageWindow {
   public:
    void HandleMessage(Message&) override {}
  };

  std::unique_ptr<HiddenWindow> window_;
  std::atomic<bool> terminated_{false};
};

// The process's application object, or null before it exists.
TApplication* Application();

// Reports the exception being handled through Application(), or on standard
// error when there is none. For message handlers that must not let it out.
void HandleApplicationException(TComponent* sender);

}  // namespace kavo

#endif  // KAVO_PLATFORM_APPLICATION_H_
