// A session's cached updates over several record sets, against the stand-in:
// the order of the passes, the savepoint that undoes a failed apply, commit
// and rollback, and the refusals.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "oracle/cached_updates.h"
#include "oracle/query.h"
#include "oracle/session.h"
#include "testkit/message_of.h"
#include "testkit/oracle_standin.h"

namespace kavo::test {
namespace {

// A record set whose "log" is one statement per kind of change; it notes
// every call in a shared trace and can be told to fail one kind.
class LoggedDataSet : public TOracleUpdatesDataSet {
 public:
  LoggedDataSet(std::string name, TOracleSession* session, std::string* trace)
      : name_(std::move(name)), session_(session), trace_(trace), q_(nullptr) {
    q_.SetSession(session);
  }
  std::string del, upd, ins;  // the statements of each kind; empty: none
  unsigned fail = 0;          // kinds whose statement fails
  int restored = 0;

  TOracleSession* UpdatesSession() const override { return session_; }
  void ApplyUpdates(TApplyActions actions) override {
    const char* kind = actions == aaDelete ? "D" : actions == aaUpdate ? "U" : "I";
    *trace_ += name_ + kind + " ";
    const std::string& sql = actions == aaDelete ? del : actions == aaUpdate ? upd : ins;
    if (fail & actions) {
      q_.SetSQLText(u"insert into nowhere values (1)");
      q_.Execute();
    }
    if (sql.empty()) return;
    q_.SetSQLText(Utf8ToString(sql));
    q_.Execute();
  }
  void SaveApplyState() override { *trace_ += name_ + "save "; }
  void RestoreApplyState() override { ++restored; }
  void CommitUpdates() override { *trace_ += name_ + "commit "; }
  void CancelUpdates() override { *trace_ += name_ + "cancel "; }

 private:
  std::string name_;
  TOracleSession* session_;
  std::string* trace_;
  TOracleQuery q_;
};

class SessionUpdatesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    standin_ = new StandIn();
    ASSERT_EQ(standin_->Sql("SYSTEM/manager", "create user kavo identified by secret;\n"), 0);
    ASSERT_EQ(standin_->Sql("kavo/secret", "create table t (id number(9), v varchar2(10));\n"), 0);
  }
  static void TearDownTestSuite() {
    delete standin_;
    standin_ = nullptr;
  }
  void SetUp() override {
    ASSERT_EQ(standin_->Sql("kavo/secret",
                            "delete from t;\n"
                            "insert into t values (1, 'one');\ninsert into t values (2, 'two');\n"
                            "commit;\n"),
              0);
    session_ = Logon();
    other_ = Logon();
    a_ = std::make_unique<LoggedDataSet>("a", session_.get(), &trace_);
    b_ = std::make_unique<LoggedDataSet>("b", session_.get(), &trace_);
    a_->del = "delete from t where id = 1";
    a_->upd = "update t set v = 'TWO' where id = 2";
    b_->ins = "insert into t values (3, 'three')";
  }
  std::unique_ptr<TOracleSession> Logon() {
    auto s = std::make_unique<TOracleSession>(nullptr);
    s->SetName(u"Session1");
    s->SetLogonDatabase(Utf8ToString(standin_->Store()));
    s->SetLogonUsername(u"kavo/secret");
    s->SetConnected(true);
    return s;
  }
  // The rows of T as a session sees them: "1one 2two".
  static std::string Rows(TOracleSession& s) {
    TOracleQuery q(nullptr);
    q.SetSession(&s);
    q.SetSQLText(u"select id, v from t order by id");
    std::string out;
    for (q.Execute(); !q.Eof(); q.Next())
      out += (out.empty() ? "" : " ") + StringToUtf8(q.FieldAsString(0) + q.FieldAsString(1));
    return out;
  }

  static StandIn* standin_;
  std::string trace_;
  std::unique_ptr<TOracleSession> session_, other_;
  std::unique_ptr<LoggedDataSet> a_, b_;
};

StandIn* SessionUpdatesTest::standin_ = nullptr;

TEST_F(SessionUpdatesTest, DeletesInReverseThenUpdatesThenInsertsAndCommit) {
  session_->ApplyUpdates({a_.get(), b_.get(), a_.get()}, true);
  EXPECT_EQ(trace_, "asave bsave bD aD aU bU aI bI bcommit acommit ");
  EXPECT_EQ(Rows(*other_), "2TWO 3three");
}

TEST_F(SessionUpdatesTest, WithoutCommitTheChangesStayInTheTransaction) {
  session_->ApplyUpdates({a_.get(), b_.get()}, false);
  EXPECT_EQ(trace_, "asave bsave bD aD aU bU aI bI ");
  EXPECT_EQ(Rows(*session_), "2TWO 3three");
  EXPECT_EQ(Rows(*other_), "1one 2two");
  session_->CommitUpdates({a_.get(), b_.get()});
  EXPECT_EQ(Rows(*other_), "2TWO 3three");
  EXPECT_EQ(trace_, "asave bsave bD aD aU bU aI bI bcommit acommit ");
}

TEST_F(SessionUpdatesTest, AFailureRollsBackToTheSavepointAndKeepsEarlierWork) {
  TOracleQuery q(nullptr);
  q.SetSession(session_.get());
  q.SetSQLText(u"update t set v = 'before' where id = 1");
  q.Execute();  // uncommitted work from before the apply
  b_->fail = aaInsert;
  EXPECT_NE(MessageOf([&] { session_->ApplyUpdates({a_.get(), b_.get()}, true); }), u"(none)");
  EXPECT_EQ(Rows(*session_), "1before 2two");  // the deletes and updates are undone
  EXPECT_EQ(a_->restored, 1);
  EXPECT_EQ(b_->restored, 1);
  EXPECT_EQ(trace_, "asave bsave bD aD aU bU aI bI ");  // no log was emptied
  // A retry after the cause is gone writes each change once.
  b_->fail = 0;
  session_->ApplyUpdates({a_.get(), b_.get()}, true);
  EXPECT_EQ(Rows(*other_), "2TWO 3three");
}

TEST_F(SessionUpdatesTest, CancelRollsBackAndRefusalsComeFirst) {
  TOracleQuery q(nullptr);
  q.SetSession(session_.get());
  q.SetSQLText(u"delete from t");
  q.Execute();
  session_->CancelUpdates({a_.get(), b_.get()});
  EXPECT_EQ(trace_, "bcancel acancel ");
  EXPECT_EQ(Rows(*session_), "1one 2two");

  LoggedDataSet foreign("f", other_.get(), &trace_);
  trace_.clear();
  EXPECT_EQ(MessageOf([&] { session_->ApplyUpdates({a_.get(), &foreign}, true); }),
            u"Session1.ApplyUpdates: DataSets must belong to this Session");
  EXPECT_EQ(MessageOf([&] { session_->CommitUpdates({&foreign}); }),
            u"Session1.CommitUpdates: DataSets must belong to this Session");
  session_->SetAutoCommit(true);
  EXPECT_EQ(MessageOf([&] { session_->ApplyUpdates({a_.get()}, true); }),
            u"ApplyUpdates not possible when AutoCommit = True");
  EXPECT_EQ(trace_, "");
  EXPECT_EQ(Rows(*other_), "1one 2two");
}

}  // namespace
}  // namespace kavo::test
