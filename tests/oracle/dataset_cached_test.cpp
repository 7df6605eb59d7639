// Cached updates on the Oracle record set against the stand-in: what a post
// and a delete send, the order ApplyUpdates writes in, the change log's
// merging, CancelUpdates, re-querying with pending changes, UpdateStatus,
// StartUpdates, the session's ApplyUpdates, and a failed apply that leaves
// the server and the log as they were.
#include <gtest/gtest.h>

#include "oracle/query.h"
#include "testkit/message_of.h"
#include "testkit/oracle_dataset_fixture.h"

namespace kavo::test {
namespace {

using Records = std::vector<std::string>;

class DataSetCachedTest : public OracleDataSetFixture {
 protected:
  void SetUp() override {
    OracleDataSetFixture::SetUp();
    AddPendingRows(4);
    AddServiceFields();
    ds_->SetCachedUpdates(true);
    ds_->Open();
    trace_->Clear();
  }
  // "CODIGO:STATUS" of the visible records.
  std::string Records_() {
    std::string out;
    for (ds_->First(); !ds_->Eof(); ds_->Next())
      out += (out.empty() ? "" : " ") + std::to_string(ds_->FieldByName(u"CODIGO").AsInteger()) +
             ":" + StringToUtf8(ds_->FieldByName(u"STATUS").AsString());
    return out;
  }
  // "CODIGO:STATUS" of the table's rows as `s` sees them.
  std::string Rows(TOracleSession& s) {
    TOracleQuery q(nullptr);
    q.SetSession(&s);
    q.SetSQLText(u"select codigo, status from interface_orcl order by codigo");
    std::string out;
    for (q.Execute(); !q.Eof(); q.Next())
      out += (out.empty() ? "" : " ") +
             StringToUtf8(q.FieldAsString(0) + u":" + q.FieldAsString(1));
    return out;
  }
  void Go(int codigo) {
    for (ds_->First(); !ds_->Eof(); ds_->Next())
      if (ds_->FieldByName(u"CODIGO").AsInteger() == codigo) return;
    FAIL() << "no record " << codigo;
  }
  void SetStatus(int codigo, const char16_t* status) {
    Go(codigo);
    ds_->Edit();
    ds_->FieldByName(u"STATUS").SetAsString(status);
    ds_->Post();
  }
  // A new record before the last one.
  void InsertRow(int codigo, const char16_t* status = u"N") {
    ds_->Last();
    ds_->Insert();
    ds_->FieldByName(u"CODIGO").SetAsFloat(codigo);
    ds_->FieldByName(u"STATUS").SetAsString(status);
    ds_->Post();
  }
  // The kinds of the statements traced: "delete", "update", "insert", ...
  std::string Kinds() {
    std::string out;
    for (const std::string& r : trace_->Take()) {
      std::string word = r.substr(0, r.find(' '));
      if (word == "select") continue;  // the checks before each change
      out += (out.empty() ? "" : " ") + word;
    }
    return out;
  }
  void Change() {
    SetStatus(3, u"X");
    Go(1);
    ds_->Delete();
    InsertRow(7);
  }
};

TEST_F(DataSetCachedTest, ChangesWaitForApplyUpdatesWhichWritesDeletesUpdatesInserts) {
  Change();
  EXPECT_EQ(Kinds(), "");  // only the checks of Edit and Delete
  EXPECT_EQ(Records_(), "2:A 3:X 7:N 4:A");
  EXPECT_TRUE(ds_->UpdatesPending());
  EXPECT_EQ(ds_->ChangeLog().Count(), 3);
  ds_->ApplyUpdates();
  EXPECT_EQ(Kinds(), "savepoint delete update insert");
  auto other = NewSession();
  EXPECT_EQ(Rows(*other), "1:A 2:A 3:A 4:A");  // nothing committed
  EXPECT_EQ(Rows(*session_), "2:A 3:X 4:A 7:N");
  EXPECT_EQ(ds_->ChangeLog().Count(), 3);  // the log stays until CommitUpdates
  ds_->CommitUpdates();
  EXPECT_FALSE(ds_->UpdatesPending());
  session_->Commit();
  EXPECT_EQ(Rows(*other), "2:A 3:X 4:A 7:N");
  // The inserted record took the ROWID of its row: it can be changed again.
  Go(7);
  EXPECT_FALSE(ds_->RowId().empty());
  ds_->SetCachedUpdates(false);
  ds_->Edit();
  ds_->FieldByName(u"STATUS").SetAsString(u"Z");
  ds_->Post();
  EXPECT_EQ(Column("status", 7), "Z");
}

TEST_F(DataSetCachedTest, TheLogMergesChangesOfOneRecord) {
  InsertRow(8);
  Go(8);
  ds_->Delete();
  EXPECT_EQ(ds_->ChangeLog().Count(), 0);  // inserted then deleted: nothing
  SetStatus(2, u"X");
  SetStatus(2, u"Y");
  EXPECT_EQ(ds_->ChangeLog().Count(), 1);
  Go(2);
  ds_->Delete();
  ASSERT_EQ(ds_->ChangeLog().Count(), 1);
  TChangeLog& log = const_cast<TChangeLog&>(ds_->ChangeLog());
  EXPECT_EQ(log.Item(0).Action, u'D');
  EXPECT_TRUE(log.Item(0).AfterData.Empty());
  ASSERT_FALSE(log.Item(0).BeforeData.Empty());
  // The before-image is the record as fetched, before the first change.
  ds_->CancelUpdates();
  EXPECT_EQ(Records_(), "1:A 2:A 3:A 4:A");
}

TEST_F(DataSetCachedTest, CancelUpdatesRestoresTheRecordsAsFetched) {
  Change();
  SetStatus(7, u"Q");
  ds_->CancelUpdates();
  EXPECT_EQ(Records_(), "1:A 2:A 3:A 4:A");
  EXPECT_FALSE(ds_->UpdatesPending());
  EXPECT_EQ(ds_->RecordCount(), 4);
  EXPECT_EQ(Kinds(), "");
}

TEST_F(DataSetCachedTest, ReQueryingKeepsPendingChanges) {
  SetStatus(3, u"X");
  Go(1);
  ds_->Delete();
  InsertRow(7, u"A");
  ds_->Refresh();
  EXPECT_EQ(Records_(), "2:A 3:X 7:A 4:A");
  EXPECT_EQ(ds_->ChangeLog().Count(), 3);
  // After applying, the rows come from the server as the query selects
  // them (3 is no longer pending), and the inserted one is not shown twice.
  ds_->ApplyUpdates();
  ds_->Refresh();
  EXPECT_EQ(Records_(), "2:A 4:A 7:A");
}

TEST_F(DataSetCachedTest, UpdateStatusFollowsTheLog) {
  Go(2);
  EXPECT_EQ(ds_->UpdateStatus(), usUnmodified);
  ds_->Edit();
  EXPECT_EQ(ds_->UpdateStatus(), usModified);
  ds_->Cancel();
  SetStatus(2, u"X");
  EXPECT_EQ(ds_->UpdateStatus(), usModified);
  InsertRow(9);
  EXPECT_EQ(ds_->UpdateStatus(), usInserted);
  ds_->Insert();
  EXPECT_EQ(ds_->UpdateStatus(), usInserted);
  ds_->Cancel();
}

TEST_F(DataSetCachedTest, AFailedApplyLeavesServerAndLogAsTheyWereSoARetryWritesOnce) {
  ASSERT_EQ(Sql("create unique index interface_codigo on interface_orcl (codigo);\n"), 0);
  SetStatus(3, u"X");
  Go(1);
  ds_->Delete();
  InsertRow(2);  // CODIGO 2 is taken: the insert, written last, fails
  trace_->Clear();
  String error = MessageOf([&] { ds_->ApplyUpdates(); });
  EXPECT_NE(error.find(u"ORA-00001"), String::npos) << StringToUtf8(error);
  EXPECT_EQ(Kinds(), "savepoint delete update insert rollback");
  // The delete and the update are undone; the log and the records are as before.
  EXPECT_EQ(Rows(*session_), "1:A 2:A 3:A 4:A");
  EXPECT_EQ(ds_->ChangeLog().Count(), 3);
  EXPECT_EQ(Records_(), "2:A 3:X 2:N 4:A");
  // The cause removed, a retry writes every change once.
  TOracleQuery q(nullptr);
  q.SetSession(session_.get());
  q.SetSQLText(u"update interface_orcl set codigo = 20 where codigo = 2");
  q.Execute();
  ds_->ApplyUpdates();
  session_->Commit();
  ds_->CommitUpdates();
  auto other = NewSession();
  EXPECT_EQ(Rows(*other), "2:N 3:X 4:A 20:A");
  ASSERT_EQ(Sql("drop index interface_codigo;\n"), 0);
}

TEST_F(DataSetCachedTest, TheSessionAppliesAndCommitsTheRecordSet) {
  Change();
  ds_->SetCountAllRecords(true);  // the server's rows plus the net logged inserts
  EXPECT_EQ(ds_->RecordCount(), 4);
  // Switched off with a pending log: the log is still applied.
  ds_->SetCachedUpdates(false);
  session_->ApplyUpdates({ds_}, true);
  EXPECT_FALSE(ds_->UpdatesPending());
  auto other = NewSession();
  EXPECT_EQ(Rows(*other), "2:A 3:X 4:A 7:N");
}

TEST_F(DataSetCachedTest, StartUpdatesWritesAtOnceWithoutCommittingUntilTheSessionDecides) {
  ds_->Close();
  ds_->SetCachedUpdates(false);
  ds_->Open();
  ds_->StartUpdates();
  SetStatus(2, u"X");
  auto other = NewSession();
  EXPECT_EQ(Rows(*session_), "1:A 2:X 3:A 4:A");
  EXPECT_EQ(Rows(*other), "1:A 2:A 3:A 4:A");
  EXPECT_EQ(ds_->ChangeLog().Count(), 1);
  session_->CancelUpdates({ds_});
  EXPECT_EQ(Rows(*session_), "1:A 2:A 3:A 4:A");
  EXPECT_EQ(Records_(), "1:A 2:A 3:A 4:A");
  EXPECT_EQ(ds_->ChangeLog().Count(), 0);
}

TEST_F(DataSetCachedTest, ARecordSetWithoutRowIdCannotCacheUpdates) {
  ds_->Close();
  ds_->SQL().Clear();
  ds_->SQL().Add(u"select * from interface_orcl");
  EXPECT_EQ(MessageOf([&] { ds_->Open(); }), u"CachedUpdates requires a rowid!");
  EXPECT_FALSE(ds_->Active());
}

}  // namespace
}  // namespace kavo::test
