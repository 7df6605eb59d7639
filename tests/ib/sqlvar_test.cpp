// The two column-entry layouts of the descriptor areas.
#include <gtest/gtest.h>

#include "ib/ib_character_set.h"
#include "ib/ib_errors.h"
#include "ib/ib_sqlvar.h"

namespace kavo::test {
namespace {

TEST(SQLVar, VersionOneDerivesPrecisionAndRefusesToSetIt) {
  XSQLVAR raw{};
  TSQLVAR_V1 v;
  v.Attach(&raw);
  EXPECT_EQ(v.Version(), 1);
  EXPECT_EQ(v.NameLimit(), 32);
  const std::pair<short, short> cases[] = {
      {SQL_LONG, 9}, {SQL_SHORT + 1, 4}, {SQL_INT64, 18}, {SQL_DOUBLE, 0}, {SQL_TEXT, 0}};
  for (auto [type, precision] : cases) {
    v.SetSqlType(type);
    EXPECT_EQ(v.SqlPrecision(), precision) << type;
  }
  try {
    v.SetSqlPrecision(5);
    FAIL();
  } catch (const EIBClientError& e) {
    EXPECT_EQ(e.Message(), u"Unsupported feature");
  }
}

TEST(SQLVar, VersionTwoKeepsItsPrecision) {
  XSQLVAR_V2 raw{};
  TSQLVAR_V2 v;
  v.Attach(&raw);
  EXPECT_EQ(v.Version(), 2);
  EXPECT_EQ(v.NameLimit(), 68);
  v.SetSqlType(SQL_INT64);
  EXPECT_EQ(v.SqlPrecision(), 18);  // 0 stored: derived
  v.SetSqlPrecision(15);
  EXPECT_EQ(v.SqlPrecision(), 15);
  EXPECT_EQ(raw.sqlprecision, 15);
}

TEST(SQLVar, AliasNamesAreCutToTheEntry) {
  XSQLVAR raw{};
  TSQLVAR_V1 v;
  v.Attach(&raw);
  v.SetAliasName(std::string(40, 'A'));
  EXPECT_EQ(v.AliasName(), std::string(32, 'A'));
  v.SetAliasName("NAME1");
  EXPECT_EQ(v.AliasName(), "NAME1");
  EXPECT_EQ(raw.aliasname_length, 5);
  // A corrupt length never reads beyond the field.
  raw.relname_length = 500;
  EXPECT_EQ(v.RelName().size(), 32u);
  raw.relname_length = -3;
  EXPECT_EQ(v.RelName(), "");
}

// The two products give some ids to different sets: what one reads as a
// four-byte set the other reads as a one-byte one.
TEST(CharacterSetWidths, EachProductByItsOwnNumbering) {
  struct Case {
    int id;
    int firebird;
    int interbase;
  };
  const Case cases[] = {{3, 3, 3},    // UNICODE_FSS in both
                        {4, 4, 1},    // UTF8 in Firebird only
                        {59, 1, 4},   // WIN1256 / UTF8
                        {64, 1, 2},   // KOI8U / UNICODE_LE
                        {8, 1, 2},    // unused / UNICODE_BE
                        {69, 4, 1},   // GB18030
                        {67, 2, 1},   // GBK
                        {21, 1, 1},   // ISO8859_1
                        {255, 1, 1}};
  for (const Case& c : cases) {
    EXPECT_EQ(FirebirdBytesPerCharacter(c.id), c.firebird) << c.id;
    EXPECT_EQ(InterBaseBytesPerCharacter(c.id, false), c.interbase) << c.id;
  }
  // Only InterBase keeps the names of its system relations one byte wide.
  EXPECT_EQ(InterBaseBytesPerCharacter(3, true), 1);
}

}  // namespace
}  // namespace kavo::test
