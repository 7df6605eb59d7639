// The integration cycle against in-memory components, with the exact log.
#include <gtest/gtest.h>

#include <new>

#include "testkit/memory_roles.h"
#include "recordset/database_error.h"
#include "rtl/code_page.h"
#include "rtl/datetime.h"
#include "rtl/format.h"
#include "rtl/format_settings.h"
#include "service/integration_cycle.h"

namespace kavo::test {
namespace {

using Log = std::vector<String>;

String DT(int n) { return Format(u"09/12/2026 10:%02d:00", {n / 60 % 60}) + u"+" + IntToStr(n % 60); }

// A log line in the call journal: "log:" and the line up to its date-time or
// value (" Oracle Aberto 09/12/..." gives "log:Oracle Aberto").
std::string LogEntry(const String& line) {
  for (const char* label : {"Iniciado integracao", "Oracle Aberto", "Firebird Aberto",
                            "Nr de Registros para Importar:", "Importando:", "Erro",
                            "Processo Encerrado"}) {
    std::string text = StringToUtf8(line);
    size_t at = text.find(label);
    if (at <= 1) return std::string("log:") + label;
  }
  return "log:?" + StringToUtf8(line);
}

// The service module stand-in: the five components, configuration and log.
class CycleTest : public ::testing::Test, protected MemoryComponents {
 protected:
  void SetUp() override {
    saved_ = FormatSettings();
    SetAnsiCodePage("CP1252");
    FormatSettings().TimeSeparator = u':';
    FormatSettings().DecimalSeparator = u',';
    FormatSettings().TimeAMString = u"AM";
    FormatSettings().TimePMString = u"PM";
  }
  void TearDown() override { FormatSettings() = saved_; }

  void Run() {
    RunIntegrationCycle(
        {session, *ora, db, *fb}, settings,
        [this](const String& line) {
          if (fail_log && fail_log(line)) throw EInOutError(32);
          log.push_back(line);
          calls.push_back(LogEntry(line));
        },
        [this] { return DT(++clock); });
  }

  // What a cycle over `codes` (all copied) logs from its start.
  Log SuccessLog(const std::vector<String>& codes, int first_dt = 1) {
    int n = first_dt;
    Log expected = {u" Iniciado integracao " + DT(n), u" Oracle Aberto " + DT(n + 1),
                    u" Firebird Aberto " + DT(n + 2),
                    u" Nr de Registros para Importar: " + IntToStr(codes.size())};
    n += 3;
    for (const String& c : codes) expected.push_back(u"Importando: " + c + u" : " + DT(n++));
    expected.push_back(u" Processo Encerrado " + DT(n));
    return expected;
  }

