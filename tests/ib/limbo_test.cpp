// Two-phase commit on the embedded engine: prepare with a description, the
// limbo list, reconnect, and the resolution of a reconnected transaction.
#include <gtest/gtest.h>

#include "ib/ib_header.h"
#include "ib/ib_limbo.h"
#include "testkit/ib_support.h"
#include "testkit/message_of.h"

namespace kavo::test {
namespace {

class LimboTest : public EmbeddedDatabaseTest {
 protected:
  void SetUp() override {
    EmbeddedDatabaseTest::SetUp();
    db().Open();
  }
  void Insert(TIBTransaction& t, const Char* acao) {
    TIBSQL q(nullptr);
    q.SetDatabase(&db());
    q.SetTransaction(&t);
    q.SQL().SetText(u"insert into TMP_INTEGRACAO (ACAO) values (:ACAO)");
    q.ParamByName(u"ACAO").SetAsString(acao);
    q.ExecQuery();
  }
  // Prepares a transaction with one row and leaves it in limbo by closing
  // the connection, as a process that dies after the prepare does; returns
  // its number, the connection open again.
  int64_t LeaveInLimbo(const String& description) {
    tr().StartTransaction();
    Insert(tr(), u"P");
    int64_t id = tr().TransactionID();
    tr().Prepare(description);
    EXPECT_TRUE(tr().Prepared());
    db().Close();  // the close commits every other transaction: not this one
    EXPECT_FALSE(tr().Active());
    EXPECT_FALSE(tr().Prepared());
    db().Open();
    return id;
  }
};

TEST_F(LimboTest, ACloseLeavesAPreparedTransactionInLimboAndReconnectResolvesIt) {
  const String description = u"KavoIntegradorOracle ROWID=AAAB CODIGO=7 \u00e7";  // ç: ISO8859_1
  for (bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    int before = CommittedRows();
    int64_t id = LeaveInLimbo(description);
    std::vector<TIBLimboTransaction> limbo = LimboTransactions(db());
    ASSERT_EQ(limbo.size(), 1u);
    EXPECT_EQ(limbo[0].id, id);
    EXPECT_EQ(limbo[0].description, description);

    TIBTransaction resolver(nullptr);
    resolver.SetDefaultDatabase(&db());
    resolver.Reconnect(id);
    EXPECT_TRUE(resolver.Active());
    EXPECT_TRUE(resolver.Prepared());
    EXPECT_EQ(resolver.TransactionID(), id);
    if (commit)
      resolver.Commit();
    else
      resolver.Rollback();
    EXPECT_FALSE(resolver.Active());
    EXPECT_TRUE(LimboTransactions(db()).empty());
    EXPECT_EQ(CommittedRows(), before + (commit ? 1 : 0));
  }
}

TEST_F(LimboTest, PreparedThenEndedByItsOwnerLeavesNoLimbo) {
  tr().StartTransaction();
  Insert(tr(), u"A");
  tr().Prepare(u"first");
  tr().CommitRetaining();  // the retained context is a fresh, unprepared transaction
  EXPECT_FALSE(tr().Prepared());
  Insert(tr(), u"B");
  tr().Prepare(u"second");
  tr().RollbackRetaining();
  EXPECT_FALSE(tr().Prepared());
  Insert(tr(), u"C");
  tr().Prepare(u"third");
  tr().Commit();
  EXPECT_FALSE(tr().Prepared());
  EXPECT_TRUE(LimboTransactions(db()).empty());
  EXPECT_EQ(CommittedRows(), 2);
}

TEST_F(LimboTest, RefusalsOfReconnectAndPrepare) {
  TIBTransaction resolver(nullptr);
  resolver.SetDefaultDatabase(&db());
  // A number that is not in limbo: the server's refusal, the transaction
  // left inactive.
  String text = MessageOf([&] { resolver.Reconnect(1); });
  EXPECT_NE(text.find(u"not in limbo"), String::npos) << StringToUtf8(text);
  EXPECT_FALSE(resolver.Active());
  EXPECT_EQ(MessageOf([&] { resolver.Prepare(u"x"); }), u"Transaction is not active");
  resolver.StartTransaction();
  EXPECT_EQ(MessageOf([&] { resolver.Reconnect(1); }), u"Transaction is active");
  resolver.Commit();
  db().Close();
  EXPECT_EQ(MessageOf([&] { resolver.Reconnect(1); }),
            u"Cannot perform operation -- DB is not open");
}

TEST(LimboReply, NumbersUntilTheEndOrAnythingMalformed) {
  const char limbo = isc_info_limbo;
  struct Case {
    std::string reply;
    std::vector<int64_t> ids;
  } cases[] = {
      {std::string{limbo, 4, 0, 5, 0, 0, 0, limbo, 4, 0, 0x0b, 1, 0, 0, isc_info_end}, {5, 267}},
      {std::string{limbo, 8, 0, 1, 0, 0, 0, 1, 0, 0, 0}, {(int64_t{1} << 32) + 1}},
      {std::string{isc_info_end}, {}},
      {std::string{limbo, 4, 0, 5, 0, 0, 0, isc_info_truncated}, {5}},
      {std::string{limbo, 4, 0, 5, 0}, {}},     // cut inside a number
      {std::string{limbo, 9, 0, 1}, {}},        // a length no number has
      {std::string{limbo, 0, 0, limbo}, {}},    // nor this one
  };
  for (const Case& c : cases)
    EXPECT_EQ(ParseLimboReply(c.reply.data(), c.reply.size()), c.ids);
}

}  // namespace
}  // namespace kavo::test
