// The data-dictionary look-ups against the stand-in: resolving a table name,
// key columns, the ROWID look-up by key, column defaults evaluated on the
// server, and the client-side constraint check.
#include <gtest/gtest.h>

#include <memory>

#include "oracle/query.h"
#include "oracle/session.h"
#include "oracle/table_info.h"
#include "rtl/format_settings.h"
#include "testkit/message_of.h"
#include "testkit/oracle_standin.h"

namespace kavo::test {
namespace {

class DictionaryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    standin_ = new StandIn();
    ASSERT_EQ(standin_->Sql("SYSTEM/manager",
                            "create user kavo identified by secret;\n"
                            "create user other identified by secret;\n"
                            "create table other.elsewhere (id number(9));\n"),
              0);
    std::string out;
    ASSERT_EQ(standin_->Sql(
                  "kavo/secret",
                  "create table parent (id number(9) primary key, name varchar2(20));\n"
                  "create table child (id number(9), code varchar2(10) default 'NEW',\n"
                  "  qty number(9) default 3 + 4, parent_id number(9), note varchar2(10) not null,\n"
                  "  constraint child_pk primary key (id),\n"
                  "  constraint child_code_uk unique (code),\n"
                  "  constraint child_parent_fk foreign key (parent_id) references parent (id),\n"
                  "  constraint child_qty_ck check (qty > 0 and qty < 100));\n"
                  "create table twokeys (x number(9), y number(9), constraint twokeys_uk unique (y, x));\n"
                  "create table plain (a number(9), b varchar2(10));\n"
                  "create view child_v as select * from child;\n"
                  "create synonym kid for child;\n"
                  "insert into parent values (1, 'one');\n"
                  "insert into child (id, code, qty, parent_id, note) values (10, 'A', 1, 1, 'n');\n"
                  "insert into plain values (1, 'x');\n"
                  "insert into plain values (1, 'y');\n"
                  "commit;\n",
                  &out),
              0)
        << out;
    ASSERT_EQ(standin_->Sql("SYSTEM/manager", "create public synonym pubkid for kavo.child;\n"), 0);
  }
  static void TearDownTestSuite() {
    delete standin_;
    standin_ = nullptr;
  }
  void SetUp() override {
    saved_ = FormatSettings();
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

  std::string Resolved(const char* name) {
    String owner, table;
    ResolveName(*q_, Utf8ToString(name), owner, table);
    return StringToUtf8(owner + u"/" + table);
  }

  std::string Keys(const char* table) {
    std::string out;
    for (const String& c : GetPKFields(*q_, u"KAVO", Utf8ToString(table)))
      out += (out.empty() ? "" : ",") + StringToUtf8(c);
    return out;
  }

  String RowIdOf(const char* where) {
    q_->Clear();
    q_->SetSQLText(u"select rowid from child where " + Utf8ToString(where));
    q_->Execute();
    String r = q_->FieldAsString(0);
    q_->Close();
    return r;
  }

  static StandIn* standin_;
  TFormatSettings saved_;
  std::unique_ptr<TOracleSession> session_;
  std::unique_ptr<TOracleQuery> q_;
};

StandIn* DictionaryTest::standin_ = nullptr;

// A record of CHILD for the constraint check; a column it lacks is one the
// record set has no field for.
TConstraintRecord ChildRecord(bool inserting, String rowid,
                              std::vector<std::pair<String, OraVariant>> values) {
  TConstraintRecord r;
  r.Inserting = inserting;
  r.RowId = std::move(rowid);
  r.Value = [values](const String& column, OraVariant& value) {
    for (const auto& [name, v] : values)
      if (name == column) {
        value = v;
        return true;
      }
    return false;
  };
  return r;
}

std::string Violation(const std::optional<TConstraintViolation>& v) {
  if (!v) return "none";
  return std::to_string(v->ErrorCode) + " " + StringToUtf8(v->Constraint);
}

TEST_F(DictionaryTest, ResolvesTablesViewsSynonymsAndQualifiedNames) {
  EXPECT_EQ(Resolved("child"), "KAVO/CHILD");
  EXPECT_EQ(Resolved("CHILD_V"), "KAVO/CHILD_V");
  EXPECT_EQ(Resolved("kid"), "KAVO/CHILD");
  EXPECT_EQ(Resolved("pubkid"), "KAVO/CHILD");
  EXPECT_EQ(Resolved("nothing"), "/");
  EXPECT_EQ(Resolved("other.elsewhere"), "OTHER/ELSEWHERE");
}

TEST_F(DictionaryTest, KeyColumnsArePrimaryKeyFirstInKeyOrder) {
  EXPECT_EQ(Keys("CHILD"), "ID");
  EXPECT_EQ(Keys("TWOKEYS"), "Y,X");
  EXPECT_EQ(Keys("PLAIN"), "");
}

TEST_F(DictionaryTest, RowIdByKeyFindsExactlyOneRow) {
  EXPECT_EQ(FetchRowIdByKey(*q_, u"CHILD", {u"ID", u"CODE"}, {OraVariant(10), OraVariant(u"A")}),
            RowIdOf("id = 10"));
  EXPECT_EQ(FetchRowIdByKey(*q_, u"CHILD", {u"ID", u"PARENT_ID"}, {OraVariant(10), OraVariant(1)}),
            RowIdOf("id = 10"));
  EXPECT_EQ(MessageOf([&] { FetchRowIdByKey(*q_, u"CHILD", {u"ID"}, {OraVariant(11)}); }),
            u"Error determining ROWID: no record found");
  EXPECT_EQ(MessageOf([&] {
              FetchRowIdByKey(*q_, u"CHILD", {u"ID", u"CODE"}, {OraVariant(10), OraVariant::Null()});
            }),
            u"Error determining ROWID: no record found");  // a null value matches NULL only
  EXPECT_EQ(MessageOf([&] { FetchRowIdByKey(*q_, u"PLAIN", {u"A"}, {OraVariant(1)}); }),
            u"Error determining ROWID: more than one record found");
}

TEST_F(DictionaryTest, TableDescriptionIsCachedPerSessionWithoutRegardToCase) {
  TOracleTableInfo& a = session_->TableInfos().Find(u"kid");
  TOracleTableInfo& b = session_->TableInfos().Find(u"KID");
  EXPECT_EQ(&a, &b);
  EXPECT_EQ(session_->TableInfos().Count(), 1);
  EXPECT_EQ(a.QualifiedName(), u"KAVO.CHILD");
  const auto& cons = a.Constraints();
  std::string seen;
  for (const auto& c : cons) {
    seen += StringToUtf8(c.ConstraintName) + ":" + std::to_string(c.ConstraintType) + ":";
    for (const auto& col : c.ColumnNames) seen += StringToUtf8(col) + ",";
    if (c.ConstraintType == ctForeignKey)
      seen += StringToUtf8(c.RefOwner + u"." + c.RefTableName + u"(" + c.RefColumnNames.at(0) +
                           u")");
    seen += c.Enabled ? " " : "(disabled) ";
  }
  // Generated names (the NOT NULL check) are left out.
  EXPECT_EQ(seen,
            "CHILD_CODE_UK:2:CODE, CHILD_PARENT_FK:3:PARENT_ID,KAVO.PARENT(ID) CHILD_PK:1:ID, "
            "CHILD_QTY_CK:4:QTY, ");
  EXPECT_EQ(&a.Constraints(), &cons);
}

TEST_F(DictionaryTest, DefaultsAreEvaluatedOnTheServerOnceUnlessDynamic) {
  TOracleTableInfo& info = session_->TableInfos().Find(u"CHILD");
  std::string defaults;
  for (const TOracleColumnInfo* c : info.EvaluateDefaults(false))
    defaults += StringToUtf8(c->ColumnName + u"=" + c->DefaultExpression + u"=" +
                             c->DefaultValue.AsString()) + ";";
  EXPECT_EQ(defaults, "CODE='NEW'=NEW;QTY=3 + 4=7;");
  // Changing the stored value shows that a second call does not evaluate again.
  info.EvaluateDefaults(false)[0]->DefaultValue = OraVariant(u"changed");
  EXPECT_EQ(info.EvaluateDefaults(false)[0]->DefaultValue.AsString(), u"changed");
  EXPECT_EQ(info.EvaluateDefaults(true)[0]->DefaultValue.AsString(), u"NEW");
  EXPECT_TRUE(session_->TableInfos().Find(u"PLAIN").EvaluateDefaults(false).empty());
}

TEST_F(DictionaryTest, AColumnReadFailureIsReportedNotRaised) {
  String reported;
  const auto& columns = session_->TableInfos().Find(u"nosuch").Columns(
      [&](const Exception& e) { reported = e.Message(); });
  EXPECT_TRUE(columns.empty());
  EXPECT_NE(reported.find(u"ORA-00942"), String::npos) << StringToUtf8(reported);
}

TEST_F(DictionaryTest, ClientSideConstraintCheck) {
  TOracleTableInfo& info = session_->TableInfos().Find(u"CHILD");
  String row10 = RowIdOf("id = 10");
  auto check = [&](bool inserting, String rowid, std::vector<std::pair<String, OraVariant>> v,
                   const char* column = "", std::vector<String> disabled = {}) {
    return Violation(info.CheckConstraints(ChildRecord(inserting, rowid, std::move(v)),
                                           Utf8ToString(column), disabled));
  };
  std::vector<std::pair<String, OraVariant>> good = {
      {u"ID", 11}, {u"CODE", u"B"}, {u"QTY", 5}, {u"PARENT_ID", 1}};
  EXPECT_EQ(check(true, u"", good), "none");
  auto with = [&](const String& column, OraVariant value) {
    auto v = good;
    for (auto& [name, val] : v)
      if (name == column) val = value;
    return v;
  };
  EXPECT_EQ(check(true, u"", with(u"ID", 10)), "1 KAVO.CHILD_PK");
  EXPECT_EQ(check(false, row10, with(u"ID", 10)), "none");  // the row itself
  EXPECT_EQ(check(true, u"", with(u"CODE", u"A")), "1 KAVO.CHILD_CODE_UK");
  EXPECT_EQ(check(true, u"", with(u"CODE", OraVariant::Null())), "none");
  EXPECT_EQ(check(true, u"", with(u"PARENT_ID", 99)), "2291 KAVO.CHILD_PARENT_FK");
  EXPECT_EQ(check(true, u"", with(u"PARENT_ID", OraVariant::Null())), "none");
  EXPECT_EQ(check(true, u"", with(u"QTY", 0)), "2290 KAVO.CHILD_QTY_CK");
  EXPECT_EQ(check(true, u"", with(u"QTY", 100)), "2290 KAVO.CHILD_QTY_CK");
  EXPECT_EQ(check(true, u"", with(u"QTY", OraVariant::Null())), "none");  // unknown passes
  // Only the constraints over the changed column; disabled ones skipped.
  EXPECT_EQ(check(true, u"", with(u"ID", 10), "QTY"), "none");
  EXPECT_EQ(check(true, u"", with(u"QTY", 0), "QTY"), "2290 KAVO.CHILD_QTY_CK");
  EXPECT_EQ(check(true, u"", with(u"QTY", 0), "", {u"CHILD_QTY_CK"}), "none");
  // A record set without the column cannot check the constraint over it.
  EXPECT_EQ(check(true, u"", {{u"ID", 11}, {u"CODE", u"B"}, {u"PARENT_ID", 1}}), "none");
  EXPECT_EQ(StringToUtf8(ConstraintMessage(2290, u"KAVO.CHILD_QTY_CK")),
            "ORA-02290: check constraint (KAVO.CHILD_QTY_CK) violated");
  EXPECT_EQ(StringToUtf8(ConstraintMessage(2291, u"KAVO.FK")),
            "ORA-02291: integrity constraint (KAVO.FK) violated - parent key not found");
  EXPECT_EQ(StringToUtf8(ConstraintMessage(1, u"KAVO.PK")),
            "ORA-00001: unique constraint (KAVO.PK) violated");
}

}  // namespace
}  // namespace kavo::test
