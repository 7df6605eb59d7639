#include "service/operator_commands.h"

#include <vector>

#include "ib/ib_sql.h"
#include "platform/ini_file.h"
#include "rtl/exceptions.h"
#include "rtl/format.h"
#include "service/ini_file_problem.h"
#include "service/kavo_servico_integrador.h"
#include "service/service_application.h"

namespace kavo {
namespace {

const Char* const kOracleColumns =
    u"ACAO, CODIGO, DADOS, DT_H_GRAV, DT_H_PRI_P, DT_H_ULT_P, ERRO, HORA, ORDEM, STATUS, "
    u"TABELA, TIPO, VERSAO";
const Char* const kFirebirdColumns =
    u"ACAO, DADOS, DATA, ERRO, ERRO_INTEGRACAO, HORA, NRECNO, STATUS, STATUS_INTEGRACAO, TIPO, "
    u"VERSAO";

// A server's message may span lines; a step gets one.
String OneLine(const String& text) {
  String line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      if (i + 1 < text.size()) line += u"; ";
    } else {
      line += text[i];
    }
  }
  return line;
}

String MessageOf(const std::exception& e) {
  if (auto* k = dynamic_cast<const Exception*>(&e)) return OneLine(k->Message());
  return OneLine(Utf8ToString(e.what()));
}

struct Step {
  bool ok;
  String line;
};

class Checker {
 public:
  explicit Checker(TKavoServicoIntegrador& module) : m_(module) {}

  // Every step, in order; each is one line.
  std::vector<Step> Run() {
    const String ini = m_.IniPath();
    if (String problem = IniFileProblem(ini); !problem.empty()) {
      Fail(u"configuration: " + ini + u": " + problem +
           u". Write it beside the executable: section [KavoIntegracao] with ORACLE, UU, SS, "
           u"FIREBIRD and MINUTOS.");
      for (const Char* step : {u"Oracle logon", u"Oracle table", u"Firebird attach",
                               u"Firebird table"})
        Skip(String(step) + u": needs the configuration");
      return steps_;
    }
    const IntegrationSettings s = m_.ReadIni();
    String missing;
    for (auto [key, value] : {std::pair{u"ORACLE", &s.CAMINHO_ORACLE},
                              std::pair{u"UU", &s.USUARIO_ORACLE},
                              std::pair{u"SS", &s.SENHA_ORACLE},
                              std::pair{u"FIREBIRD", &s.CAMINHO_FIREBIRD}})
      if (value->empty()) missing += (missing.empty() ? u"" : u", ") + String(key);
    if (missing.empty())
      Ok(u"configuration: " + ini);
    else
      Fail(u"configuration: " + ini + u": no value for " + missing +
           u" in section [KavoIntegracao]. Set them.");

    CheckOracle(s);
    CheckFirebird(s);
    return steps_;
  }

 private:
  void Ok(const String& text) { steps_.push_back({true, u"OK   " + text}); }
  void Fail(const String& text) { steps_.push_back({false, u"FAIL " + text}); }
  void Skip(const String& text) { steps_.push_back({false, u"SKIP " + text}); }

  void CheckOracle(const IntegrationSettings& s) {
    const String who = s.USUARIO_ORACLE + u"@" + s.CAMINHO_ORACLE;
    try {
      m_.OracleSession->SetConnected(false);
      m_.OracleSession->SetLogonDatabase(s.CAMINHO_ORACLE);
      m_.OracleSession->SetLogonUsername(s.USUARIO_ORACLE);
      m_.OracleSession->SetLogonPassword(s.SENHA_ORACLE);
      m_.OracleSession->SetConnected(true);
      Ok(u"Oracle logon: " + who);
    } catch (const std::exception& e) {
      Fail(u"Oracle logon: " + who + u": " + MessageOf(e) +
           u". Check ORACLE, UU and SS in the INI, that the database is reachable, and that "
           u"the Oracle client is found (ORACLE_HOME).");
      Skip(u"Oracle table: needs the Oracle logon");
      return;
    }
    try {
      // The cycle's own statement with its fields: a missing column fails here.
      m_.OracleDataSet->Open();
      int count = m_.OracleDataSet->RecordCount();
      m_.OracleDataSet->Close();
      Ok(u"Oracle table: v9norvelo.\"INTERFACE_ORCL\": " + IntToStr(count) +
         (count >= 999 ? u" pending rows or more (a cycle takes 999)" : u" pending rows"));
    } catch (const std::exception& e) {
      try {
        m_.OracleDataSet->Close();
      } catch (const std::exception&) {
      }
      Fail(u"Oracle table: v9norvelo.\"INTERFACE_ORCL\": " + MessageOf(e) +
           u". It needs the columns " + kOracleColumns + u", and UU must be allowed to read, "
           u"lock and update it.");
    }
    try {
      m_.OracleSession->SetConnected(false);
    } catch (const std::exception&) {
    }
  }

  void CheckFirebird(const IntegrationSettings& s) {
    TIBDatabase& db = *m_.IBDatabase;
    try {
      db.Close();
      db.SetDatabaseName(s.CAMINHO_FIREBIRD);
      db.Open();
      Ok(u"Firebird attach: " + s.CAMINHO_FIREBIRD);
    } catch (const std::exception& e) {
      Fail(u"Firebird attach: " + s.CAMINHO_FIREBIRD + u": " + MessageOf(e) +
           u". Check FIREBIRD in the INI, that the server runs (or the file exists, for the "
           u"embedded engine), and that the user VAVAVOR may log on.");
      Skip(u"Firebird table: needs the Firebird attach");
      return;
    }
    TIBTransaction& tr = *m_.IBTransaction;
    try {
      TIBSQL insert(nullptr);
      insert.SetDatabase(&db);
      insert.SetTransaction(&tr);
      insert.SQL().SetText(m_.FB_TMP_INTEGRACAO->InsertSQL().Text());
      if (!tr.InTransaction()) tr.StartTransaction();
      insert.Prepare();
      Ok(u"Firebird table: the insert into TMP_INTEGRACAO prepares");
    } catch (const std::exception& e) {
      Fail(u"Firebird table: TMP_INTEGRACAO: " + MessageOf(e) + u". It needs the columns " +
           kFirebirdColumns + u", and VAVAVOR must be allowed to insert into it.");
    }
    try {
      if (tr.InTransaction()) tr.Rollback();
      db.Close();
    } catch (const std::exception&) {
    }
  }

  TKavoServicoIntegrador& m_;
  std::vector<Step> steps_;
};

}  // namespace

int RunCheck(TKavoServicoIntegrador& module, const OutputLine& out) {
  bool ok = true;
  for (const Step& step : Checker(module).Run()) {
    out(step.line);
    ok = ok && step.ok;
  }
  return ok ? 0 : 1;
}

int RunOnce(TKavoServicoIntegrador& module, const OutputLine& out, const OutputLine& err) {
  std::vector<Step> steps = Checker(module).Run();
  bool ready = true;
  for (const Step& step : steps) ready = ready && step.ok;
  if (!ready) {
    for (const Step& step : steps) err(step.line);
    err(u"FAIL cycle: not started; nothing was copied, marked or logged");
    return 1;
  }
  module.SetLogEcho(out);
  try {
    module.CarregaINI();
    module.Integrar();
  } catch (const std::exception& e) {
    module.SetLogEcho({});
    const String message = MessageOf(e);
    err(u"FAIL cycle: " + message);
    if (TServiceApplication* app = ServiceApplication()) app->DoHandleException(Exception(message));
    return 1;
  }
  module.SetLogEcho({});
  return 0;
}

}  // namespace kavo
