// A detail TIBDataSet following a master through a data source, Append and
// old values, over the embedded engine.
#include <gtest/gtest.h>

#include "ib/ib_dataset.h"
#include "testkit/ib_support.h"
#include "testkit/message_of.h"

namespace kavo::test {
namespace {

class DataSetMasterTest : public EmbeddedDatabaseTest {
 protected:
  void SetUp() override {
    EmbeddedDatabaseTest::SetUp();
    db().Open();
    ExecuteCommitted(db(), {
        u"insert into TMP_INTEGRACAO (NRECNO, ACAO, TIPO) values (1, 'abc', 'P')",
        u"insert into TMP_INTEGRACAO (NRECNO, ACAO, TIPO) values (2, 'abd', 'P')",
        u"insert into TMP_INTEGRACAO (NRECNO, ACAO, TIPO) values (3, 'xyz', 'N')"});
    master_ = New(u"select * from TMP_INTEGRACAO order by NRECNO");
    master_->SetName(u"Master");
    source_.SetDataSet(master_);
    detail_ = New(u"select * from TMP_INTEGRACAO where TIPO = :TIPO order by NRECNO");
    detail_->SetDataSource(&source_);
  }
  TIBDataSet* New(const Char* sql) {
    auto* ds = new TIBDataSet(&owner_);
    ds->SetDatabase(&db());
    ds->SelectSQL().SetText(sql);
    ds->InsertSQL().SetText(
        u"insert into TMP_INTEGRACAO (NRECNO, ACAO, TIPO) values (:NRECNO, :ACAO, :TIPO)");
    ds->ModifySQL().SetText(u"update TMP_INTEGRACAO set ACAO = :ACAO where NRECNO = :OLD_NRECNO");
    return ds;
  }
  // The NRECNO of each record of `ds`.
  static std::vector<int> Keys(TDataSet* ds) {
    std::vector<int> keys;
    for (ds->First(); !ds->Eof(); ds->Next()) keys.push_back(ds->FieldByName(u"NRECNO").AsInteger());
    return keys;
  }

  TComponent owner_{nullptr};
  TDataSource source_{nullptr};
  TIBDataSet* master_ = nullptr;
  TIBDataSet* detail_ = nullptr;
};

TEST_F(DataSetMasterTest, DetailParametersFollowTheMasterRow) {
  master_->Open();
  detail_->Open();
  EXPECT_EQ(Keys(detail_), (std::vector<int>{1, 2}));
  master_->Last();
  EXPECT_EQ(Keys(detail_), std::vector<int>{3});
  master_->Insert();  // no master record: NULL finds nothing
  EXPECT_TRUE(detail_->Bof() && detail_->Eof());
  master_->Cancel();
  EXPECT_EQ(Keys(detail_), std::vector<int>{3});
  master_->Close();
  EXPECT_TRUE(detail_->Active());
  EXPECT_TRUE(detail_->Bof() && detail_->Eof());

  TDataSource back(nullptr);
  back.SetDataSet(detail_);
  EXPECT_EQ(MessageOf([&] { master_->SetDataSource(&back); }),
            u"Master: Circular datalinks are not allowed");
}

TEST_F(DataSetMasterTest, ALongDecimalKeyReachesTheDetailDigitForDigit) {
  // 18 digits: a double would make the key ...234.5680 and find neither row.
  ExecuteCommitted(db(), {u"create table T_DEC (K numeric(18,4), N integer)"});
  ExecuteCommitted(db(), {u"insert into T_DEC values (12345678901234.5678, 1)",
                          u"insert into T_DEC values (12345678901234.5679, 2)"});
  TIBDataSet* master = New(u"select K from T_DEC where N = 2");
  TDataSource source(nullptr);
  source.SetDataSet(master);
  TIBDataSet* detail = New(u"select N from T_DEC where K = :K");
  detail->SetDataSource(&source);
  master->Open();
  detail->Open();
  ASSERT_FALSE(detail->Eof());
  EXPECT_EQ(detail->FieldByName(u"N").AsInteger(), 2);
  detail->Next();
  EXPECT_TRUE(detail->Eof());
}

TEST_F(DataSetMasterTest, AppendPostsAtTheEndAndOldValueIsTheSavedCopy) {
  master_->Open();
  master_->Next();
  master_->Append();
  master_->FieldByName(u"NRECNO").SetAsInteger(10);
  master_->FieldByName(u"ACAO").SetAsString(u"new");
  master_->Post();
  EXPECT_EQ(master_->FieldByName(u"NRECNO").AsInteger(), 10);
  EXPECT_EQ(master_->RecNo(), 4);
  master_->Prior();
  EXPECT_EQ(master_->FieldByName(u"NRECNO").AsInteger(), 3);

  master_->Edit();
  TField& acao = master_->FieldByName(u"ACAO");
  acao.SetAsString(u"q");
  EXPECT_EQ(acao.OldValue().AsString(), u"xyz");
  EXPECT_EQ(acao.AsString(), u"q");
  master_->Post();
  EXPECT_EQ(acao.OldValue().AsString(), u"q");
  EXPECT_EQ(QueryValue(db(), tr(), u"select ACAO from TMP_INTEGRACAO where NRECNO = 3"), u"q");
}

}  // namespace
}  // namespace kavo::test
