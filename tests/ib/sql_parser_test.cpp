// Named parameters in SQL text and identifier normalisation.
#include <gtest/gtest.h>

#include "ib/ib_errors.h"
#include "ib/ib_sql_parser.h"

namespace kavo::test {
namespace {

using Names = std::vector<String>;

String ParseErrorOf(StringView sql, bool generate = false) {
  try {
    PreprocessSQL(sql, generate);
  } catch (const EIBClientError& e) {
    EXPECT_EQ(e.SQLCode(), ibceSQLParseError);
    return e.Message();
  }
  ADD_FAILURE() << "no parse error";
  return String();
}

TEST(SQLParameters, NamedMarkersBecomeQuestionMarks) {
  TProcessedSQL p = PreprocessSQL(u"insert into T (A, B) values (:A, :B)\r\n", false);
  EXPECT_EQ(p.text, u"insert into T (A, B) values (?, ?)\r\n");
  EXPECT_EQ(p.names, (Names{u"A", u"B"}));
  p = PreprocessSQL(u"select * from T where X=:x_1$ and Y=:\"My Name\"+1\r\n", false);
  EXPECT_EQ(p.text, u"select * from T where X=? and Y=?+1\r\n");
  EXPECT_EQ(p.names, (Names{u"x_1$", u"My Name"}));
}

TEST(SQLParameters, QuotesAndSlashStarCommentsHideColons) {
  TProcessedSQL p = PreprocessSQL(
      u"select ':no', \"a:b\", 'it''s :not' /* :none\r\n still */ from T where A = :A\r\n",
      false);
  EXPECT_EQ(p.text,
            u"select ':no', \"a:b\", 'it''s :not' /* :none\r\n still */ from T where A = ?\r\n");
  EXPECT_EQ(p.names, (Names{u"A"}));
  // Line comments hide them too.
  p = PreprocessSQL(u"select 1 from T -- :C\r\n", false);
  EXPECT_EQ(p.names, Names{});
}

TEST(SQLParameters, LineCommentsRunToTheLineEnd) {
  // Kept in the text; a quote inside one opens no literal; the next line is
  // read again.
  TProcessedSQL p = PreprocessSQL(
      u"-- :A isn't a parameter\r\nselect * from T where B = :B -- and C = :C\nand D=:D--:E\r\n",
      false);
  EXPECT_EQ(p.text,
            u"-- :A isn't a parameter\r\nselect * from T where B = ? -- and C = :C\nand D=?--:E\r\n");
  EXPECT_EQ(p.names, (Names{u"B", u"D"}));
  // Only two dashes outside literals and block comments start one.
  p = PreprocessSQL(u"select '--', 1 - -:F /* -- */ , :G\r\n", false);
  EXPECT_EQ(p.names, (Names{u"F", u"G"}));
  // One at the very end of the text needs no line break.
  p = PreprocessSQL(u"select :H from T --:I", false);
  EXPECT_EQ(p.names, (Names{u"H"}));
  EXPECT_EQ(p.text, u"select ? from T --:I");
}

TEST(SQLParameters, DuplicatesGiveOneEntryEach) {
  TProcessedSQL p = PreprocessSQL(u"select * from T where a = :a or b = :A\r\n", false);
  EXPECT_EQ(p.names, (Names{u"a", u"A"}));
  EXPECT_EQ(FormatIdentifierValue(3, p.names[0]), FormatIdentifierValue(3, p.names[1]));
}

TEST(SQLParameters, UnnamedMarkers) {
  EXPECT_EQ(ParseErrorOf(u"select * from T where A = ?\r\n"),
            u"SQL Parse Error:\r\n\r\nParameter name expected");
  EXPECT_EQ(ParseErrorOf(u"select * from T where A = : \r\n"),
            u"SQL Parse Error:\r\n\r\nParameter name expected");
  TProcessedSQL p = PreprocessSQL(u"select * from T where A = ? and B = ?\r\n", true);
  EXPECT_EQ(p.names, (Names{u"IBParam0", u"IBParam1"}));
  EXPECT_EQ(p.text, u"select * from T where A = ? and B = ?\r\n");
}

TEST(SQLParameters, TextEndingInsideALiteralOrComment) {
  EXPECT_EQ(ParseErrorOf(u"select 'abc\r\n"), u"SQL Parse Error:\r\n\r\nEOF in string detected");
  EXPECT_EQ(ParseErrorOf(u"select \"abc\r\n"), u"SQL Parse Error:\r\n\r\nEOF in string detected");
  EXPECT_EQ(ParseErrorOf(u"select 1 /* open\r\n"),
            u"SQL Parse Error:\r\n\r\nEOF in comment detected");
}

TEST(Identifiers, NormalisedByDialect) {
  EXPECT_EQ(FormatIdentifierValue(3, u" name "), u"NAME");
  EXPECT_EQ(FormatIdentifierValue(3, u"\"Mixed \"\"Q\"\"\""), u"Mixed \"Q\"");
  EXPECT_EQ(FormatIdentifierValue(1, u"\"Mixed\""), u"\"MIXED\"");
  EXPECT_EQ(FormatIdentifierValue(1, u" abc"), u"ABC");
}

}  // namespace
}  // namespace kavo::test
