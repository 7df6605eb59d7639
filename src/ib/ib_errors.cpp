#include "ib/ib_errors.h"

#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "ib/ib_intf.h"
#include "ib/ib_trace_hook.h"
#include "rtl/code_page.h"

namespace kavo {

namespace {

std::shared_mutex& IBCS() {
  static std::shared_mutex cs;
  return cs;
}

TIBDataBaseErrorMessages g_error_messages =
    ErrorMessageFlag(ShowIBMessage) | ErrorMessageFlag(ShowSQLMessage);

}  // namespace

TIBDataBaseErrorMessages GetIBDataBaseErrorMessages() {
  std::unique_lock lock(IBCS());  // exclusive even for reading, as everywhere else
  return g_error_messages;
}

void SetIBDataBaseErrorMessages(TIBDataBaseErrorMessages value) {
  std::unique_lock lock(IBCS());
  g_error_messages = value;
}

void IBError(TIBClientError error, std::initializer_list<FormatArg> args) {
  String text = Format(IBErrorMessage(error), args);
  if (error != ibceCannotCreateSharedResource) ReportError(text);
  throw EIBClientError(static_cast<int32_t>(error), text);
}

TIBServerError BuildServerError(const IGDSLibrary& library, const TIBCharacterSet* cs) {
  ISC_STATUS* status = StatusVector();
  TIBServerError result{0, static_cast<int32_t>(status[1]), String()};
  TIBDataBaseErrorMessages switches = GetIBDataBaseErrorMessages();
  result.sql_code = static_cast<int32_t>(library.isc_sqlcode(status));
  String& message = result.message;
  if (switches & ErrorMessageFlag(ShowSQLCode)) message = u"SQLCODE: " + IntToStr(result.sql_code);
  if (switches & ErrorMessageFlag(ShowIBMessage)) {
    if (switches & ErrorMessageFlag(ShowSQLCode)) message += u"\r\n";
    std::vector<char> buffer(20480);
    const ISC_STATUS* cursor = status;
    for (;;) {
      std::memset(buffer.data(), 0, buffer.size());
      if (library.isc_interprete(buffer.data(), const_cast<ISC_STATUS**>(&cursor)) <= 0) break;
      buffer.back() = 0;
      if (!message.empty() && message.back() != u'\n') message += u"\r\n";
      std::string_view line(buffer.data());
      message += cs != nullptr ? DecodeText(line, *cs) : AnsiToString(line);
    }
  }
  if (!message.empty() && message.back() == u'.') message.pop_back();
  return result;
}

void IBDataBaseError(const IGDSLibrary& library, const TIBCharacterSet* cs) {
  RaiseServerError(BuildServerError(library, cs));
}

void RaiseServerError(const TIBServerError& e) {
  ReportError(IntToStr(e.sql_code) + u" " + IntToStr(e.error_code) + u" " + e.message);
  if (e.sql_code == -551) throw EIBInterBaseRoleError(e.sql_code, e.error_code, e.message);
  throw EIBInterBaseError(e.sql_code, e.error_code, e.message);
}

bool CheckStatusVector(std::initializer_list<ISC_STATUS> codes) {
  const ISC_STATUS* p = StatusVector();
  const ISC_STATUS* end = p + kStatusVectorLength;
  while (p < end && *p != isc_arg_end) {
    ISC_STATUS type = *p++;
    if (p >= end) break;
    switch (type) {
      case isc_arg_gds:
      case isc_arg_number:
        for (ISC_STATUS c : codes)
          if (*p == c) return true;
        ++p;
        break;
      case isc_arg_cstring:
        p += 2;  // length word and text address
        break;
      default:
        ++p;
        break;
    }
  }
  return false;
}

bool StatusIsLostConnection() {
  return CheckStatusVector(
      {isc_lost_db_connection, isc_net_read_err, isc_net_write_err, isc_att_shutdown});
}

}  // namespace kavo
