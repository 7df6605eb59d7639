#include "translator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "errors.h"

namespace kavo::ocisqlite {

namespace {

// Oracle functions whose SQLite spelling or semantics differ.
const std::map<std::string, std::string>& Functions() {
  static const std::map<std::string, std::string> m = {
      {"NVL", "coalesce"},         {"TO_CHAR", "ora_to_char"},   {"TO_DATE", "ora_to_date"},
      {"TO_NUMBER", "ora_to_number"}, {"CHR", "ora_chr"},        {"NCHR", "ora_chr"},
      {"LENGTH", "ora_length"},    {"LENGTHB", "ora_lengthb"},   {"USERENV", "ora_userenv"},
      {"SUBSTR", "ora_substr"},    {"DECODE", "ora_decode"},     {"TRUNC", "ora_trunc"},
      {"MOD", "ora_mod"},          {"UPPER", "upper"},           {"LOWER", "lower"},
      {"TRIM", "ora_trim"},        {"LTRIM", "ora_trim"},        {"RTRIM", "ora_trim"},
      {"REPLACE", "replace"},      {"ROUND", "round"},           {"ABS", "abs"},
      {"CONCAT", "ora_concat"},    {"COUNT", "count"},           {"SUM", "sum"},  {"MIN", "min"},
      {"MAX", "max"},              {"AVG", "avg"},               {"COALESCE", "coalesce"},
      {"EMPTY_CLOB", "ora_empty_lob"}, {"EMPTY_BLOB", "ora_empty_lob"},
      {"SYS_CONTEXT", "ora_sys_context"}, {"LPAD", "ora_lpad"},   {"RPAD", "ora_rpad"},
      {"TO_TIMESTAMP", "ora_to_timestamp"}, {"DUMP", "ora_dump"},
  };
  return m;
}

}  // namespace

std::string Translator::RowidExpr(Scope& scope, const std::string& alias, const Token& at) {
  if (scope.bare_rowid && !scope.tables.empty())
    return "ora_rowid(" + std::to_string(scope.tables[0].second.object_id) + ", rowid)";
  ObjectRef ref;
  std::string a = alias;
  if (a.empty()) {
    Scope* s = &scope;
    while (s && s->tables.empty()) s = s->parent;
    if (!s) throw At(MakeError(904, "\"ROWID\""), at);
    a = s->tables[0].first;
    ref = s->tables[0].second;
  } else if (!Lookup(scope, a, &ref)) {
    throw At(MakeError(904, "\"" + a + "\".\"ROWID\""), at);
  }
  return "ora_rowid(" + std::to_string(ref.object_id) + ", " + QuoteIdent(a) + ".rowid)";
}

std::string Translator::RowidColumn(Scope& scope, const std::string& alias, const Token& at, uint32_t* obj) {
  std::string full = RowidExpr(scope, alias, at);  // validates and finds the table
  size_t comma = full.find(", ");
  *obj = static_cast<uint32_t>(std::stoul(full.substr(10, comma - 10)));
  return full.substr(comma + 2, full.size() - comma - 3);
}

bool Translator::StartsCondition(size_t i, size_t b) const {
  return i == b || t_[i - 1].Is("AND") || t_[i - 1].Is("WHERE") || t_[i - 1].IsSym("(");
}

// Words and symbols that end an operand chain of +, - and ||.
bool Translator::Boundary(const Token& t) {
  static const std::set<std::string> words = {
      "AND", "OR", "NOT", "IS", "IN", "LIKE", "BETWEEN", "ESCAPE", "WHEN", "THEN", "ELSE", "END",
      "CASE", "AS", "ASC", "DESC", "NULLS", "BY", "GROUP", "ORDER", "HAVING", "SELECT", "FROM",
      "WHERE", "UNION", "INTERSECT", "MINUS", "EXCEPT", "ALL", "DISTINCT", "ON", "JOIN", "USING",
      "SET", "VALUES", "INTO", "RETURNING", "RETURN", "PRIOR", "EXISTS", "ANY", "SOME"};
  if (t.kind == Tok::kEnd) return true;
  if (t.kind == Tok::kSymbol)
    return t.text == "=" || t.text == "<>" || t.text == "!=" || t.text == "^=" || t.text == "<" ||
           t.text == ">" || t.text == "<=" || t.text == ">=" || t.text == "," || t.text == ":=" ||
           t.text == ";";
  return t.kind == Tok::kIdent && words.count(t.text);
}

bool Translator::EndsOperand(const Token& t) {
  return t.kind == Tok::kIdent || t.kind == Tok::kQuoted || t.kind == Tok::kNumber ||
         t.kind == Tok::kString || t.kind == Tok::kBind || t.IsSym(")");
}

// Oracle's +, - and || know DATE arithmetic and treat NULL as empty text in
// concatenation; SQLite's do not, so a chain becomes nested ora_* calls.
bool Translator::OperatorChain(size_t& i, size_t e, Scope& scope) {
  size_t end = i;
  std::vector<size_t> ops;
  for (size_t k = i; k < e && !Boundary(t_[k]); k = std::min(Skip(k), e)) {
    end = std::min(Skip(k), e);
    const Token& t = t_[k];
    if ((t.IsSym("+") || t.IsSym("-") || t.IsSym("||")) && k > i && EndsOperand(t_[k - 1])) ops.push_back(k);
  }
  if (ops.empty()) return false;
  for (size_t j = ops.size(); j-- > 0;) {
    const Token& op = t_[ops[j]];
    Emit(op.IsSym("+") ? "ora_add(" : op.IsSym("-") ? "ora_sub(" : "ora_cat(", op.pos);
  }
  // A DATE is text to SQLite, so || can only guess which operands are dates
  // from their shape: it is told which ones surely are not (text such as
  // TO_CHAR's yyyy-mm-dd hh24:mi:ss looks exactly like a stored date).
  auto not_date = [&](size_t b, size_t e2) {
    if (e2 == b + 1 && t_[b].kind == Tok::kString) return true;
    Hint h = ExprHint(b, e2, scope);
    return h == Hint::kVarchar || h == Hint::kChar || h == Hint::kNVarchar || h == Hint::kNumber;
  };
  size_t start = i;
  bool left_text = false;
  for (size_t j = 0; j <= ops.size(); ++j) {
    size_t stop = j < ops.size() ? ops[j] : end;
    if (start >= stop) throw At(MakeError(936), t_[stop]);
    if (j > 0) Emit(",", t_[start].pos);
    Expr(start, stop, scope, nullptr, false);
    bool text = not_date(start, stop);
    if (j > 0) {
      if (t_[ops[j - 1]].IsSym("||")) Emit(std::string(",") + std::to_string((left_text ? 1 : 0) | (text ? 2 : 0)), t_[stop - 1].pos);
      Emit(")", t_[stop - 1].pos);
      left_text = t_[ops[j - 1]].IsSym("||");
    } else {
      left_text = text;
    }
    start = stop + 1;
  }
  i = end;
  return true;
}

// ROWNUM < n in a WHERE clause becomes a LIMIT.
bool Translator::RownumLimit(size_t& i, size_t b, size_t e, long* limit) {
  const Token& t = t_[i];
  if (!(limit && t.Is("ROWNUM") && i + 2 < e + 1 && StartsCondition(i, b) &&
        (t_[i + 1].IsSym("<") || t_[i + 1].IsSym("<=") || t_[i + 1].IsSym("=")) &&
        t_[i + 2].kind == Tok::kNumber))
    return false;
  // Any number literal: fractions and values past every row count included.
  double n = std::min(std::strtod(t_[i + 2].text.c_str(), nullptr), 1e15);
  double l = t_[i + 1].IsSym("<") ? std::ceil(n) - 1 : t_[i + 1].IsSym("<=") ? std::floor(n) : (n == 1 ? 1 : 0);
  if (l < 0) l = 0;
  *limit = *limit < 0 ? static_cast<long>(l) : std::min(*limit, static_cast<long>(l));
  Emit("1", t.pos);
  i += 3;
  return true;
}

// A subquery or a parenthesised expression, from its opening parenthesis.
void Translator::Parenthesis(size_t& i, size_t b, size_t e, Scope& scope, long* limit) {
  const Token& t = t_[i];
  size_t close = match_[i];
  if (t_[i + 1].Is("SELECT") || (t_[i + 1].IsSym("(") && t_[i + 2].Is("SELECT"))) {
    Emit("(", t.pos);
    Query(i + 1, close, &scope, false);
    Emit(")", t_[close].pos);
  } else {
    if (close + 0 >= e && close != e) throw At(MakeError(907), t);
    if (t_[close].kind == Tok::kEnd) throw At(MakeError(907), t_[close]);
    if (t_[i + 1].IsSym("+") && t_[i + 2].IsSym(")")) throw At(MakeError(3001), t);
    // A parenthesised condition joined by AND still limits the rows by ROWNUM.
    bool conjunct = limit && StartsCondition(i, b) && !t_[close + 1].Is("OR");
    Emit("(", t.pos);
    Expr(i + 1, close, scope, conjunct ? limit : nullptr);
    Emit(")", t_[close].pos);
  }
  i = close + 1;
}

// name.name and schema.table.column, from the first name.
void Translator::QualifiedName(size_t& i, size_t e, Scope& scope) {
  const Token& t = t_[i];
  const Token& n2 = t_[i + 2];
  if ((t.Is("SYS") && n2.Is("DBMS_TRANSACTION") && t_[i + 3].IsSym(".") &&
       t_[i + 4].Is("LOCAL_TRANSACTION_ID"))) {
    Emit("ora_txid()", t.pos);
    i += 5;
    return;
  }
  if (t.Is("DBMS_TRANSACTION") && n2.Is("LOCAL_TRANSACTION_ID")) {
    Emit("ora_txid()", t.pos);
    i += 3;
    return;
  }
  if (n2.Is("ROWID")) {
    if (t_[i + 3].IsSym("=") && (t_[i + 4].kind == Tok::kBind || t_[i + 4].kind == Tok::kString)) {
      uint32_t obj = 0;
      std::string col = RowidColumn(scope, t.text, t, &obj);
      Emit(col + " = ora_rowid_num(" + std::to_string(obj) + ", " + Operand(t_[i + 4]) + ")", t.pos);
      i += 5;
      return;
    }
    Emit(RowidExpr(scope, t.text, t), t.pos);
    i += 3;
    return;
  }
  if (n2.IsSym("*")) { Emit(QuoteIdent(t.text) + ".*", t.pos); i += 3; return; }
  if (n2.Is("NEXTVAL") || n2.Is("CURRVAL")) throw At(MakeError(3001), t);
  // schema.table.column: drop the schema.
  if (t_[i + 3].IsSym(".") && i + 4 < e) {
    Emit(Name(n2) + "." + Name(t_[i + 4]), t.pos);
    i += 5;
    return;
  }
  Emit(Name(t) + "." + Name(n2), t.pos);
  i += 3;
}

// A function's name; TRIM and its sides take their whole argument list with them.
void Translator::FunctionName(size_t& i, Scope& scope) {
  const Token& t = t_[i];
  auto it = Functions().find(t.text);
  // LTRIM and RTRIM keep their side through the first argument of ora_trim.
  if (t.Is("LTRIM") || t.Is("RTRIM")) Emit(std::string("ora_trim('") + t.text[0] + "',", t.pos);
  else if (t.Is("TRIM")) Emit("ora_trim('B',", t.pos);
  else Emit(it != Functions().end() ? it->second : t.text, t.pos);
  if (t.Is("LTRIM") || t.Is("RTRIM") || t.Is("TRIM")) {
    // skip the opening parenthesis: it is already written
    size_t close = match_[i + 1];
    Expr(i + 2, close, scope, nullptr);
    Emit(")", t_[close].pos);
    i = close + 1;
  } else {
    ++i;
  }
}

// A name: qualified, a pseudo-column, a function or a plain column.
void Translator::Identifier(size_t& i, size_t e, Scope& scope) {
  const Token& t = t_[i];
  if (t_[i + 1].IsSym(".") && i + 2 < e) return QualifiedName(i, e, scope);
  if (t.Is("ROWID")) {
    if (t_[i + 1].IsSym("=") && (t_[i + 2].kind == Tok::kBind || t_[i + 2].kind == Tok::kString) && !scope.bare_rowid) {
      uint32_t obj = 0;
      std::string col = RowidColumn(scope, "", t, &obj);
      Emit(col + " = ora_rowid_num(" + std::to_string(obj) + ", " + Operand(t_[i + 2]) + ")", t.pos);
      i += 3;
      return;
    }
    Emit(RowidExpr(scope, "", t), t.pos);
    ++i;
    return;
  }
  if (t.Is("ROWNUM")) { Emit("row_number() OVER ()", t.pos); ++i; return; }
  if (t.Is("SYSDATE")) { Emit("ora_sysdate()", t.pos); ++i; return; }
  if (t.Is("SYSTIMESTAMP")) { Emit("ora_sysdate()", t.pos); ++i; return; }
  if (t.Is("USER") && !t_[i + 1].IsSym("(")) { Emit("ora_user()", t.pos); ++i; return; }
  if (t.Is("DATE") && t_[i + 1].kind == Tok::kString) {
    Emit("ora_to_date(" + QuoteString(t_[i + 1].text) + ", 'YYYY-MM-DD HH24:MI:SS')", t.pos);
    i += 2;
    return;
  }
  if (t.Is("MINUS")) { Emit("EXCEPT", t.pos); ++i; return; }
  if (t_[i + 1].IsSym("(")) return FunctionName(i, scope);
  Emit(Name(t), t.pos);
  ++i;
}

void Translator::Expr(size_t b, size_t e, Scope& scope, long* limit, bool chains) {
  for (size_t i = b; i < e;) {
    if (chains && (i == b || Boundary(t_[i - 1])) && !Boundary(t_[i]) && OperatorChain(i, e, scope)) continue;
    if (RownumLimit(i, b, e, limit)) continue;
    const Token& t = t_[i];
    if (t.IsSym("(")) { Parenthesis(i, b, e, scope, limit); continue; }
    if (t.kind == Tok::kIdent) { Identifier(i, e, scope); continue; }
    if (t.kind == Tok::kEnd) break;
    if (t.IsSym("!=") || t.IsSym("^=")) { Emit("<>", t.pos); ++i; continue; }
    // SQLite divides whole numbers as integers; Oracle's NUMBER keeps the fraction.
    if (t.IsSym("/")) { Emit("* 1.0 /", t.pos); ++i; continue; }
    if (t.IsSym(")")) throw At(MakeError(933), t);
    Emit(Operand(t), t.pos);
    ++i;
  }
}

bool Translator::Keyword(const std::string& s) {
  static const std::set<std::string> k = {
      "AND", "OR", "NOT", "IS", "NULL", "IN", "LIKE", "BETWEEN", "CASE", "WHEN", "THEN",
      "ELSE", "END", "EXISTS", "AS", "ASC", "DESC", "BY", "GROUP", "ORDER", "HAVING",
      "DISTINCT", "ALL", "ANY", "SOME", "ESCAPE", "NULLS", "FIRST", "LAST", "SELECT",
      "FROM", "WHERE", "UNION", "INTERSECT", "EXCEPT", "VALUES", "SET", "DEFAULT",
      "OVER", "PARTITION", "CAST", "INTEGER", "TEXT", "REAL", "COLLATE", "PRIOR", "ROWS",
      "RANGE", "UNBOUNDED", "PRECEDING", "FOLLOWING", "CURRENT", "ROW", "ON", "JOIN",
      "INNER", "LEFT", "RIGHT", "OUTER", "CROSS", "NATURAL", "USING"};
  return k.count(s) > 0;
}

std::string Translator::Name(const Token& t) {
  if (t.kind == Tok::kIdent && Keyword(t.text)) return t.text;
  if (t.kind == Tok::kIdent || t.kind == Tok::kQuoted) return QuoteIdent(t.text);
  return t.text;
}

std::string Translator::Operand(const Token& t) {
  switch (t.kind) {
    case Tok::kString: return t.text.empty() ? "NULL" : QuoteString(t.text);
    case Tok::kBind: return ":" + t.text;
    case Tok::kQuoted: return QuoteIdent(t.text);
    default: return t.text;
  }
}

}  // namespace kavo::ocisqlite
