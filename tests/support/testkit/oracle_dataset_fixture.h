// A stand-in store with the interface table of the service, a session logged
// on to it as its owner, and an Oracle record set with the service's query
// and persistent fields; every statement the stand-in executes is traced.
#ifndef KAVO_TESTKIT_ORACLE_DATASET_FIXTURE_H_
#define KAVO_TESTKIT_ORACLE_DATASET_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "oracle/oracle_dataset.h"
#include "oracle/session.h"
#include "recordset/date_time_fields.h"
#include "recordset/numeric_fields.h"
#include "recordset/string_fields.h"
#include "testkit/oracle_standin.h"
#include "testkit/pinned_locale.h"
#include "testkit/standin_trace.h"

namespace kavo::test {

class OracleDataSetFixture : public PinnedLocale {
 protected:
  static void SetUpTestSuite() {
    standin_ = new StandIn();
    std::string script =
        "create user v9norvelo identified by secret;\n"
        "create user other identified by secret;\n"
        "create table v9norvelo.\"INTERFACE_ORCL\" (ACAO varchar2(1), CODIGO number, "
        "DADOS varchar2(500), DT_H_GRAV date, DT_H_PRI_P date, DT_H_ULT_P date, "
        "ERRO varchar2(255), HORA varchar2(8), ORDEM number, STATUS varchar2(1), "
        "TABELA varchar2(20), TIPO varchar2(50), VERSAO varchar2(10));\n";
    ASSERT_EQ(standin_->Sql("SYSTEM/manager", script), 0);
  }
  static void TearDownTestSuite() {
    delete standin_;
    standin_ = nullptr;
  }

  void SetUp() override {
    PinnedLocale::SetUp();
    trace_ = std::make_unique<StandInTrace>(standin_->Store() + ".trace");
    ASSERT_EQ(Sql("delete from interface_orcl;\ncommit;\n"), 0);
    session_ = NewSession();
    ds_ = new TOracleDataSet(&owner_);
    ds_->SetName(u"OracleDataSet");
    ds_->SetSession(session_.get());
    ds_->SetOptimize(false);
    for (const char16_t* line : {u"SELECT A.*, A.ROWID FROM ", u"v9norvelo.\"INTERFACE_ORCL\" A ",
                                 u"WHERE ", u"A.STATUS='A' ", u"and  ROWNUM < 1000"})
      ds_->SQL().Add(line);
  }
  void TearDown() override {
    delete ds_;
    ds_ = nullptr;
    session_.reset();
    trace_.reset();
    PinnedLocale::TearDown();
  }

  std::unique_ptr<TOracleSession> NewSession() {
    auto s = std::make_unique<TOracleSession>(nullptr);
    s->SetLogonDatabase(Utf8ToString(standin_->Store()));
    s->SetLogonUsername(u"v9norvelo/secret");
    s->SetConnected(true);
    return s;
  }

  // Runs a script as the table's owner through the admin tool.
  int Sql(const std::string& script, std::string* output = nullptr) {
    return standin_->Sql("v9norvelo/secret", script, output);
  }

  // `n` pending rows: CODIGO 1..n, HORA "10:00:00", the other texts set.
  void AddPendingRows(int n) {
    std::string script;
    for (int i = 1; i <= n; ++i)
      script += "insert into interface_orcl (acao, codigo, dados, dt_h_grav, erro, hora, ordem, "
                "status, tabela, tipo, versao) values ('I', " + std::to_string(i) + ", 'dados " +
                std::to_string(i) + "', to_date('2024-03-05 08:30:15', 'yyyy-mm-dd hh24:mi:ss'), "
                "null, '10:00:00', " + std::to_string(i) + ".5, 'A', 'PEDIDOS', 'PEDIDO', '1.0');\n";
    script += "commit;\n";
    ASSERT_EQ(Sql(script), 0);
  }

  // The thirteen persistent fields of the service module.
  void AddServiceFields() {
    Add<TStringField>(u"ACAO", 1);
    Add<TFloatField>(u"CODIGO");
    Add<TStringField>(u"DADOS", 500);
    Add<TDateTimeField>(u"DT_H_GRAV");
    Add<TDateTimeField>(u"DT_H_PRI_P");
    Add<TDateTimeField>(u"DT_H_ULT_P");
    Add<TStringField>(u"ERRO", 255);
    Add<TStringField>(u"HORA", 8);
    Add<TFloatField>(u"ORDEM");
    Add<TStringField>(u"STATUS", 1);
    Add<TStringField>(u"TABELA", 20);
    Add<TStringField>(u"TIPO", 50);
    Add<TStringField>(u"VERSAO", 10);
  }

  template <class F>
  F* Add(const char16_t* name, int size = 0) {
    auto* f = new F(&owner_);
    f->SetName(u"OracleDataSet" + String(name));
    f->SetFieldName(name);
    if (size) f->SetSize(size);
    f->SetDataSet(ds_);
    return f;
  }

  // One column of the table for the row with that CODIGO, as the admin tool
  // prints it (NULL as nothing).
  std::string Column(const std::string& column, int codigo) {
    std::string out;
    EXPECT_EQ(Sql("select " + column + " from interface_orcl where codigo = " +
                  std::to_string(codigo) + ";\n", &out), 0);
    // Header line, value line, row count.
    size_t first = out.find('\n');
    size_t second = out.find('\n', first + 1);
    return out.substr(first + 1, second - first - 1);
  }

  static StandIn* standin_;
  TComponent owner_{nullptr};
  std::unique_ptr<StandInTrace> trace_;
  std::unique_ptr<TOracleSession> session_;
  TOracleDataSet* ds_ = nullptr;
};

inline StandIn* OracleDataSetFixture::standin_ = nullptr;

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_ORACLE_DATASET_FIXTURE_H_
