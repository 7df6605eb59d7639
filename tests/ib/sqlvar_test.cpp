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

// An InterBase client keeps InterBase's numbering, where Firebird's WIN1256
// (59), KOI8U (64) and UTF8 (4) ids name other sets. (Firebird's widths are
// checked against the server's own table.)
TEST(CharacterSetWidths, InterBaseClientsKeepTheirNumbering) {
  const std::pair<int, int> cases[] = {{59, 4}, {64, 2}, {8, 2}, {4, 1}, {3, 3}, {21, 1}};
  for (auto [id, width] : cases) {
    EXPECT_EQ(InterBaseBytesPerCharacter(id, false), width) << id;
    const bool renumbered = id == 59 || id == 64 || id == 8 || id == 4;
    EXPECT_EQ(InterBaseBytesPerCharacter(id, false) != FirebirdBytesPerCharacter(id), renumbered)
        << id;
  }
  // Only InterBase keeps the names of its system relations one byte wide.
  EXPECT_EQ(InterBaseBytesPerCharacter(3, true), 1);
}

}  // namespace
}  // namespace kavo::test
