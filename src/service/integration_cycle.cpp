#include "service/integration_cycle.h"

#include "recordset/field.h"
#include "rtl/code_page.h"
#include "rtl/exceptions.h"
#include "rtl/format_settings.h"
#include "rtl/str_to_time.h"
#include "service/exactly_once.h"

namespace kavo {

namespace {

// How far the current row got on the Firebird side. A post that raised may
// still have written the row (its insert ran, a later step failed), so any
// post that was tried counts until the commit went through.
struct RowProgress {
  bool post_tried = false;
  bool committed = false;
};

void OpenBothSides(const IntegrationComponents& c, const IntegrationSettings& s,
                   const LogarFunction& Logar, const DateTimeTextFunction& DT,
                   ExactlyOnceDelivery* delivery) {
  c.OracleSession.SetConnected(false);
  c.OracleSession.SetLogonDatabase(s.CAMINHO_ORACLE);
  c.OracleSession.SetLogonUsername(s.USUARIO_ORACLE);
  c.OracleSession.SetLogonPassword(s.SENHA_ORACLE);
  c.OracleSession.SetConnected(true);
  c.OracleDataSet.Open();
  c.OracleDataSet.First();
  Logar(u" Oracle Aberto " + DT());
  c.IBDatabase.Close();
  c.IBDatabase.SetDatabaseName(s.CAMINHO_FIREBIRD);
  if (delivery) delivery->ResolveLimbo();
  c.FB_TMP_INTEGRACAO.Open();
  Logar(u" Firebird Aberto " + DT());
}

void CopyRow(const IntegrationComponents& c, const LogarFunction& Logar,
             const DateTimeTextFunction& DT, RowProgress& progress,
             ExactlyOnceDelivery* delivery) {
  TDataSet& source = c.OracleDataSet;
  roles::IBDataSet& target = c.FB_TMP_INTEGRACAO;
  String dt = DT();
  Logar(u"Importando: " + source.FieldByName(u"CODIGO").AsString() + u" : " + dt);
  // The Oracle row is checked and locked before anything is copied: a row
  // another session holds or has changed is never copied, where a copy made
  // first would be committed and copied again by the next cycle.
  source.Edit();
  target.Insert();
  target.FieldByName(u"ACAO").SetAsWideString(
      AnsiToString(source.FieldByName(u"ACAO").AsAnsiString()));
  target.FieldByName(u"DADOS").SetAsWideString(
      AnsiToString(source.FieldByName(u"DADOS").AsAnsiString()));
  target.FieldByName(u"DATA").SetAsDateTime(source.FieldByName(u"DT_H_GRAV").AsDateTime());
  target.FieldByName(u"HORA").SetAsDateTime(
      StrToTime(AnsiToString(source.FieldByName(u"HORA").AsAnsiString()), FormatSettings()));
  target.FieldByName(u"TIPO").SetAsWideString(source.FieldByName(u"TIPO").AsString());
  target.FieldByName(u"VERSAO").SetAsWideString(source.FieldByName(u"VERSAO").AsString());
  target.FieldByName(u"STATUS").SetAsWideString(u"PROCESSAR");
  target.FieldByName(u"NRECNO").Clear();
  progress.post_tried = true;
  target.Post();
  if (delivery)
    delivery->PrepareRow();
  else
    target.Transaction().CommitRetaining();
  progress.committed = true;
}

// A failed row leaves nothing behind in Firebird: its half-built record
// would otherwise be posted by the next row's Insert, and a written but
// uncommitted one committed later while the Oracle row stays pending. Every
// earlier row ended committed or rolled back, so the rollback undoes this
// row's work only.
void UndoFirebirdRow(roles::IBDataSet& target, const RowProgress& progress) {
  if (target.State() == dsInsert || target.State() == dsEdit) target.Cancel();
  // A lost connection has ended the transaction and undone the row already;
  // a rollback would only raise over the row's own error.
  if (progress.post_tried && !progress.committed && target.Transaction().InTransaction())
    target.Transaction().RollbackRetaining();
}

// The error text cut to what the ERRO column takes: at most `size` bytes of
// UTF-8, the widest form the client sends it in, by whole characters.
String FitErrorText(const String& message, int size) {
  const std::string bytes = StringToUtf8(message);
  if (size < 0 || bytes.size() <= static_cast<size_t>(size)) return message;
  return Utf8ToString(CutWholeCharacters(bytes, static_cast<size_t>(size), "UTF-8"));
}

// The row is in edit. When even its ERRO cannot be written, the row stays
// pending as it was and the cycle goes on: one row must never hold back the
// rows behind it, cycle after cycle.
void WriteRowError(TDataSet& source, const String& message, const LogarFunction& Logar,
                   const EventFunction& ReportEvent) {
  try {
    TField& erro = source.FieldByName(u"ERRO");
    erro.SetAsString(FitErrorText(message, erro.Size()));
    source.Post();
  } catch (const Exception& e) {
    Logar(u" Erro " + e.Message());
    if (ReportEvent) ReportEvent(e.Message());
    if (source.State() == dsEdit || source.State() == dsInsert) source.Cancel();
  }
}

}  // namespace

void RunIntegrationCycle(const IntegrationComponents& c, const IntegrationSettings& s,
                         const LogarFunction& Logar, const DateTimeTextFunction& DT,
                         const EventFunction& ReportEvent, ExactlyOnceDelivery* delivery) {
  roles::OracleDataSet& source = c.OracleDataSet;
  Logar(u" Iniciado integracao " + DT());
  try {
    OpenBothSides(c, s, Logar, DT, delivery);
  } catch (const Exception& e) {
    Logar(u" Erro " + DT() + u" = " + e.Message());
  }
  // A closed Oracle record set raises here and ends the cycle.
  Logar(u" Nr de Registros para Importar: " + IntToStr(source.RecordCount()));
  while (!source.Eof()) {
    RowProgress progress;
    try {
      CopyRow(c, Logar, DT, progress, delivery);
    } catch (const Exception& e) {
      UndoFirebirdRow(c.FB_TMP_INTEGRACAO, progress);
      source.Edit();
      Logar(u" Erro " + e.Message());
      WriteRowError(source, e.Message(), Logar, ReportEvent);
      source.CommitUpdates();
      source.Next();
      continue;
    }
    // The row is still in edit from the copy; the automatic post of Next
    // writes STATUS and commits it.
    source.FieldByName(u"STATUS").SetAsAnsiString("X");
    source.CommitUpdates();
    if (!delivery) {
      source.Next();
      continue;
    }
    try {
      source.Next();
    } catch (...) {
      delivery->LeaveRowInLimbo();
      throw;
    }
    delivery->CommitRow();
  }
  source.Close();
  c.FB_TMP_INTEGRACAO.Close();
  c.IBDatabase.Close();
  Logar(u" Processo Encerrado " + DT());
}

}  // namespace kavo
