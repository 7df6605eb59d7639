// Reading a select: the split into before-where, where clause and tail, the
// updating table and its alias, and comment removal.
#include <gtest/gtest.h>

#include "oracle/select_analysis.h"
#include "oracle/sql_scan.h"

namespace kavo::test {
namespace {

const Char* const kServiceSQL =
    u"SELECT A.*, A.ROWID FROM \r\nv9norvelo.\"INTERFACE_ORCL\" A \r\nWHERE \r\nA.STATUS='A' \r\n"
    u"and  ROWNUM < 1000\r\n";

TEST(SelectAnalysis, SplitsTheServiceQueryAndOthers) {
  TSelectParts p = SplitSelect(kServiceSQL, true);
  EXPECT_EQ(p.BeforeWhere, u"SELECT A.*, A.ROWID FROM \r\nv9norvelo.\"INTERFACE_ORCL\" A");
  EXPECT_EQ(p.WhereWord, u"where");
  EXPECT_EQ(p.WhereClause, u"A.STATUS='A' \r\nand  ROWNUM < 1000");
  EXPECT_EQ(p.Tail, u"");

  // Words inside literals and subqueries are not the statement's.
  p = SplitSelect(u"select a, (select b from u where c = 1) x from t where d = 'order by' "
                  u"order by a for update",
                  false);
  EXPECT_EQ(p.BeforeWhere, u"select a, (select b from u where c = 1) x from t");
  EXPECT_EQ(p.WhereClause, u"d = 'order by'");
  EXPECT_EQ(p.Tail, u"order by a for update");

  p = SplitSelect(u"select k, count(*) from t group by k having count(*) > 1", false);
  EXPECT_EQ(p.WhereWord, u"having");
  EXPECT_EQ(p.BeforeWhere, u"select k, count(*) from t group by k");
  EXPECT_EQ(p.WhereClause, u"count(*) > 1");

  p = SplitSelect(u"select * from t for update nowait", false);
  EXPECT_FALSE(p.HasWhere);
  EXPECT_EQ(p.BeforeWhere, u"select * from t");
  EXPECT_EQ(p.Tail, u"for update nowait");

  // Hints stay when asked; other comments (a line comment with its line
  // end) leave a blank.
  p = SplitSelect(u"select /*+ first_rows */ a --where\nfrom t/*x*/where b = 1", true);
  EXPECT_EQ(p.BeforeWhere, u"select /*+ first_rows */ a  from t");
  EXPECT_EQ(p.WhereClause, u"b = 1");
}

TEST(SelectAnalysis, UpdatingTable) {
  EXPECT_EQ(UpdatingTableFromSQL(kServiceSQL), u"V9NORVELO.INTERFACE_ORCL");
  EXPECT_EQ(UpdatingTableFromSQL(u"select * from emp e where x = 1"), u"EMP");
  // " FROM " inside a literal or a subquery of the select list is not it.
  EXPECT_EQ(UpdatingTableFromSQL(u"select 'a from b' txt, x from t"), u"T");
  EXPECT_EQ(UpdatingTableFromSQL(u"select (select max(y) from u) m, x from t"), u"T");
  EXPECT_EQ(UpdatingTableFromSQL(u"select x -- from comment\nfrom t"), u"T");
  // An inline view is looked into.
  EXPECT_EQ(UpdatingTableFromSQL(u"select * from (select a from scott.dept d) v"), u"SCOTT.DEPT");
  EXPECT_EQ(UpdatingTableFromSQL(u"select * from(select a from dept)"), u"DEPT");
  // A collection expression is kept as written.
  EXPECT_EQ(UpdatingTableFromSQL(u"select * from table(f(:x, ')')) c"), u"TABLE(f(:x, ')'))");
  EXPECT_EQ(UpdatingTableFromSQL(u"select sysdate"), u"");
  EXPECT_EQ(NormaliseTableName(u"v9norvelo.\"Interface\""), u"V9NORVELO.INTERFACE");
  EXPECT_EQ(NormaliseTableName(u"the (select x from y)"), u"the (select x from y)");
}

TEST(SelectAnalysis, UpdatingAlias) {
  EXPECT_EQ(UpdatingAliasFromSQL(kServiceSQL, u"V9NORVELO.INTERFACE_ORCL"), u"A");
  EXPECT_EQ(UpdatingAliasFromSQL(u"select * from emp where x = 1", u"EMP"), u"EMP");
  EXPECT_EQ(UpdatingAliasFromSQL(u"select * from emp\norder by 1", u"EMP"), u"EMP");
  EXPECT_EQ(UpdatingAliasFromSQL(u"select * from Emp e2 where x = 1", u"EMP"), u"e2");
  EXPECT_EQ(UpdatingAliasFromSQL(u"select * from (select * from emp) v where x = 1", u"EMP"), u"v");
  // A comma ends the table's entry: the next name is another table.
  EXPECT_EQ(UpdatingAliasFromSQL(u"select * from emp, dept where 1 = 1", u"EMP"), u"EMP");
  EXPECT_EQ(UpdatingAliasFromSQL(u"select * from emp , dept", u"EMP"), u"EMP");
  EXPECT_EQ(UpdatingAliasFromSQL(u"select 'x from y z' from emp q", u"EMP"), u"q");
}

// A double-quoted name is one name whatever it holds: a quote, comment
// marks, a colon, parentheses or FROM inside it change nothing around it.
TEST(SelectAnalysis, DoubleQuotedNamesHideWhatTheyHold) {
  struct Case {
    const Char* sql;
    const Char* table;
    const Char* alias;
    const Char* before_where;
    const Char* where_clause;
  };
  const Case cases[] = {
      {u"select t.*, 1 \"it's\", t.rowid from upd1 t", u"UPD1", u"t",
       u"select t.*, 1 \"it's\", t.rowid from upd1 t", u""},
      {u"select 1 \"a--b\", t.rowid from upd1 t where t.id = 1", u"UPD1", u"t",
       u"select 1 \"a--b\", t.rowid from upd1 t", u"t.id = 1"},
      {u"select 1 \"a/*b\", x.rowid from upd1 x where 'it''s' = 'it''s' /* c */", u"UPD1", u"x",
       u"select 1 \"a/*b\", x.rowid from upd1 x", u"'it''s' = 'it''s'"},
      {u"select 1 \"x from y\", t.rowid from upd1 t", u"UPD1", u"t",
       u"select 1 \"x from y\", t.rowid from upd1 t", u""},
      {u"select 1 \"(\", 2 \"where\" from upd1 t order by 1", u"UPD1", u"t",
       u"select 1 \"(\", 2 \"where\" from upd1 t", u""},
      {u"select 'a\"b' s from upd1 t where t.s = 'c\"'", u"UPD1", u"t",
       u"select 'a\"b' s from upd1 t", u"t.s = 'c\"'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(StringToUtf8(c.sql));
    EXPECT_EQ(UpdatingTableFromSQL(c.sql), c.table);
    EXPECT_EQ(UpdatingAliasFromSQL(c.sql, c.table), c.alias);
    TSelectParts p = SplitSelect(c.sql, false);
    EXPECT_EQ(p.BeforeWhere, c.before_where);
    EXPECT_EQ(p.WhereClause, c.where_clause);
  }
  EXPECT_EQ(RemoveSQLComment(u"select 1 \"a--b\" -- c\nfrom t", false),
            u"select 1 \"a--b\"  from t");
  EXPECT_EQ(RemoveSQLComment(u"select 1 \"it's\" /* c */ from t", false),
            u"select 1 \"it's\"   from t");
  auto names = [](const String& sql) {
    String joined;
    for (const auto& f : FindVariables(sql, true)) joined += f.name + u" ";
    return joined;
  };
  EXPECT_EQ(names(u"select 1 \"it's\" from t where a = :a"), u"A ");
  EXPECT_EQ(names(u"select 1 \"a--b\" from t where a = :a"), u"A ");
  EXPECT_EQ(names(u"select 1 \"a:b\" from t where a = :a"), u"A ");
  EXPECT_EQ(names(u"select 1 \"a/*b\" from t where a = :a"), u"A ");
  EXPECT_EQ(names(u"select :\"q\", :b, :c\"d\" from t where a = :a"), u"B C A ");
}

TEST(SelectAnalysis, CommentRemovalEndsLineCommentsAtAnyLineEnd) {
  EXPECT_EQ(RemoveSQLComment(u"select a -- one\nfrom t", false), u"select a  from t");
  EXPECT_EQ(RemoveSQLComment(u"select a -- one\rfrom t", false), u"select a  from t");
  EXPECT_EQ(RemoveSQLComment(u"select a -- one\r\nfrom t", false), u"select a  from t");
  EXPECT_EQ(RemoveSQLComment(u"select a--one\nfrom t", false), u"select a from t");
  EXPECT_EQ(RemoveSQLComment(u"select a/*x*/from t", false), u"select a from t");
  EXPECT_EQ(RemoveSQLComment(u"select '-- not' from t -- tail", false), u"select '-- not' from t");
  EXPECT_EQ(RemoveSQLComment(u"select --+ hint\na from t", true), u"select --+ hint\na from t");
}

}  // namespace
}  // namespace kavo::test
