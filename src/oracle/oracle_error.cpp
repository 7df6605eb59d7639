#include "oracle/oracle_error.h"

#include <algorithm>
#include <cstring>

#include "oracle/oci_library.h"
#include "oracle/session.h"
#include "rtl/code_page.h"

namespace kavo {

std::atomic<int> MaxOracleMessageSize = 1023;
TGuardedSetting<std::vector<int>> OracleWarningList;
TGuardedSetting<std::function<void(EOracleError&)>> OnOracleError;

namespace {

constexpr ub4 kMessageBuffer = 4001;

// Error number and text of the first record; the number stays 0 when OCI
// finds no record.
int ReadErrorRecord(OCIHandle error_handle, std::string* text) {
  sb4 code = 0;
  std::vector<OraText> buf(kMessageBuffer, 0);
  const TOCILibrary& oci = OCILibrary();
  if (error_handle != nullptr && oci.Has(OCIEntry::OCIErrorGet))
    oci.OCIErrorGet(error_handle, 1, nullptr, &code, text ? buf.data() : nullptr,
                    text ? kMessageBuffer : 0, OCI_HTYPE_ERROR);
  if (text != nullptr) {
    buf.back() = 0;
    *text = reinterpret_cast<const char*>(buf.data());
  }
  return code;
}

// The server's text arrives in the client character set: UTF-8 when NLS_LANG
// says so, else the ANSI code page.
std::string MessageCodePage() {
  return OCILibrary().UTF8Client() ? std::string("UTF-8") : AnsiCodePage();
}

}  // namespace

EOracleError::EOracleError(TOracleSession* session, TComponent* instance, OCIHandle error_handle)
    : Exception(String()), instance_(instance), session_(session) {
  std::string text;
  error_code_ = ReadErrorRecord(error_handle, &text);
  if (session != nullptr) session->Release(true);
  std::string cp = MessageCodePage();
  if (MaxOracleMessageSize >= 0 && MaxOracleMessageSize < static_cast<int>(kMessageBuffer))
    text = CutWholeCharacters(text, static_cast<size_t>(MaxOracleMessageSize), cp);
  SetMessage(CodePageToString(text, cp));
  if (auto hook = OnOracleError.Get()) hook(*this);
}

EOracleError::EOracleError(TOracleSession* session, TComponent* instance, int error_code,
                           String message)
    : Exception(std::move(message)), error_code_(error_code), instance_(instance),
      session_(session) {
  if (auto hook = OnOracleError.Get()) hook(*this);
}

void CheckAllocation(sword status, const char* routine) {
  if (status == OCI_SUCCESS) return;
  throw EOracleError(nullptr, nullptr, 0,
                     AsciiToString(routine) + u" failed (status " + IntToStr(status) + u")");
}

int OracleErrorCode(OCIHandle error_handle) { return ReadErrorRecord(error_handle, nullptr); }

void RaiseOracleError(TOracleSession* session, OCIHandle error_handle, TComponent* instance) {
  if (const std::vector<int> warnings = OracleWarningList.Get(); !warnings.empty()) {
    int code = OracleErrorCode(error_handle);
    if (std::find(warnings.begin(), warnings.end(), code) != warnings.end())
      throw EOracleWarning(session, instance, error_handle);
  }
  throw EOracleError(session, instance, error_handle);
}

}  // namespace kavo
