// The exception family of the Firebird/InterBase layer and the one gateway
// that turns a client call's status vector into an exception.
#ifndef KAVO_IB_IB_ERRORS_H_
#define KAVO_IB_IB_ERRORS_H_

#include <cstdint>
#include <initializer_list>

#include "ib/ib_character_set.h"
#include "ib/ib_client_errors.h"
#include "ib/ib_header.h"
#include "rtl/exceptions.h"
#include "rtl/format.h"

namespace kavo {

class IGDSLibrary;

class EIBError : public EDatabaseError {
 public:
  EIBError(int32_t sql_code, String message)
      : EDatabaseError(std::move(message)), sql_code_(sql_code) {}
  EIBError(int32_t sql_code, int32_t ib_error_code, String message)
      : EDatabaseError(std::move(message)), sql_code_(sql_code), ib_error_code_(ib_error_code) {}
  String ClassName() const override { return u"EIBError"; }

  int32_t SQLCode() const { return sql_code_; }
  int32_t IBErrorCode() const { return ib_error_code_; }

 private:
  int32_t sql_code_ = 0;
  int32_t ib_error_code_ = 0;
};

// Server and client-library errors.
KAVO_EXCEPTION_CLASS(EIBInterBaseError, EIBError);
// The same with SQL code -551 (no permission); deliberately not an
// EIBInterBaseError.
KAVO_EXCEPTION_CLASS(EIBInterBaseRoleError, EIBError);
// Errors the layer detects itself; SQLCode is the TIBClientError position.
KAVO_EXCEPTION_CLASS(EIBClientError, EIBError);
KAVO_EXCEPTION_CLASS(EIBPlanError, EIBError);

enum TIBDataBaseErrorMessage { ShowSQLCode, ShowIBMessage, ShowSQLMessage };
using TIBDataBaseErrorMessages = unsigned;  // one bit per member
constexpr TIBDataBaseErrorMessages ErrorMessageFlag(TIBDataBaseErrorMessage m) {
  return 1u << m;
}

// The process-wide switches; default ShowIBMessage and ShowSQLMessage.
TIBDataBaseErrorMessages GetIBDataBaseErrorMessages();
void SetIBDataBaseErrorMessages(TIBDataBaseErrorMessages value);

// Formats the member's message, reports it to the trace hook and raises
// EIBClientError with the member's position as SQLCode.
[[noreturn]] void IBError(TIBClientError error, std::initializer_list<FormatArg> args = {});

// The server message of the calling thread's status vector, assembled line by
// line through `library`, as IBDataBaseError raises it. The server quotes data
// and names in the connection's character set `cs`; without a connection
// (attaching, creating) the text is read in the ANSI code page.
struct TIBServerError {
  int32_t sql_code;
  int32_t error_code;
  String message;
};
TIBServerError BuildServerError(const IGDSLibrary& library,
                                const TIBCharacterSet* cs = nullptr);
// Reports `error` to the trace hook and raises it as EIBInterBaseError
// (EIBInterBaseRoleError for SQL code -551).
[[noreturn]] void RaiseServerError(const TIBServerError& error);
// RaiseServerError for the calling thread's status vector.
[[noreturn]] void IBDataBaseError(const IGDSLibrary& library,
                                  const TIBCharacterSet* cs = nullptr);

// True when the calling thread's status vector holds one of `codes` as the
// number of an isc_arg_gds or isc_arg_number cluster.
bool CheckStatusVector(std::initializer_list<ISC_STATUS> codes);

// The status vector says the connection is gone: isc_lost_db_connection, the
// read and write errors with which Firebird reports a server that went away
// under a remote connection, or isc_att_shutdown ("connection shutdown"),
// Firebird's answer once the attachment was killed or the database shut down.
bool StatusIsLostConnection();

}  // namespace kavo

#endif  // KAVO_IB_IB_ERRORS_H_
