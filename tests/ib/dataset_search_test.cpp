// Locate and Lookup on TIBDataSet over the embedded engine.
#include <gtest/gtest.h>

#include "ib/ib_dataset.h"
#include "rtl/datetime.h"
#include "testkit/ib_support.h"
#include "testkit/message_of.h"

namespace kavo::test {
namespace {

class DataSetSearchTest : public EmbeddedDatabaseTest {
 protected:
  void SetUp() override {
    EmbeddedDatabaseTest::SetUp();
    db().Open();
    ExecuteCommitted(db(), {
        u"insert into TMP_INTEGRACAO (NRECNO, ACAO, TIPO, STATUS, DATA)"
        u" values (1, 'abc', 'Pedido', 'OK', '2026-12-09')",
        u"insert into TMP_INTEGRACAO (NRECNO, ACAO, TIPO, STATUS, DATA)"
        u" values (2, 'abd', 'PEDIDO', null, '2026-12-10')",
        u"insert into TMP_INTEGRACAO (NRECNO, ACAO, TIPO, STATUS, DATA)"
        u" values (3, 'xyz', 'Nota', 'OK', '2026-12-10')"});
    ds_ = new TIBDataSet(&owner_);
    ds_->SetDatabase(&db());
    ds_->SelectSQL().SetText(u"select * from TMP_INTEGRACAO order by NRECNO");
    ds_->Open();
  }
  // Locate's answer and the record it leaves current.
  std::pair<bool, int> At(const String& fields, std::vector<OraVariant> values,
                          unsigned options = 0) {
    bool found = ds_->Locate(fields, values, options);
    return {found, ds_->FieldByName(u"NRECNO").AsInteger()};
  }

  TComponent owner_{nullptr};
  TIBDataSet* ds_ = nullptr;
};

TEST_F(DataSetSearchTest, OptionsAndSeveralKeysFindTheFirstMatchOrStay) {
  EXPECT_EQ(At(u"TIPO", {u"PEDIDO"}), std::make_pair(true, 2));
  EXPECT_EQ(At(u"TIPO", {u"pedido"}, loCaseInsensitive), std::make_pair(true, 1));
  EXPECT_EQ(At(u"ACAO", {u"xy"}, loPartialKey), std::make_pair(true, 3));
  EXPECT_EQ(At(u"ACAO", {u"AB"}, loPartialKey | loCaseInsensitive), std::make_pair(true, 1));
  // Not found: the current record stays.
  EXPECT_EQ(At(u"ACAO", {u"ab"}), std::make_pair(false, 1));
  EXPECT_EQ(At(u"TIPO", {u"pedido"}), std::make_pair(false, 1));
  // Several keys of several kinds: text, number, date.
  EXPECT_EQ(At(u" ACAO ; TIPO", {u"abd", u"PEDIDO"}), std::make_pair(true, 2));
  EXPECT_EQ(At(u"DATA;STATUS", {OraVariant::Date(EncodeDate(2026, 12, 10)), u"OK"}),
            std::make_pair(true, 3));
  EXPECT_EQ(At(u"NRECNO;ACAO", {1, u"xyz"}), std::make_pair(false, 3));
}

TEST_F(DataSetSearchTest, ExactDecimalsLargeIntegersAndBooleansAreKeys) {
  ds_->Close();
  ds_->SelectSQL().SetText(
      u"select NRECNO, cast(case NRECNO when 1 then 123456789012.345678 when 2 then 0.000001"
      u" else 0.000002 end as numeric(18,6)) as D, 9007199254740992 + NRECNO as BIG,"
      u" NRECNO = 2 as B from TMP_INTEGRACAO order by NRECNO");
  ds_->Open();
  EXPECT_EQ(ds_->FieldByName(u"D").AsVariant().DecimalText(), u"123456789012.345678");
  EXPECT_EQ(At(u"D", {OraVariant::Decimal(u"0.000001")}), std::make_pair(true, 2));
  EXPECT_EQ(At(u"D", {0.000002}), std::make_pair(true, 3));
  EXPECT_EQ(At(u"D", {OraVariant::Decimal(u"123456789012.345679")}), std::make_pair(false, 3));
  EXPECT_EQ(At(u"D", {OraVariant::Decimal(u"123456789012.345678")}), std::make_pair(true, 1));
  // Beyond a double's 53 bits.
  EXPECT_EQ(At(u"BIG", {u"9007199254740995"}), std::make_pair(true, 3));
  EXPECT_EQ(At(u"B", {true}), std::make_pair(true, 2));
  EXPECT_EQ(ds_->Lookup(u"NRECNO", {1}, u"D").DecimalText(), u"123456789012.345678");
}

TEST_F(DataSetSearchTest, NullKeysMatchOnlyNullAndLookupDoesNotMove) {
  EXPECT_EQ(At(u"STATUS", {OraVariant::Null()}), std::make_pair(true, 2));
  EXPECT_EQ(At(u"STATUS;ACAO", {OraVariant(), u"abc"}), std::make_pair(false, 2));
  ds_->First();
  OraVariant both = ds_->Lookup(u"TIPO", {u"Nota"}, u"NRECNO;STATUS");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(both.Items()[0].AsInteger(), 3);
  EXPECT_EQ(both.Items()[1].AsString(), u"OK");
  EXPECT_TRUE(ds_->Lookup(u"ACAO", {u"abd"}, u"STATUS").IsNull());
  EXPECT_TRUE(ds_->Lookup(u"ACAO", {u"none"}, u"TIPO").IsEmpty());
  EXPECT_EQ(ds_->FieldByName(u"NRECNO").AsInteger(), 1);
}

TEST_F(DataSetSearchTest, BadInputRaisesTheRecordSetsErrorAndChangesNothing) {
  ds_->SetName(u"DS");
  ds_->Last();
  EXPECT_EQ(MessageOf([&] { ds_->Locate(u"ACAO", {u"abc", u"x"}, 0); }),
            u"DS: Number of key fields and values do not match");
  EXPECT_EQ(MessageOf([&] { ds_->Locate(u"ACAO;NOPE", {u"abc", u"x"}, 0); }),
            u"DS: Field 'NOPE' not found");
  EXPECT_EQ(MessageOf([&] { ds_->Lookup(u"ACAO", {u"abc"}, u"NOPE"); }),
            u"DS: Field 'NOPE' not found");
  EXPECT_EQ(ds_->FieldByName(u"NRECNO").AsInteger(), 3);
  EXPECT_EQ(ds_->State(), dsBrowse);
}

}  // namespace
}  // namespace kavo::test
