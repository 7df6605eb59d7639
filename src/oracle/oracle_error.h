// EOracleError: every failure reported by the server or the OCI library,
// with Oracle's own message text, its error number, the session and the
// object whose call failed.
#ifndef KAVO_ORACLE_ORACLE_ERROR_H_
#define KAVO_ORACLE_ORACLE_ERROR_H_

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "oracle/oci_types.h"
#include "rtl/code_page.h"  // CutWholeCharacters, used with the layer's errors
#include "rtl/component.h"
#include "rtl/exceptions.h"

namespace kavo {

class TOracleSession;

class EOracleError : public Exception {
 public:
  // Reads the first error record of `error_handle` (OCI 8 error handle).
  EOracleError(TOracleSession* session, TComponent* instance, OCIHandle error_handle);
  // An error whose number and text are already known.
  EOracleError(TOracleSession* session, TComponent* instance, int error_code, String message);

  int ErrorCode() const { return error_code_; }
  TComponent* Instance() const { return instance_; }
  TOracleSession* Session() const { return session_; }
  String ClassName() const override { return u"EOracleError"; }

 private:
  int error_code_ = 0;
  TComponent* instance_ = nullptr;
  TOracleSession* session_ = nullptr;
};

class EOracleWarning : public EOracleError {
 public:
  using EOracleError::EOracleError;
  String ClassName() const override { return u"EOracleWarning"; }
};

// Longest message kept, in bytes of the server's text. The cut never splits
// a multi-byte character.
extern std::atomic<int> MaxOracleMessageSize;

// A process-wide setting that any thread may set while sessions raise
// errors on others: read as a copy under its lock.
template <typename T>
class TGuardedSetting {
 public:
  TGuardedSetting& operator=(T value) {
    std::lock_guard<std::mutex> lock(mutex_);
    value_ = std::move(value);
    return *this;
  }
  T Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return value_;
  }
  void clear() { *this = T(); }

 private:
  mutable std::mutex mutex_;
  T value_{};
};

// Error numbers raised as EOracleWarning (empty: never).
extern TGuardedSetting<std::vector<int>> OracleWarningList;
// Called with every newly created EOracleError.
extern TGuardedSetting<std::function<void(EOracleError&)>> OnOracleError;

// Raises EOracleWarning or EOracleError for the failed call whose error
// handle is `error_handle`.
[[noreturn]] void RaiseOracleError(TOracleSession* session, OCIHandle error_handle,
                                   TComponent* instance);

// A failed allocation of a handle or descriptor leaves no error handle to
// ask: this raises naming the routine and its status.
void CheckAllocation(sword status, const char* routine);
// Releasing or tuning calls made while closing, whose failure must not stop
// the rest of the closing: answers the status a caller keeps as its last
// error (`last` when the call succeeded).
inline sword ReleaseStatus(sword status, sword last) {
  return status == OCI_SUCCESS ? last : status;
}

// The error number of the first record of an error handle (0 when none).
int OracleErrorCode(OCIHandle error_handle);

}  // namespace kavo

#endif  // KAVO_ORACLE_ORACLE_ERROR_H_
