// What a row's text goes through on its way, tried as an operator would: the
// service as a process, the stand-in store and real Firebird through the
// stored ISO8859_1 connection, under a UTF-8 and the C locale, with NLS_LANG
// naming UTF-8 or nothing. Every row either arrives with the very characters
// of its source (line ends as CR LF) and is marked "X", or stays pending with
// the reason in ERRO and leaves no copy behind.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "ib/ib_sql.h"
#include "rtl/ustring.h"
#include "testkit/integration_run.h"

namespace kavo::test {
namespace {

using namespace std::chrono_literals;

struct HostileRow {
  int codigo;
  std::string sql;   // the DADOS expression in the stand-in's SQL
  std::string text;  // what it stores, as UTF-8
  bool latin1;       // ISO8859_1 holds every character
  bool ascii;
  const char* refusal;  // what ERRO says when the row cannot be copied, beyond the set's name
};

std::string Quoted(const std::string& utf8) {
  std::string out = "'";
  for (char c : utf8) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

HostileRow Plain(int codigo, const std::string& text, bool latin1, bool ascii) {
  return {codigo, Quoted(text), text, latin1, ascii, nullptr};
}

// 125 times "xxx" and a line feed: 500 characters, 625 once every LF is CR LF.
HostileRow FullWidthWithLineFeeds(int codigo) {
  HostileRow row{codigo, "", "", true, true, "does not fit"};
  std::string marked;
  for (int i = 0; i < 125; ++i) {
    marked += "xxx~";
    row.text += "xxx\n";
  }
  row.sql = "replace('" + marked + "', '~', chr(10))";
  return row;
}

const std::vector<HostileRow>& Rows() {
  static const std::vector<HostileRow> rows = {
      Plain(1, "Ação, coração, pão e maçã à vista", true, false),
      Plain(2, "preço € 10", false, false),
      Plain(3, "“aspas” e ‘curvas’", false, false),
      Plain(4, "中文テスト 類型", false, false),
      Plain(5, "Привет, мир", false, false),
      Plain(6, "ok 😀 ok", false, false),
      Plain(7, "Ação 😀 ok", false, false),
      Plain(8, "it's a \\ back\\slash and \"quotes\"", true, true),
      {9, "'a'||chr(10)||'b'||chr(13)||chr(10)||'c'||chr(13)||'d'", "a\nb\r\nc\rd", true, true,
       nullptr},
      {10, "'a'||chr(0)||'b'", std::string("a\0b", 3), true, true, "NUL"},
      FullWidthWithLineFeeds(11),
  };
  return rows;
}

std::string WithCRLF(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      out += "\r\n";
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// TIPO (each row's "T<CODIGO>") -> DADOS of every staged row, read through a
// UTF8 connection so that the bytes compared are what the table holds.
std::multimap<std::string, std::string> StagedTexts(const String& database) {
  Connection c(database);
  c.db->Params().SetValue(u"lc_ctype", u"UTF8");
  c.db->Open();
  c.tr->StartTransaction();
  TIBSQL q(nullptr);
  q.SetDatabase(c.db.get());
  q.SetTransaction(c.tr.get());
  q.SQL().SetText(u"select TIPO, DADOS from TMP_INTEGRACAO");
  std::multimap<std::string, std::string> staged;
  for (q.ExecQuery(); !q.Eof(); q.Next())
    staged.emplace(StringToUtf8(q.Fields(0).AsString()), StringToUtf8(q.Fields(1).AsString()));
  q.Close();
  c.tr->Commit();
  c.db->Close();
  return staged;
}

using Setting = std::tuple<const char*, const char*, IntegrationRun::Firebird>;

class Fidelity : public ::testing::TestWithParam<Setting> {};

std::string SettingName(const ::testing::TestParamInfo<Setting>& info) {
  return std::string(std::get<0>(info.param)[1] ? "Utf8Locale" : "CLocale") +
         (*std::get<1>(info.param) ? "Al32Utf8" : "NoNlsLang") +
         (std::get<2>(info.param) == IntegrationRun::Firebird::kServer ? "Server" : "Embedded");
}

TEST_P(Fidelity, EveryRowArrivesAsItWasOrStaysPendingWithItsReason) {
  const auto [locale, nls_lang, firebird] = GetParam();
  const bool utf8_locale = std::string(locale) != "C";
  IntegrationRun run(firebird);
  run.Process().SetEnv("LC_ALL", locale);
  run.Process().SetEnv("NLS_LANG", nls_lang);
  std::string script;
  for (const HostileRow& r : Rows()) {
    const std::string n = std::to_string(r.codigo);
    script += "insert into interface_orcl (ACAO, CODIGO, DADOS, DT_H_GRAV, HORA, ORDEM, STATUS, "
              "TABELA, TIPO, VERSAO) values ('I', " + n + ", " + r.sql +
              ", to_date('2026-12-08 09:30:00', 'YYYY-MM-DD HH24:MI:SS'), '10:11:12', " + n +
              ", 'A', 'PEDIDOS', 'T" + n + "', '1.0');\n";
  }
  run.OracleSql(script + "commit;\n");
  run.Start(1500);
  ASSERT_TRUE(run.WaitForCycles(1, 60s));
  EXPECT_EQ(run.Stop(), 0);

  const auto staged = StagedTexts(run.FirebirdName());
  for (const HostileRow& r : Rows()) {
    SCOPED_TRACE("CODIGO " + std::to_string(r.codigo) + ": " + r.text);
    const std::string tipo = "T" + std::to_string(r.codigo);
    const bool copyable = r.refusal == nullptr && (utf8_locale ? r.latin1 : r.ascii);
    const std::string erro = run.Column("erro", r.codigo);
    if (copyable) {
      EXPECT_EQ(run.Column("status", r.codigo), "X");
      EXPECT_EQ(erro, "");
      ASSERT_EQ(staged.count(tipo), 1u);
      EXPECT_EQ(staged.find(tipo)->second, WithCRLF(r.text));
      continue;
    }
    EXPECT_EQ(run.Column("status", r.codigo), "A");
    EXPECT_EQ(staged.count(tipo), 0u);
    const std::string reason = r.refusal          ? r.refusal
                               : !utf8_locale     ? "LANG=C.UTF-8"
                                                  : "cannot be stored in ISO8859_1";
    EXPECT_NE(erro.find(reason), std::string::npos) << erro;
  }
  EXPECT_TRUE(run.Process().Events().empty());
}

INSTANTIATE_TEST_SUITE_P(
    LocalesAndClients, Fidelity,
    ::testing::Values(Setting{"C.UTF-8", "", IntegrationRun::Firebird::kEmbedded},
                      Setting{"C.UTF-8", "AMERICAN_AMERICA.AL32UTF8",
                              IntegrationRun::Firebird::kEmbedded},
                      Setting{"C", "", IntegrationRun::Firebird::kEmbedded},
                      Setting{"C", "AMERICAN_AMERICA.AL32UTF8", IntegrationRun::Firebird::kEmbedded},
                      Setting{"C.UTF-8", "AMERICAN_AMERICA.AL32UTF8",
                              IntegrationRun::Firebird::kServer},
                      Setting{"C", "", IntegrationRun::Firebird::kServer}),
    SettingName);

// A row whose very error cannot be written as it came (a trigger's long
// accented message, more bytes as UTF-8 than ERRO holds) keeps its place in
// the queue without holding back the rows behind it.
TEST(Fidelity, ARowWhoseLongErrorMustBeCutNeverHoldsBackTheRowsBehindIt) {
  IntegrationRun run;
  std::string accents;
  for (int i = 0; i < 150; ++i) accents += "ção ";
  run.FirebirdSql({u"create exception E_RECUSA 'x'",
                   u"create trigger RECUSA for TMP_INTEGRACAO before insert as begin "
                   u"if (NEW.TIPO = 'RECUSADO') then exception E_RECUSA 'placeholder'; end"});
  // The message itself comes in through a statement of its own.
  {
    Connection c(run.FirebirdName());
    c.db->Params().SetValue(u"lc_ctype", u"UTF8");
    c.db->Open();
    ExecuteCommitted(*c.db, {(u"alter exception E_RECUSA '" + Utf8ToString(accents) + u"'").c_str()});
    c.db->Close();
  }
  run.FirebirdSql({u"alter trigger RECUSA as begin if (NEW.TIPO = 'RECUSADO') then "
                   u"exception E_RECUSA; end"});
  run.Process().AddEnv("KAVO_ANSI_CODEPAGE=CP1252");
  run.AddPendingRows(1, 1);
  run.AddPendingRows(2, 1, "10:11:12", "RECUSADO");
  run.AddPendingRows(3, 2);
  run.Start(1500);
  ASSERT_TRUE(run.WaitForCycles(1, 60s));
  EXPECT_EQ(run.Stop(), 0);

  for (int codigo : {1, 3, 4}) EXPECT_EQ(run.Column("status", codigo), "X") << codigo;
  EXPECT_EQ(run.Column("status", 2), "A");
  const std::string erro = run.Column("erro", 2);
  EXPECT_LE(erro.size(), 255u);
  EXPECT_NE(erro.find("ção ção"), std::string::npos) << erro;
  EXPECT_EQ(Utf8ToString(erro).find(u'\xFFFD'), String::npos) << "a character was split";
  EXPECT_EQ(run.StagedRows().size(), 3u);
}

}  // namespace
}  // namespace kavo::test
