#include "service/exactly_once.h"

#include "ib/ib_database.h"
#include "ib/ib_dataset.h"
#include "ib/ib_limbo.h"
#include "ib/ib_transaction.h"
#include "oracle/oracle_dataset.h"
#include "oracle/oracle_error.h"
#include "oracle/oracle_types.h"
#include "oracle/query.h"
#include "oracle/session.h"
#include "platform/process_identity.h"
#include "recordset/field.h"
#include "rtl/format.h"

namespace kavo {

namespace {

const Char* const kPrefix = u"KavoIntegradorOracle ";

// The interface row by its ROWID, locked without waiting: its STATUS then
// cannot change until this session ends its transaction.
const Char* const kLockRow =
    u"select STATUS from v9norvelo.\"INTERFACE_ORCL\" where rowid = :KAVO_ROWID for update nowait";

// The value of `key` ("ROWID=") in a description: up to the next blank.
std::optional<String> Value(StringView text, StringView key) {
  size_t at = text.find(key);
  if (at == StringView::npos) return std::nullopt;
  at += key.size();
  size_t end = text.find(u' ', at);
  return String(text.substr(at, end == StringView::npos ? StringView::npos : end - at));
}

}  // namespace

std::optional<bool> EntregaUnicaFromText(StringView text) {
  String value = UpperCase(Trim(String(text)));
  if (value.empty()) return false;
  for (const Char* on : {u"1", u"S", u"SIM", u"Y", u"YES", u"TRUE"})
    if (value == on) return true;
  for (const Char* off : {u"0", u"N", u"NAO", u"NO", u"FALSE"})
    if (value == off) return false;
  return std::nullopt;
}

String LimboDescription(const LimboRow& row, const String& owner) {
  return kPrefix + (u"ROWID=" + row.rowid) + u" CODIGO=" + row.codigo + u" OWNER=" + owner;
}

std::optional<LimboRow> ParseLimboDescription(StringView description) {
  if (description.substr(0, StringView(kPrefix).size()) != kPrefix) return std::nullopt;
  std::optional<String> rowid = Value(description, u" ROWID=");
  if (!rowid || rowid->empty()) return std::nullopt;
  return LimboRow{*rowid, Value(description, u" CODIGO=").value_or(String())};
}

TExactlyOnceDelivery::TExactlyOnceDelivery(TIBDatabase& database, TIBDataSet& target,
                                           TOracleSession& session, TOracleDataSet& source,
                                           LogarFunction logar, DateTimeTextFunction dt)
    : database_(database),
      target_(target),
      session_(session),
      source_(source),
      Logar(std::move(logar)),
      DT(std::move(dt)) {}

String TExactlyOnceDelivery::Resolve(int64_t id, const String& description, bool commit) {
  TIBTransaction limbo(nullptr);
  limbo.SetDefaultDatabase(&database_);
  limbo.Reconnect(id);
  if (commit)
    limbo.Commit();
  else
    limbo.Rollback();
  return String(commit ? u" Limbo confirmado " : u" Limbo desfeito ") + DT() + u" = " +
         IntToStr(id) + u" " + description;
}

void TExactlyOnceDelivery::ResolveLimbo() {
  if (!database_.Connected()) database_.Open();
  for (const TIBLimboTransaction& limbo : LimboTransactions(database_)) {
    std::optional<LimboRow> row = ParseLimboDescription(limbo.description);
    if (!row) continue;  // not this service's
    String line;
    try {
      TOracleQuery q(nullptr);
      q.SetSession(&session_);
      q.SetSQLText(kLockRow);
      q.DeclareAndSet(u"KAVO_ROWID", otString, row->rowid);
      q.Execute();
      // A deleted row cannot say whether its "X" was committed.
      if (q.Eof())
        line = u"Oracle row not found";
      else
        line = Resolve(limbo.id, limbo.description, q.FieldAsString(0) == u"X");
      q.Close();
    } catch (const EOracleError& e) {
      // Held by another session (ORA-00054), or Oracle unreachable: the
      // decision waits for a later cycle.
      line = e.Message();
    } catch (...) {
      session_.Rollback();
      throw;
    }
    // Ends the lock (nothing was changed) before anything else can fail.
    session_.Rollback();
    if (line.rfind(u" Limbo ", 0) != 0)
      line = u" Limbo mantido " + DT() + u" = " + IntToStr(limbo.id) + u" " + limbo.description +
             u" : " + line;
    Logar(line);
  }
}

void TExactlyOnceDelivery::PrepareRow() {
  String rowid = source_.RowId();
  for (const TIBLimboTransaction& limbo : LimboTransactions(database_)) {
    std::optional<LimboRow> row = ParseLimboDescription(limbo.description);
    if (row && row->rowid == rowid) Logar(Resolve(limbo.id, limbo.description, false));
  }
  target_.Transaction().Prepare(LimboDescription(
      {rowid, source_.FieldByName(u"CODIGO").AsString()}, ProcessIdentity()));
}

void TExactlyOnceDelivery::CommitRow() { target_.Transaction().CommitRetaining(); }

void TExactlyOnceDelivery::LeaveRowInLimbo() {
  try {
    database_.ForceClose();
  } catch (...) {
  }
}

}  // namespace kavo
