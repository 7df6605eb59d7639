#include "ib/ib_sql_monitor.h"

namespace kavo {

TIBCustomSQLMonitor::TIBCustomSQLMonitor(TComponent* owner)
    : TComponent(owner), window_(std::make_unique<Window>(*this)) {
  SetEnabled(true);
}

TIBCustomSQLMonitor::~TIBCustomSQLMonitor() {
  if (registered_with_ != nullptr) registered_with_->UnregisterMonitor(*this);
  registered_with_ = nullptr;
}

void TIBCustomSQLMonitor::SetEnabled(bool value) {
  if (value && registered_with_ == nullptr) {
    if (IIBSQLMonitorHook* hook = MonitorHook()) {
      hook->RegisterMonitor(*this);
      registered_with_ = hook;
    }
  } else if (!value && registered_with_ != nullptr) {
    registered_with_->UnregisterMonitor(*this);
    registered_with_ = nullptr;
  }
  enabled_ = value;
}

void TIBCustomSQLMonitor::Release() {
  if (IIBSQLMonitorHook* hook = registered_with_ != nullptr ? registered_with_ : MonitorHook())
    hook->ReleaseMonitor(*this);
}

void TIBCustomSQLMonitor::Deliver(const TTraceChunk& chunk) {
  {
    std::lock_guard lock(inbox_mutex_);
    inbox_.push_back(chunk);
  }
  window_->Post(WM_IBSQL_SQL_EVENT);
}

void TIBCustomSQLMonitor::PostRelease() { window_->Post(WM_IBSQL_RELEASE); }

void TIBCustomSQLMonitor::TakeOne() {
  TTraceChunk chunk;
  {
    std::lock_guard lock(inbox_mutex_);
    if (inbox_.empty()) return;
    chunk = std::move(inbox_.front());
    inbox_.pop_front();
  }
  if (chunk.data_type < 0 || chunk.data_type >= kTraceFlagCount) return;
  auto kind = static_cast<TTraceFlag>(chunk.data_type);
  if (OnSQLEvent && (trace_flags_ & TraceFlag(kind)) != 0)
    OnSQLEvent(chunk.text, chunk.time_stamp, kind);
}

void TIBCustomSQLMonitor::Window::HandleMessage(Message& message) {
  if (message.message == WM_IBSQL_SQL_EVENT) {
    owner_.TakeOne();
  } else if (message.message == WM_IBSQL_RELEASE) {
    delete &owner_;
  }
}

}  // namespace kavo
