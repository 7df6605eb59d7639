#include "translator.h"

#include "errors.h"

namespace kavo::ocisqlite {

Hint FunctionHint(const std::string& f) {
  static const std::map<std::string, Hint> m = {
      {"TO_CHAR", Hint::kVarchar}, {"CHR", Hint::kVarchar},     {"UPPER", Hint::kVarchar},
      {"LOWER", Hint::kVarchar},   {"SUBSTR", Hint::kVarchar},  {"TRIM", Hint::kVarchar},
      {"LTRIM", Hint::kVarchar},   {"RTRIM", Hint::kVarchar},   {"REPLACE", Hint::kVarchar},
      {"USER", Hint::kVarchar},    {"USERENV", Hint::kVarchar}, {"LPAD", Hint::kVarchar},
      {"RPAD", Hint::kVarchar},    {"CONCAT", Hint::kVarchar},  {"NCHR", Hint::kNVarchar},
      {"TO_DATE", Hint::kDate},    {"TO_TIMESTAMP", Hint::kDate}, {"SYS_CONTEXT", Hint::kVarchar},
      {"DUMP", Hint::kVarchar},    {"SYSDATE", Hint::kDate},    {"ADD_MONTHS", Hint::kDate},
      {"LAST_DAY", Hint::kDate},   {"LENGTH", Hint::kNumber},   {"LENGTHB", Hint::kNumber},
      {"COUNT", Hint::kNumber},    {"SUM", Hint::kNumber},      {"AVG", Hint::kNumber},
      {"TO_NUMBER", Hint::kNumber}, {"ROWNUM", Hint::kNumber},  {"ABS", Hint::kNumber},
      {"ROUND", Hint::kNumber},    {"MOD", Hint::kNumber},      {"INSTR", Hint::kNumber},
      {"FLOOR", Hint::kNumber},    {"CEIL", Hint::kNumber},     {"SIGN", Hint::kNumber}};
  auto it = m.find(f);
  return it == m.end() ? Hint::kUnknown : it->second;
}

Hint LeadingHint(const Token& first) {
  return first.kind == Tok::kIdent ? FunctionHint(first.text) : Hint::kUnknown;
}

// What an expression yields, as far as its shape tells where SQLite's values
// cannot (a DATE is text to SQLite): a column's own type through MAX, MIN, NVL
// and parentheses, and DATE arithmetic (DATE +/- number, DATE - DATE).
Hint Translator::ExprHint(size_t b, size_t e, Scope& scope) {
  while (e - b >= 2 && t_[b].IsSym("(") && match_[b] == e - 1) ++b, --e;
  if (b >= e) return Hint::kUnknown;
  std::vector<size_t> ops;
  bool concat = false;
  for (size_t k = b; k < e; k = Skip(k)) {
    if ((t_[k].IsSym("+") || t_[k].IsSym("-")) && k > b && EndsOperand(t_[k - 1])) ops.push_back(k);
    concat |= t_[k].IsSym("||");
  }
  if (concat) return ops.empty() ? Hint::kVarchar : Hint::kUnknown;
  if (!ops.empty()) {
    Hint first = ExprHint(b, ops[0], scope);
    if (first != Hint::kDate) return first == Hint::kNumber ? Hint::kNumber : Hint::kUnknown;
    for (size_t j = 0; j < ops.size(); ++j) {
      size_t stop = j + 1 < ops.size() ? ops[j + 1] : e;
      if (t_[ops[j]].IsSym("-") && ExprHint(ops[j] + 1, stop, scope) == Hint::kDate) return Hint::kNumber;
    }
    return Hint::kDate;
  }
  const Token& f = t_[b];
  if (f.kind != Tok::kIdent && f.kind != Tok::kQuoted) return Hint::kUnknown;
  if (e - b == 1) {
    Hint h = f.kind == Tok::kIdent ? FunctionHint(f.text) : Hint::kUnknown;
    return h != Hint::kUnknown ? h : ColumnHint(scope, "", f.text);
  }
  if (e - b == 3 && t_[b + 1].IsSym(".")) return ColumnHint(scope, f.text, t_[b + 2].text);
  if (f.kind == Tok::kIdent && t_[b + 1].IsSym("(") && match_[b + 1] == e - 1) {
    bool dates_too = f.Is("TRUNC") || f.Is("ROUND");  // of a DATE a DATE, else a number
    if (f.Is("MAX") || f.Is("MIN") || f.Is("NVL") || f.Is("COALESCE") || dates_too) {
      size_t arg_end = b + 2;
      while (arg_end < e - 1 && !t_[arg_end].IsSym(",")) arg_end = Skip(arg_end);
      Hint h = ExprHint(b + 2, arg_end, scope);
      return dates_too && h != Hint::kDate ? Hint::kNumber : h;
    }
    return FunctionHint(f.text);
  }
  return f.kind == Tok::kIdent ? FunctionHint(f.text) : Hint::kUnknown;
}

// The hint for a column of a table of the query (alias empty: any of them).
Hint Translator::ColumnHint(Scope& scope, const std::string& alias, const std::string& name) {
  for (const auto& [a, ref] : scope.tables) {
    if (!alias.empty() && a != alias) continue;
    for (const ColumnInfo& c : res_.Columns(ref)) {
      if (c.name != name) continue;
      if (c.type == "DATE") return Hint::kDate;
      if (c.type == "NUMBER" || c.type == "FLOAT" || c.type == "INTEGER") return Hint::kNumber;
      return c.type == "VARCHAR2" ? Hint::kVarchar : Hint::kUnknown;
    }
  }
  return Hint::kUnknown;
}

}  // namespace kavo::ocisqlite
