// Transactions, session settings and what the session asks the server.
#include <memory>
#include <vector>

#include "oracle/oci_library.h"
#include "oracle/oracle_error.h"
#include "oracle/oracle_text.h"
#include "oracle/query.h"
#include "oracle/session.h"
#include "rtl/code_page.h"
#include "rtl/format.h"

namespace kavo {

void TOracleSession::Commit() {
  if (!connected_) return;
  in_transaction_ = -1;
  Check(oci_.OCITransCommit(svchp_, errhp_, OCI_DEFAULT));
}

void TOracleSession::Rollback() {
  if (!connected_) return;
  in_transaction_ = -1;
  Check(oci_.OCITransRollback(svchp_, errhp_, OCI_DEFAULT));
}

void TOracleSession::Savepoint(const String& name) { DoSQL(u"savepoint " + name); }

void TOracleSession::RollbackToSavepoint(const String& name) {
  DoSQL(u"rollback to savepoint " + name);
}

void TOracleSession::SetTransaction(TTransactionMode mode) {
  static const char16_t* const kModes[] = {u"read only", u"read write",
                                           u"isolation level read committed",
                                           u"isolation level serializable"};
  DoSQL(u"set transaction " + String(kModes[mode]), true);
}

void TOracleSession::ApplySessionSettings() {
  if (sql_trace_ != stUnchanged)
    DoSQL(u"alter session set sql_trace = " + String(sql_trace_ == stTrue ? u"true" : u"false"),
          true);
  if (optimizer_goal_ != ogUnchanged) {
    static const char16_t* const kGoals[] = {u"", u"choose", u"first_rows", u"all_rows", u"rule"};
    String goal = kGoals[optimizer_goal_];
    try {
      DoSQL(u"alter session set optimizer_" + String(use_oci80_ ? u"mode" : u"goal") + u" = " +
                goal,
            true);
    } catch (const EOracleError&) {
      DoSQL(u"alter session set optimizer_mode = " + goal, true);
    }
  }
  if (isolation_level_ != ilUnchanged)
    DoSQL(u"alter session set isolation_level = " +
              String(isolation_level_ == ilReadCommitted ? u"read committed" : u"serializable"),
          true);
}

bool TOracleSession::InTransaction() {
  if (!connected_) return false;
  if (OptimizeInTransaction && in_transaction_ != -1) return in_transaction_ == 1;
  TOracleQuery& q = InternalQuery();
  q.Clear();
  q.DeclareVariable(u"id", otString);
  q.SetSQLText(u"begin :id := sys.dbms_transaction.local_transaction_id; end;");
  q.Execute();
  OraVariant id = q.GetVariable(u"id");
  bool result = !id.IsEmptyOrNull() && !id.AsString().empty();
  in_transaction_ = result ? 1 : 0;
  return result;
}

TCheckConnectionResult TOracleSession::CheckConnection(bool reconnect) {
  auto relogon = [&] {
    if (!reconnect) return ccError;
    try {
      LogOn();
      return ccReconnected;
    } catch (const Exception&) {
      return ccError;
    }
  };
  if (!connected_) return relogon();
  try {
    TOracleQuery q(nullptr);
    q.SetSession(this);
    q.SetSQLText(u"select 'x' from dual");
    q.Execute();
    return ccOK;
  } catch (const EOracleError& e) {
    // The server answered, so the connection is good.
    if (e.ErrorCode() == 1000 || e.ErrorCode() == 942) return ccOK;
  }
  try {
    LogOff();
  } catch (const Exception&) {
  }
  return relogon();
}

void TOracleSession::BreakExecution() {
  if (svchp_ == nullptr) return;
  Check(oci_.OCIBreak(svchp_, errhp_));
}

String TOracleSession::ServerVersion() {
  String text;
  try {
    TOracleQuery& q = InternalQuery();
    q.Clear();
    q.SetSQLText(u"select * from v$version");
    q.Execute();
    if (!q.Eof()) text = q.FieldAsString(0);
  } catch (const Exception&) {
    text.clear();
  }
  // Up to the first line end, or the first "-" that starts a word.
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' || text[i] == u'\n' || (text[i] == u'-' && (i == 0 || text[i - 1] == u' ')))
      return text.substr(0, i);
  }
  return text;
}

String TOracleSession::ErrorMessage(int code) {
  if (!oci_.Has(OCIEntry::oerhms)) RaiseOCI7NotSupported("oerhms");
  // In OCI 8 mode the routine is asked with a zero-filled stand-alone area.
  unsigned char lda[64] = {0};
  std::vector<OraText> buf(2001, 0);
  Acquire(true);
  oci_.oerhms(lda, static_cast<sb2>(code), buf.data(), static_cast<sword>(buf.size()));
  Release(true);
  buf.back() = 0;
  return AnsiToString(reinterpret_cast<const char*>(buf.data()));
}

