// A service that records its status reports instead of sending them.
#ifndef KAVO_TESTKIT_RECORDING_SERVICE_H_
#define KAVO_TESTKIT_RECORDING_SERVICE_H_

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "service/service.h"

namespace kavo::test {

struct Report {
  std::string state;
  uint32_t checkpoint;
  uint32_t accepted;
  bool operator==(const Report&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Report& r) {
  return os << r.state << "/" << r.checkpoint << "/" << r.accepted;
}

class RecordingService : public TService {
 public:
  explicit RecordingService(TComponent* owner, const String& name = u"Svc") : TService(owner) {
    SetName(name);
  }
  HandlerFunction GetServiceController() override { return nullptr; }

  std::vector<Report> Reports() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
  }
  std::vector<std::string> States() const {
    std::vector<std::string> s;
    for (const Report& r : Reports()) s.push_back(r.state);
    return s;
  }

 protected:
  bool SendStatus(const ServiceStatus& status, std::string_view name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back(Report{std::string(name), status.check_point, status.controls_accepted});
    return true;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Report> reports_;
};

// Polls `done` for up to two seconds.
inline bool WaitUntil(const std::function<bool()>& done) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return done();
}

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_RECORDING_SERVICE_H_
