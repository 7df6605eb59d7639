#include "service/service_thread.h"

#include "rtl/exceptions.h"
#include "rtl/format.h"
#include "service/service.h"
#include "service/service_application.h"

namespace kavo {

TServiceThread::TServiceThread(TService* service)
    : service_(service), queue_(std::make_shared<MessageQueue>()) {}

TServiceThread::~TServiceThread() { WaitFor(); }

void TServiceThread::Start() { thread_ = std::thread([this] { Execute(); }); }

void TServiceThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TServiceThread::SuspendSelf() {
  // A thread told to end takes no further control code that could wake it:
  // a pause handled after the stop must not keep the service from stopping.
  if (Terminated()) return;
  std::unique_lock<std::mutex> lock(suspend_mutex_);
  suspended_ = true;
  Message pending;
  resumed_.wait(lock, [&] { return !suspended_ || queue_->Peek(pending, false); });
  suspended_ = false;
}

void TServiceThread::Resume() {
  {
    std::lock_guard<std::mutex> lock(suspend_mutex_);
    suspended_ = false;
  }
  resumed_.notify_all();
}

bool TServiceThread::Suspended() const {
  std::lock_guard<std::mutex> lock(suspend_mutex_);
  return suspended_;
}

void TServiceThread::Execute() {
  try {
    if (TServiceApplication* app = ServiceApplication(); app && app->DelayInitialize)
      app->Initialize();
    service_->SetStatus(csStartPending);
    bool started = true;
    service_->RunStartHandler(started);
    if (!started) return;
    try {
      service_->SetStatus(csRunning);
      if (service_->OnExecute)
        service_->OnExecute(service_);
      else
        ProcessRequests(true);
      ProcessRequests(false);
    } catch (const std::exception& e) {
      service_->LogMessage(Format(u"Service failed on %s: %s", {u"execute", ExceptionMessage(e)}));
    }
  } catch (const std::exception& e) {
    service_->LogMessage(Format(u"Service failed on %s: %s", {u"start", ExceptionMessage(e)}));
  }
}

void TServiceThread::ProcessRequests(bool wait) {
  for (;;) {
    if (wait && Terminated()) return;
    Message message;
    if (wait) {
      if (!queue_->Get(message)) return;
    } else if (!queue_->Peek(message, true)) {
      return;
    }
    if (!message.window && message.message == CM_SERVICE_CONTROL_CODE)
      HandleControl(static_cast<uint32_t>(message.wParam));
    else
      DispatchMessage(message);
  }
}

void TServiceThread::HandleControl(uint32_t code) {
  TCurrentStatus previous = service_->Status();
  try {
    bool done = true;
    switch (code) {
      case SERVICE_CONTROL_STOP: done = service_->DoStop(); break;
      case SERVICE_CONTROL_PAUSE: done = service_->DoPause(); break;
      case SERVICE_CONTROL_CONTINUE: done = service_->DoContinue(); break;
      case SERVICE_CONTROL_INTERROGATE: service_->DoInterrogate(); break;
      case SERVICE_CONTROL_SHUTDOWN: service_->DoShutdown(); break;
      default: done = service_->DoCustomControl(code); break;
    }
    if (!done) service_->SetStatus(previous);
  } catch (const Exception& e) {
    if (code != SERVICE_CONTROL_SHUTDOWN) service_->SetStatus(previous);
    if (code >= SERVICE_CONTROL_STOP && code <= SERVICE_CONTROL_SHUTDOWN)
      service_->LogMessage(Format(u"Service failed on %s: %s", {ControlName(code), e.Message()}));
    else
      service_->LogMessage(
          Format(u"Service failed in custom message(%d): %s", {code, e.Message()}));
  }
}

}  // namespace kavo
