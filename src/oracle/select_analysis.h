// Reading the parts of a select statement that the record set rewrites or
// writes back to: its where clause and tail (SplitSelect), the table its
// changes go to and that table's alias.
//
// Words inside string literals, double-quoted names and parenthesised
// subqueries are never matched, except that an inline view right after FROM
// is looked into for the updating table.
#ifndef KAVO_ORACLE_SELECT_ANALYSIS_H_
#define KAVO_ORACLE_SELECT_ANALYSIS_H_

#include "rtl/ustring.h"

namespace kavo {

struct TSelectParts {
  String BeforeWhere;  // up to the where word (up to the tail without one)
  String WhereWord;    // "where", or "having" when the statement groups
  String WhereClause;  // between the where word and the tail; may be empty
  String Tail;         // from ORDER, else from FOR; may be empty
  bool HasWhere = false;
};

// Comments are removed first (optimizer hints kept when asked); every part is
// trimmed.
TSelectParts SplitSelect(const String& sql, bool keep_hints);

// The first table after FROM, upper-cased and without double quotes; a
// TABLE(...) or THE(...) collection expression is kept as written. Empty when
// there is none.
String UpdatingTableFromSQL(const String& sql);

// The alias that follows `table` in the FROM clause, as written; `table`
// itself when the clause names none.
String UpdatingAliasFromSQL(const String& sql, const String& table);

// An UpdatingTable property value as the record set uses it: upper-cased and
// without double quotes, a collection expression excepted.
String NormaliseTableName(const String& name);

}  // namespace kavo

#endif  // KAVO_ORACLE_SELECT_ANALYSIS_H_
