// The statements' fixture: one stand-in database for the suite, with the
// tables the statement tests read and write, and a session and query per
// test. Shared by the files of QueryTest.
#ifndef KAVO_TESTS_ORACLE_QUERY_FIXTURE_H_
#define KAVO_TESTS_ORACLE_QUERY_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "oracle/query.h"
#include "oracle/session.h"
#include "rtl/code_page.h"
#include "rtl/format_settings.h"
#include "testkit/oracle_standin.h"

namespace kavo::test {

class QueryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    standin_ = new StandIn();
    std::string script =
        "create user kavo identified by secret;\n"
        "create table kavo.nums (n9 number(9), n10 number(10), n number, n92 number(9,2), "
        "s500 varchar2(500), d date);\n"
        "create table kavo.rows60 (id number(9));\n"
        "create table kavo.keyed (id number(9) primary key, txt varchar2(20));\n"
        "create table kavo.longs (id number(9), l long);\n"
        "create table kavo.raws (id number(9), r long raw);\n";
    ASSERT_EQ(standin_->Sql("SYSTEM/manager", script), 0);
    std::string fill;
    for (int i = 1; i <= 60; ++i) fill += "insert into rows60 values (" + std::to_string(i) + ");\n";
    fill += "insert into keyed values (4, 'taken');\ncommit;\n";
    ASSERT_EQ(standin_->Sql("kavo/secret", fill), 0);
  }
  static void TearDownTestSuite() {
    delete standin_;
    standin_ = nullptr;
  }
  void SetUp() override {
    saved_ = FormatSettings();
    FormatSettings() = FormatSettingsFromPatterns("%d/%m/%Y", "%H:%M:%S", "AM", "PM", ".", ",");
    session_ = std::make_unique<TOracleSession>(nullptr);
    session_->SetLogonDatabase(Utf8ToString(standin_->Store()));
    session_->SetLogonUsername(u"kavo/secret");
    session_->SetConnected(true);
    q_ = std::make_unique<TOracleQuery>(nullptr);
    q_->SetSession(session_.get());
  }
  void TearDown() override {
    q_.reset();
    session_.reset();
    FormatSettings() = saved_;
  }

  inline static StandIn* standin_ = nullptr;
  TFormatSettings saved_;
  std::unique_ptr<TOracleSession> session_;
  std::unique_ptr<TOracleQuery> q_;
};

}  // namespace kavo::test

#endif  // KAVO_TESTS_ORACLE_QUERY_FIXTURE_H_
