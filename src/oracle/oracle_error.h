// EOracleError: every failure reported by the server or the OCI library,
// with Oracle's own message text, its error number, the session and the
// object whose call failed.
#ifndef KAVO_ORACLE_ORACLE_ERROR_H_
#define KAVO_ORACLE_ORACLE_ERROR_H_

#include <functional>
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
extern int MaxOracleMessageSize;
// Error numbers raised as EOracleWarning (empty: never).
extern std::vector<int> OracleWarningList;
// Called with every newly created EOracleError.
extern std::function<void(EOracleError&)> OnOracleError;

// Raises EOracleWarning or EOracleError for the failed call whose error
// handle is `error_handle`.
[[noreturn]] void RaiseOracleError(TOracleSession* session, OCIHandle error_handle,
                                   TComponent* instance);

// The error number of the first record of an error handle (0 when none).
int OracleErrorCode(OCIHandle error_handle);

}  // namespace kavo

#endif  // KAVO_ORACLE_ORACLE_ERROR_H_