  std::vector<Row>& Committed() { return *server.Find(u"/data/kavo.fdb"); }
  std::string Status(int row) { return table.At(row, u"STATUS").value_or("<null>"); }
  std::string Erro(int row) { return table.At(row, u"ERRO").value_or("<null>"); }
  const Value& FbAt(const Row& r, StringView column) {
    return r.at(static_cast<size_t>(server.columns.IndexOf(column)));
  }
  // The calls without the Firebird field writes.
  Journal CallsBut(const std::string& left_out = "fb.") const {
    Journal out;
    for (const std::string& c : calls)
      if (c.rfind(left_out, 0) != 0 || c.find(":=") == std::string::npos) out.push_back(c);
    return out;
  }
  static Journal Opening() {
    return {"log:Iniciado integracao", "ora.Connected=false", "ora.LogonDatabase=ORCL",
            "ora.LogonUsername=kavo", "ora.LogonPassword=secret", "ora.Connected=true",
            "ora.Open", "ora.First", "log:Oracle Aberto", "db.Close",
            "db.DatabaseName=/data/kavo.fdb", "fb.Open", "log:Firebird Aberto",
            "ora.RecordCount", "log:Nr de Registros para Importar:"};
  }
  static Journal Closing() {
    return {"ora.Close", "fb.Close", "db.Close", "log:Processo Encerrado"};
  }
  static Journal Join(std::initializer_list<Journal> parts) {
    Journal out;
    for (const Journal& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  }

  void ExpectCleanEnd() {
    EXPECT_TRUE(session.Connected());
    EXPECT_FALSE(ora->Active());
    EXPECT_FALSE(fb->Active());
    EXPECT_FALSE(db.Connected());
    EXPECT_FALSE(tr.Active());
    EXPECT_TRUE(tr.pending.empty());
  }

  IntegrationSettings settings{u"ORCL", u"kavo", u"secret", u"/data/kavo.fdb"};
  Log log;
  int clock = 0;
  std::function<bool(const String&)> fail_log;

 private:
  TFormatSettings saved_;
};

TEST_F(CycleTest, NoPendingRowLogsTheFrameAndWritesNothing) {
  int done = table.AddPending(1, "10:00:00");
  table.Set(done, u"STATUS", Text("X"));
  Run();
  EXPECT_EQ(log, SuccessLog({}));
  EXPECT_TRUE(Committed().empty());
  EXPECT_EQ(table.commits, 0);
  ExpectCleanEnd();
}

TEST_F(CycleTest, CopiedRowCarriesItsValuesAndIsMarkedX) {
  TDateTime grav = EncodeDate(2026, 12, 8) + EncodeTime(9, 30, 0, 0);
  double ms = double(DateTimeToTimeStamp(grav).Date) * 86400000 + 9.5 * 3600000;
  int r = table.AddPending(17, "14:05:09", Float(ms));
  table.Set(r, u"ACAO", Text("\xc7"));                 // CP1252 C-cedilla
  table.Set(r, u"DADOS", Text("a\xe7\xe3o"));
  table.Set(r, u"CODIGO", Float(2.5));
  Run();
  EXPECT_EQ(log, SuccessLog({u"2,5"}));
  ASSERT_EQ(Committed().size(), 1u);
  const Row& row = Committed()[0];
  EXPECT_EQ(WideOf(FbAt(row, u"ACAO")), u"\u00c7");
  EXPECT_EQ(WideOf(FbAt(row, u"DADOS")), u"a\u00e7\u00e3o");
  EXPECT_EQ(NativeAs<int32_t>(FbAt(row, u"DATA")), DateTimeToTimeStamp(grav).Date);
  EXPECT_EQ(NativeAs<int32_t>(FbAt(row, u"HORA")), (14 * 3600 + 5 * 60 + 9) * 1000);
  EXPECT_EQ(WideOf(FbAt(row, u"TIPO")), u"PEDIDO");
  EXPECT_EQ(WideOf(FbAt(row, u"VERSAO")), u"1.0");
  EXPECT_EQ(WideOf(FbAt(row, u"STATUS")), u"PROCESSAR");
  for (const Char* unset : {u"NRECNO", u"ERRO", u"STATUS_INTEGRACAO", u"ERRO_INTEGRACAO"})
    EXPECT_FALSE(FbAt(row, unset).has_value()) << StringToUtf8(unset);
  EXPECT_EQ(Status(r), "X");
  EXPECT_EQ(Erro(r), "<null>");
  ExpectCleanEnd();
}

TEST_F(CycleTest, SuccessMarksThroughTheMovesPostFailureThroughAnExplicitPost) {
  table.AddPending(1, "10:00:00");
  table.AddPending(2, "99:00");
  Run();
  Journal expected = {
      "ora.logon", "ora.open 2", "fb.attach", "fb.start",
      // row 1: locked, copied, then marked; the write comes with the Next
      "ora.edit", "fb.insert", "fb.commitretaining", "ora.commitupdates", "ora.post+commit",
      // row 2: the HORA text fails; the insert is abandoned, ERRO posted explicitly
      "ora.edit", "fb.cancel", "ora.post+commit", "ora.commitupdates",
      "fb.commit", "fb.detach"};
  EXPECT_EQ(journal, expected);
}

TEST_F(CycleTest, FifteenHundredRowsTakeTwoCycles) {
  std::vector<String> first, second;
  for (int i = 1; i <= 1500; ++i) {
    table.AddPending(i, "08:00:00");
    (i <= 999 ? first : second).push_back(IntToStr(i));
  }
  Run();
  EXPECT_EQ(log, SuccessLog(first));
  EXPECT_EQ(Committed().size(), 999u);
  EXPECT_EQ(Status(998), "X");
  EXPECT_EQ(Status(999), "A");
  log.clear();
  Run();
  EXPECT_EQ(log, SuccessLog(second, clock - 504));
  ASSERT_EQ(Committed().size(), 1500u);
  for (int i = 0; i < 1500; ++i) EXPECT_EQ(Status(i), "X") << i;
  EXPECT_EQ(WideOf(FbAt(Committed()[1499], u"DADOS")), u"dados 1499");
  log.clear();
  Run();
  EXPECT_EQ(log, SuccessLog({}, clock - 3));
  ExpectCleanEnd();
}

TEST_F(CycleTest, UnreadableHoraMarksTheRowAndKeepsItPending) {
  int empty = table.AddPending(1, "");
  int null = table.AddPending(2, "x");
  table.Set(null, u"HORA", std::nullopt);
  int bad = table.AddPending(3, "25:00");
  int good = table.AddPending(4, "2:05 PM");
  Run();
  Log expected = {u" Iniciado integracao " + DT(1), u" Oracle Aberto " + DT(2),
                  u" Firebird Aberto " + DT(3), u" Nr de Registros para Importar: 4",
                  u"Importando: 1 : " + DT(4), u" Erro '''' is not a valid time",
                  u"Importando: 2 : " + DT(5), u" Erro '''' is not a valid time",
                  u"Importando: 3 : " + DT(6), u" Erro ''25:00'' is not a valid time",
                  u"Importando: 4 : " + DT(7), u" Processo Encerrado " + DT(8)};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(Erro(empty), "'''' is not a valid time");
  EXPECT_EQ(Erro(null), "'''' is not a valid time");
  EXPECT_EQ(Erro(bad), "''25:00'' is not a valid time");
  EXPECT_EQ(Status(empty), "A");
  EXPECT_EQ(Status(bad), "A");
  EXPECT_EQ(Status(good), "X");
  // Only the good row reached Firebird; the failed ones left nothing behind.
  ASSERT_EQ(Committed().size(), 1u);
  EXPECT_EQ(WideOf(FbAt(Committed()[0], u"DADOS")), u"dados 3");
  EXPECT_EQ(NativeAs<int32_t>(FbAt(Committed()[0], u"HORA")), (14 * 3600 + 5 * 60) * 1000);
  // And they are tried again by every later cycle.
  log.clear();
  Run();
  EXPECT_EQ(log[3], u" Nr de Registros para Importar: 3");
  EXPECT_EQ(Committed().size(), 1u);
}

TEST_F(CycleTest, TimeSeparatorOtherThanColonFailsTheRow) {
  FormatSettings().TimeSeparator = u'.';
  int r = table.AddPending(1, "14:05:09");
  Run();
  EXPECT_EQ(log[5], u" Erro ''14:05:09'' is not a valid time");
  EXPECT_EQ(Status(r), "A");
  EXPECT_TRUE(Committed().empty());
}

TEST_F(CycleTest, NullDtHGravGivesTheBaseDate) {
  table.AddPending(1, "10:00:00", std::nullopt);
  Run();
  ASSERT_EQ(Committed().size(), 1u);
  EXPECT_EQ(NativeAs<int32_t>(FbAt(Committed()[0], u"DATA")), kDateDelta);  // 1899-12-30
}

TEST_F(CycleTest, OracleLogonFailureEscapesAtTheRecordCount) {
  table.AddPending(1, "10:00:00");
  settings.SENHA_ORACLE = u"wrong";
  try {
    Run();
    ADD_FAILURE() << "the cycle did not raise";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), u"OracleDataSet: Cannot perform this operation on a closed dataset");
  }
  Log expected = {u" Iniciado integracao " + DT(1),
                  u" Erro " + DT(2) + u" = ORA-01017: invalid username/password; logon denied"};
  EXPECT_EQ(log, expected);
  EXPECT_FALSE(session.Connected());
  EXPECT_EQ(journal, Journal{});  // no Firebird work, nothing on the Oracle table
  EXPECT_EQ(Status(0), "A");
}

TEST_F(CycleTest, FirebirdOpenFailureMarksEveryRowWithTheClosedDatasetText) {
  table.AddPending(1, "10:00:00");
  table.AddPending(2, "10:00:00");
  settings.CAMINHO_FIREBIRD = u"/data/missing.fdb";
  Run();
  const String closed = u"FB_TMP_INTEGRACAO: Cannot perform this operation on a closed dataset";
  Log expected = {
      u" Iniciado integracao " + DT(1), u" Oracle Aberto " + DT(2),
      u" Erro " + DT(3) + u" = I/O error during \"open\" operation for file \"/data/missing.fdb\"",
      u" Nr de Registros para Importar: 2", u"Importando: 1 : " + DT(4), u" Erro " + closed,
      u"Importando: 2 : " + DT(5), u" Erro " + closed, u" Processo Encerrado " + DT(6)};
  EXPECT_EQ(log, expected);
  for (int r : {0, 1}) {
    EXPECT_EQ(Erro(r), StringToAnsi(closed));
    EXPECT_EQ(Status(r), "A");
  }
  EXPECT_TRUE(Committed().empty());
  ExpectCleanEnd();
}

TEST_F(CycleTest, FailedXWriteEscapesWithTheCopyCommitted) {
  table.AddPending(1, "10:00:00");
  table.AddPending(2, "10:00:00");
  table.AddPending(3, "10:00:00");
  ora->on_write = [this](const Row& r) {
    if (NativeAs<double>(r.at(1)) == 2) throw EOracleError(u"ORA-00054: resource busy");
  };
  EXPECT_THROW(Run(), EOracleError);
  Log expected = {u" Iniciado integracao " + DT(1), u" Oracle Aberto " + DT(2),
                  u" Firebird Aberto " + DT(3), u" Nr de Registros para Importar: 3",
                  u"Importando: 1 : " + DT(4), u"Importando: 2 : " + DT(5)};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(Status(0), "X");
  EXPECT_EQ(Status(1), "A");
  EXPECT_EQ(Committed().size(), 2u);  // row 2's copy is already durable
  // Left as it was: the Oracle row in edit, both sides open.
  EXPECT_EQ(ora->State(), dsEdit);
  EXPECT_TRUE(fb->Active());
  EXPECT_TRUE(db.Connected());
  // The next cycle cleans up by its own first steps and copies row 2 again.
  ora->on_write = nullptr;
  log.clear();
  Run();
  EXPECT_EQ(log[3], u" Nr de Registros para Importar: 2");
  EXPECT_EQ(Committed().size(), 4u);
  EXPECT_EQ(Status(1), "X");
  EXPECT_EQ(Status(2), "X");
  ExpectCleanEnd();
}

TEST_F(CycleTest, FailedFirebirdPostIsCancelledNotPostedByTheNextInsert) {
  table.AddPending(1, "10:00:00");
  table.AddPending(2, "10:00:00");
  int inserts = 0;
  fb->on_insert = [&](const Row&) {
    if (++inserts == 1) throw EIBError(u"violation of PRIMARY or UNIQUE KEY constraint");
  };
  Run();
  EXPECT_EQ(log[5], u" Erro violation of PRIMARY or UNIQUE KEY constraint");
  EXPECT_EQ(log[6], u"Importando: 2 : " + DT(5));
  EXPECT_EQ(log.back(), u" Processo Encerrado " + DT(6));
  EXPECT_EQ(inserts, 2);  // row 1's record was not tried again by row 2's Insert
  ASSERT_EQ(Committed().size(), 1u);
  EXPECT_EQ(WideOf(FbAt(Committed()[0], u"DADOS")), u"dados 1");
  EXPECT_EQ(Erro(0), "violation of PRIMARY or UNIQUE KEY constraint");
  EXPECT_EQ(Status(0), "A");
  EXPECT_EQ(Status(1), "X");
}

TEST_F(CycleTest, FailedCommitRetainingRollsThePostedRowBack) {
  table.AddPending(1, "10:00:00");
  table.AddPending(2, "10:00:00");
  int commits = 0;
  tr.on_commit = [&] {
    if (++commits == 1) throw EIBError(u"deadlock");
  };
  Run();
  EXPECT_EQ(log[5], u" Erro deadlock");
  EXPECT_EQ(log.back(), u" Processo Encerrado " + DT(6));
  // Row 1's record never reaches the table, though the final commit came.
  ASSERT_EQ(Committed().size(), 1u);
  EXPECT_EQ(WideOf(FbAt(Committed()[0], u"DADOS")), u"dados 1");
  EXPECT_EQ(Status(0), "A");
  EXPECT_EQ(Erro(0), "deadlock");
  EXPECT_EQ(Status(1), "X");
  EXPECT_NE(std::find(journal.begin(), journal.end(), "fb.rollbackretaining"), journal.end());
}

TEST_F(CycleTest, PostFailingAfterItsInsertRanRollsTheRowBack) {
  // The insert statement wrote the row, then the post failed (a refresh of
  // the new row, say): the row must not be committed with the next one.
  table.AddPending(1, "10:00:00");
  table.AddPending(2, "10:00:00");
  int refreshes = 0;
  fb->on_refresh = [&](const Row&) {
    if (++refreshes == 1) throw EIBError(u"lock conflict on no wait transaction");
  };
  Run();
  EXPECT_EQ(log[5], u" Erro lock conflict on no wait transaction");
  EXPECT_EQ(log.back(), u" Processo Encerrado " + DT(6));
  ASSERT_EQ(Committed().size(), 1u);
  EXPECT_EQ(WideOf(FbAt(Committed()[0], u"DADOS")), u"dados 1");
  EXPECT_EQ(Status(0), "A");
  EXPECT_EQ(Erro(0), "lock conflict on no wait transaction");
  EXPECT_EQ(Status(1), "X");
  ExpectCleanEnd();
}

TEST_F(CycleTest, ALostConnectionLeavesTheRowItsOwnError) {
  // The insert ran, then the connection went: the server ended the
  // transaction with the row in it. The row keeps the error that happened,
  // not the rollback's "Transaction is not active".
  table.AddPending(1, "10:00:00");
  fb->on_refresh = [&](const Row&) {
    tr.Lose();
    throw EIBError(u"Error writing data to the connection");
  };
  Run();
  EXPECT_EQ(log[5], u" Erro Error writing data to the connection");
  EXPECT_EQ(log.back(), u" Processo Encerrado " + DT(5));
  EXPECT_EQ(Erro(0), "Error writing data to the connection");
  EXPECT_EQ(Status(0), "A");
  EXPECT_TRUE(Committed().empty());
  EXPECT_EQ(std::find(calls.begin(), calls.end(), "tr.RollbackRetaining"), calls.end());
}

TEST_F(CycleTest, FailedUndoEscapesTheCycle) {
  table.AddPending(1, "10:00:00");
  tr.on_commit = [] { throw EIBError(u"deadlock"); };
  tr.on_rollback = [] { throw EIBError(u"connection lost"); };
  try {
    Run();
    ADD_FAILURE() << "the cycle did not raise";
  } catch (const EIBError& e) {
    EXPECT_EQ(e.Message(), u"connection lost");
  }
  EXPECT_EQ(log.back(), u"Importando: 1 : " + DT(4));
  EXPECT_EQ(Status(0), "A");
  EXPECT_EQ(Erro(0), "<null>");
}

TEST_F(CycleTest, ErroIsCutToTheFieldOrColumnWidth) {
  table.AddPending(1, "10:00:00");
  String long_message(300, u'e');
  fb->on_insert = [&](const Row&) { throw EIBError(long_message); };
  Run();
  EXPECT_EQ(log[5], u" Erro " + long_message);  // the log keeps it whole
  EXPECT_EQ(Erro(0), std::string(255, 'e'));
  // A narrower column lowers the field's size when the record set opens.
  table.columns[table.columns.IndexOf(u"ERRO")].Size = 200;
  ora->Columns()[ora->Columns().IndexOf(u"ERRO")].Size = 200;
  Run();
  EXPECT_EQ(Erro(0), std::string(200, 'e'));
}

TEST_F(CycleTest, LogFailureWhileImportingFailsOnlyThatRow) {
  table.AddPending(1, "10:00:00");
  table.AddPending(2, "10:00:00");
  fail_log = [](const String& line) { return line.rfind(u"Importando: 1 ", 0) == 0; };
  Run();
  EXPECT_EQ(log[4], u" Erro I/O error 32");
  EXPECT_EQ(Erro(0), "I/O error 32");
  EXPECT_EQ(Status(0), "A");
  EXPECT_EQ(Status(1), "X");
  EXPECT_EQ(Committed().size(), 1u);
}

TEST_F(CycleTest, LogFailureInTheRowHandlerEscapes) {
  table.AddPending(1, "");
  fail_log = [](const String& line) { return line.rfind(u" Erro ", 0) == 0; };
  EXPECT_THROW(Run(), EInOutError);
  EXPECT_EQ(ora->State(), dsEdit);  // Edit had begun; nothing was written
  EXPECT_EQ(Erro(0), "<null>");
}

TEST_F(CycleTest, ForeignExceptionsPassBothHandlers) {
  table.AddPending(1, "10:00:00");
  fb->on_insert = [](const Row&) { throw std::bad_alloc(); };
  EXPECT_THROW(Run(), std::bad_alloc);
  EXPECT_EQ(log.back(), u"Importando: 1 : " + DT(4));
  EXPECT_EQ(Erro(0), "<null>");
}

// ---- the order of the calls on the components --------------------------------------

TEST_F(CycleTest, CallsComeInTheirOrder) {
  table.AddPending(1, "10:00:00");
  table.AddPending(2, "99:00");
  Run();
  Journal copied = {"log:Importando:", "ora.Edit", "fb.Insert", "fb.Post",
                    "tr.CommitRetaining", "ora.STATUS:=X", "ora.CommitUpdates",
                    // the automatic post of the move writes STATUS
                    "ora.Post", "ora.Next"};
  Journal failed = {"log:Importando:", "ora.Edit", "fb.Insert", "fb.Cancel", "log:Erro",
                    "ora.ERRO:=''99:00'' is not a valid time", "ora.Post", "ora.CommitUpdates",
                    "ora.Next"};
  EXPECT_EQ(CallsBut(), Join({Opening(), copied, failed, Closing()}));
  // The Firebird fields, in their order; the failed row stops at HORA.
  Journal fields;
  for (const std::string& c : calls)
    if (c.rfind("fb.", 0) == 0 && c.find(":=") != std::string::npos) fields.push_back(c);
  Journal expected = {"fb.ACAO:=I", "fb.DADOS:=dados 0", "fb.DATA:=<set>", "fb.HORA:=<set>",
                      "fb.TIPO:=PEDIDO", "fb.VERSAO:=1.0", "fb.STATUS:=PROCESSAR",
                      "fb.NRECNO:=<null>", "fb.ACAO:=I", "fb.DADOS:=dados 1", "fb.DATA:=<set>"};
  EXPECT_EQ(fields, expected);
}

TEST_F(CycleTest, FailedOpeningsSkipTheRestOfTheOpening) {
  table.AddPending(1, "10:00:00");
  settings.CAMINHO_FIREBIRD = u"/data/missing.fdb";
  Run();
  Journal opening = Opening();
  opening.resize(11);  // up to the path
  opening.back() = "db.DatabaseName=/data/missing.fdb";
  Journal failed_row = {"log:Importando:", "ora.Edit", "log:Erro",
                        "ora.ERRO:=FB_TMP_INTEGRACAO: Cannot perform this operation on a "
                        "closed dataset",
                        "ora.Post", "ora.CommitUpdates", "ora.Next"};
  EXPECT_EQ(CallsBut(), Join({opening, {"fb.Open", "log:Erro", "ora.RecordCount",
                                        "log:Nr de Registros para Importar:"},
                              failed_row, Closing()}));
}

// ---- failures that must leave the cycle --------------------------------------------

TEST_F(CycleTest, ForeignExceptionsPassTheOpeningHandler) {
  table.AddPending(1, "10:00:00");
  session.on_logon = [] { throw std::bad_alloc(); };
  EXPECT_THROW(Run(), std::bad_alloc);
  EXPECT_EQ(log, Log{u" Iniciado integracao " + DT(1)});
  session.on_logon = nullptr;
  db.on_attach = [] { throw std::runtime_error("attach"); };
  calls.clear();
  EXPECT_THROW(Run(), std::runtime_error);
  Journal opening = Opening();
  opening.resize(12);  // through fb.Open
  EXPECT_EQ(calls, opening);
  EXPECT_EQ(Status(0), "A");
}

// The Oracle row is put in edit before its copy: a row another session has
// changed or holds is never copied.
TEST_F(CycleTest, ARowChangedOrHeldElsewhereIsNeverCopied) {
  table.AddPending(1, "10:00:00");
  table.AddPending(2, "10:00:00");
  // Changed: the failed Edit refreshed the record, so the handler's Edit
  // gets it and the error is written; the cycle goes on.
  int edits = 0;
  ora->on_edit = [&] {
    if (++edits == 1) throw EOracleError(u"Record has been changed by another user");
  };
  Run();
  EXPECT_EQ(log[5], u" Erro Record has been changed by another user");
  EXPECT_EQ(Erro(0), "Record has been changed by another user");
  EXPECT_EQ(Status(0), "A");
  EXPECT_EQ(Status(1), "X");
  ASSERT_EQ(Committed().size(), 1u);
  EXPECT_EQ(WideOf(FbAt(Committed()[0], u"DADOS")), u"dados 1");
  ExpectCleanEnd();

  // Held: every Edit fails, the handler's too, and that escapes the cycle
  // before anything reached Firebird.
  table.Set(0, u"ERRO", std::nullopt);
  table.AddPending(3, "10:00:00");
  ora->on_edit = [] { throw EOracleError(u"Record is locked by another user"); };
  log.clear();
  EXPECT_THROW(Run(), EOracleError);
  EXPECT_EQ(log.back(), u"Importando: 1 : " + DT(clock));
  EXPECT_EQ(Erro(0), "<null>");
  EXPECT_EQ(Status(0), "A");
  EXPECT_EQ(Status(2), "A");
  EXPECT_EQ(Committed().size(), 1u);
  EXPECT_TRUE(tr.pending.empty());
}

// A log line that cannot be written, case by case.
struct LogLineFailure {
  const char16_t* line;
  bool escapes;
  bool copied;
  Log written;
};

std::vector<LogLineFailure> LogLineFailures() {
  const String closed = u"FB_TMP_INTEGRACAO: Cannot perform this operation on a closed dataset";
  return {
      {u" Iniciado integracao ", true, false, {}},
      // The opening handler takes it: the Firebird side is never opened.
      {u" Oracle Aberto ", false, false,
       {u" Iniciado integracao " + DT(1), u" Erro " + DT(3) + u" = I/O error 32",
        u" Nr de Registros para Importar: 1", u"Importando: 1 : " + DT(4), u" Erro " + closed,
        u" Processo Encerrado " + DT(5)}},
      // Both sides are open by then: the row is copied.
      {u" Firebird Aberto ", false, true,
       {u" Iniciado integracao " + DT(1), u" Oracle Aberto " + DT(2),
        u" Erro " + DT(4) + u" = I/O error 32", u" Nr de Registros para Importar: 1",
        u"Importando: 1 : " + DT(5), u" Processo Encerrado " + DT(6)}},
      {u" Nr de Registros", true, false,
       {u" Iniciado integracao " + DT(1), u" Oracle Aberto " + DT(2),
        u" Firebird Aberto " + DT(3)}},
      // After the closes.
      {u" Processo Encerrado ", true, true,
       {u" Iniciado integracao " + DT(1), u" Oracle Aberto " + DT(2),
        u" Firebird Aberto " + DT(3), u" Nr de Registros para Importar: 1",
        u"Importando: 1 : " + DT(4)}},
  };
}

class FailingLogLine : public CycleTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(FailingLogLine, EndsTheCycleOrNotAsItShould) {
  LogLineFailure c = LogLineFailures().at(GetParam());
  table.AddPending(1, "10:00:00");
  fail_log = [&](const String& line) { return line.rfind(c.line, 0) == 0; };
  if (c.escapes)
    EXPECT_THROW(Run(), EInOutError);
  else
    EXPECT_NO_THROW(Run());
  EXPECT_EQ(log, c.written);
  if (c.written.empty()) {
    EXPECT_TRUE(calls.empty());
  }
  EXPECT_EQ(Status(0), c.copied ? "X" : "A");
  EXPECT_EQ(Committed().size(), c.copied ? 1u : 0u);
  if (c.escapes && c.copied) {
    EXPECT_EQ(Journal(calls.end() - 3, calls.end()),
              (Journal{"ora.Close", "fb.Close", "db.Close"}));
    ExpectCleanEnd();
  }
}

INSTANTIATE_TEST_SUITE_P(CycleTest, FailingLogLine,
                         ::testing::Range(size_t{0}, LogLineFailures().size()));

TEST_F(CycleTest, FailedOpeningLogLineEscapes) {
  table.AddPending(1, "10:00:00");
  settings.CAMINHO_FIREBIRD = u"/data/missing.fdb";
  fail_log = [](const String& line) { return line.rfind(u" Erro ", 0) == 0; };
  EXPECT_THROW(Run(), EInOutError);
  EXPECT_EQ(log.back(), u" Oracle Aberto " + DT(2));
  EXPECT_EQ(calls.back(), "fb.Open");
  EXPECT_EQ(Erro(0), "<null>");
}

TEST_F(CycleTest, FailedClosesEscapeBeforeTheEndIsLogged) {
  table.AddPending(1, "10:00:00");
  ora->on_close = [] { throw EDatabaseError(u"OracleDataSet: close failed"); };
  EXPECT_THROW(Run(), EDatabaseError);
  EXPECT_EQ(calls.back(), "ora.Close");
  EXPECT_TRUE(ora->Active());
  EXPECT_TRUE(fb->Active());
  EXPECT_TRUE(db.Connected());
  EXPECT_EQ(log.back(), u"Importando: 1 : " + DT(4));

  ora->on_close = nullptr;
  fb->on_close = [] { throw EIBError(u"fb close failed"); };
  table.AddPending(2, "10:00:00");
  log.clear();
  calls.clear();
  EXPECT_THROW(Run(), EIBError);
  EXPECT_EQ(Journal(calls.end() - 2, calls.end()), (Journal{"ora.Close", "fb.Close"}));
  EXPECT_FALSE(ora->Active());
  EXPECT_TRUE(db.Connected());
  EXPECT_EQ(log.back(), u"Importando: 2 : " + DT(8));

  fb->on_close = nullptr;
  db.on_close = [] { throw EIBError(u"connection lost"); };
  table.AddPending(3, "10:00:00");
  log.clear();
  calls.clear();
  EXPECT_THROW(Run(), EIBError);
  EXPECT_EQ(Journal(calls.end() - 3, calls.end()), (Journal{"ora.Close", "fb.Close", "db.Close"}));
  EXPECT_TRUE(db.Connected());
  EXPECT_EQ(log.back(), u"Importando: 3 : " + DT(12));
  // Row 3's copy was committed retaining, so it is there although the
  // connection's final commit failed.
  EXPECT_EQ(Committed().size(), 3u);
}

// ---- a second cycle ------------------------------------------------------------------

TEST_F(CycleTest, SecondCycleTakesChangedCredentialsAndPath) {
  server.databases.push_back({u"/data/other.fdb", {}});
  table.AddPending(1, "10:00:00");
  table.AddPending(2, "10:00:00");
  // The first cycle ends early (row 1's X cannot be written), leaving the
  // Oracle session logged on and the Firebird connection attached.
  ora->on_write = [](const Row&) { throw EOracleError(u"ORA-00054: resource busy"); };
  EXPECT_THROW(Run(), EOracleError);
  ASSERT_TRUE(db.Connected());
  ora->on_write = nullptr;

  // The password and the paths were changed meanwhile.
  session.good_database = u"ORCL2";
  session.good_username = u"kavo2";
  session.good_password = u"secret2";
  settings = {u"ORCL2", u"kavo2", u"secret2", u"/data/other.fdb"};
  calls.clear();
  log.clear();
  Run();
  Journal expected = Opening();
  expected[1] = "ora.Connected=false";
  expected[2] = "ora.LogonDatabase=ORCL2";
  expected[3] = "ora.LogonUsername=kavo2";
  expected[4] = "ora.LogonPassword=secret2";
  expected[10] = "db.DatabaseName=/data/other.fdb";
  Journal second = CallsBut();
  second.resize(expected.size());
  EXPECT_EQ(second, expected);
  EXPECT_EQ(log.back().rfind(u" Processo Encerrado ", 0), 0u);
  EXPECT_EQ(session.logons, 2);
  // Both rows went to the new database; the old one holds only the copy
  // that the first cycle committed.
  EXPECT_EQ(server.Find(u"/data/other.fdb")->size(), 2u);
  EXPECT_EQ(Committed().size(), 1u);
  EXPECT_EQ(Status(0), "X");
  EXPECT_EQ(Status(1), "X");
  ExpectCleanEnd();
}

}  // namespace
}  // namespace kavo::test