void TOracleSession::ResetCharSizes() {
  bytes_per_char_ = bytes_per_nchar_ = charset_id_ = ncharset_id_ = 0;
}

void TOracleSession::DetectCharSizes() {
  if (bytes_per_char_ != 0) return;
  if (bytes_per_character_ == bcAutoDetect && connected_) {
    bytes_per_char_ = bytes_per_nchar_ = 1;
    charset_id_ = ncharset_id_ = 0;
    try {
      TOracleQuery q(nullptr);
      q.SetName(u"BytesPerCharacterQuery");
      q.SetSession(this);
      q.SetSQLText(
          u"select length(chr(2000000000)) l4, length(chr(2000000)) l3,  length(chr(20000)) l2, "
          u"'c' c1 from dual");
      q.Execute();
      bytes_per_char_ = q.FieldAsInteger(0);
      if (bytes_per_char_ == 1) bytes_per_char_ = q.FieldAsInteger(1);
      if (bytes_per_char_ == 1) bytes_per_char_ = q.FieldAsInteger(2);
      if (!NoUnicodeSupport) charset_id_ = q.FieldCharSetId(3);
      q.Close();
      q.SetSQLText(u"select lengthb(nchr(20)), nchr(20) from dual");
      q.Execute();
      bytes_per_nchar_ = q.FieldAsInteger(0);
      ncharset_id_ = q.FieldCharSetId(1);
      if (ncharset_id_ == ocsUTF8) bytes_per_nchar_ = 3;
    } catch (const Exception&) {
      // The values reached so far stay.
    }
  } else {
    bytes_per_char_ = bytes_per_character_ == bcAutoDetect ? 1 : static_cast<int>(bytes_per_character_);
    bytes_per_nchar_ = bytes_per_char_;
    charset_id_ = ncharset_id_ = 0;
  }
  if (bytes_per_char_ <= 0) bytes_per_char_ = 1;
  if (bytes_per_nchar_ <= 0) bytes_per_nchar_ = 1;
}

int TOracleSession::DetectedValue(const int& value) {
  DetectCharSizes();
  int r = value;
  // Not connected: answered but not kept.
  if (!connected_) ResetCharSizes();
  return r;
}

int TOracleSession::GetBytesPerCharacter() { return DetectedValue(bytes_per_char_); }
int TOracleSession::GetBytesPerNCharacter() { return DetectedValue(bytes_per_nchar_); }
int TOracleSession::GetCurrentCharSetID() { return DetectedValue(charset_id_); }
int TOracleSession::GetCurrentNCharSetID() { return DetectedValue(ncharset_id_); }

bool TOracleSession::GetCurrentCharSetIsUTF8() {
  return !NoUnicodeSupport && IsUTF8CharSet(static_cast<uint16_t>(GetCurrentCharSetID()));
}
bool TOracleSession::GetCurrentCharSetIsUTF16() {
  return !NoUnicodeSupport && IsUTF16CharSet(static_cast<uint16_t>(GetCurrentCharSetID()));
}
bool TOracleSession::GetCurrentNCharSetIsUTF8() {
  return !NoUnicodeSupport && IsUTF8CharSet(static_cast<uint16_t>(GetCurrentNCharSetID()));
}
bool TOracleSession::GetCurrentNCharSetIsUTF16() {
  return !NoUnicodeSupport && IsUTF16CharSet(static_cast<uint16_t>(GetCurrentNCharSetID()));
}

int TOracleSession::MaxVarchar() {
  int base = use_oci80_ ? 4000 : 2000;
  if (oracle10_ && GetCurrentCharSetIsUTF8() && oci_.OCI81()) return base;
  return base / GetBytesPerCharacter();
}

int TOracleSession::MaxVarcharN() {
  int base = use_oci80_ ? 4000 : 2000;
  return base / GetBytesPerNCharacter();
}

int TOracleSession::DateFormatLength() {
  if (date_format_length_ == -1 && connected_) {
    int longest = 0;
    try {
      String sql;
      for (int month = 1; month <= 12; ++month) {
        if (month > 1) sql += u"\r\nunion all\r\n";
        sql += Format(
            u"select to_char(to_date('10-%d-1999 10:10:10', 'dd-mm-yyyy hh24:mi:ss')) from dual",
            {month});
      }
      TOracleQuery q(nullptr);
      q.SetName(u"DateFormatLengthQuery");
      q.SetSession(this);
      q.SetSQLText(sql);
      q.Execute();
      for (; !q.Eof(); q.Next())
        longest = std::max(longest, static_cast<int>(q.FieldAsString(0).size()));
    } catch (const Exception&) {
    }
    date_format_length_ = longest <= 0 ? 40 : longest;
  }
  return date_format_length_ == -1 ? 40 : date_format_length_;
}

}  // namespace kavo
