#include "translate.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include "errors.h"

namespace kavo::ocisqlite {

size_t Translation::SourceOffset(size_t out_offset) const {
  size_t src = 0;
  for (const auto& [out, s] : map) {
    if (out > out_offset) break;
    src = s;
  }
  return src;
}

namespace {

const std::set<std::string>& AliasStop() {
  static const std::set<std::string> s = {
      "WHERE", "GROUP",   "ORDER", "HAVING", "CONNECT", "START",    "UNION",  "MINUS",
      "INTERSECT", "FOR", "JOIN",  "INNER",  "LEFT",    "RIGHT",    "FULL",   "CROSS",
      "ON",    "NATURAL", "SET",   "VALUES", "RETURNING", "RETURN", "USING",  "OUTER",
      "SELECT", "FROM",   "WITH",  "LIMIT",  "OFFSET",  "FETCH"};
  return s;
}

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
  };
  return m;
}

Hint FunctionHint(const std::string& f) {
  static const std::map<std::string, Hint> m = {
      {"TO_CHAR", Hint::kVarchar}, {"CHR", Hint::kVarchar},     {"UPPER", Hint::kVarchar},
      {"LOWER", Hint::kVarchar},   {"SUBSTR", Hint::kVarchar},  {"TRIM", Hint::kVarchar},
      {"LTRIM", Hint::kVarchar},   {"RTRIM", Hint::kVarchar},   {"REPLACE", Hint::kVarchar},
      {"USER", Hint::kVarchar},    {"USERENV", Hint::kVarchar}, {"LPAD", Hint::kVarchar},
      {"RPAD", Hint::kVarchar},    {"CONCAT", Hint::kVarchar},  {"NCHR", Hint::kNVarchar},
      {"TO_DATE", Hint::kDate},    {"SYSDATE", Hint::kDate},    {"ADD_MONTHS", Hint::kDate},
      {"LAST_DAY", Hint::kDate},   {"LENGTH", Hint::kNumber},   {"LENGTHB", Hint::kNumber},
      {"COUNT", Hint::kNumber},    {"SUM", Hint::kNumber},      {"AVG", Hint::kNumber},
      {"TO_NUMBER", Hint::kNumber}, {"ROWNUM", Hint::kNumber},  {"ABS", Hint::kNumber},
      {"ROUND", Hint::kNumber},    {"MOD", Hint::kNumber},      {"INSTR", Hint::kNumber},
      {"FLOOR", Hint::kNumber},    {"CEIL", Hint::kNumber},     {"SIGN", Hint::kNumber}};
  auto it = m.find(f);
  return it == m.end() ? Hint::kUnknown : it->second;
}

class Translator {
 public:
  Translator(const std::vector<Token>& toks, Resolver& res)
      : t_(toks), match_(MatchParens(toks)), res_(res) {}

  Translation Statement(size_t b, size_t e) {
    const Token& first = t_[b];
    if (first.Is("SELECT") || first.IsSym("(")) {
      Query(b, e, nullptr, true);
    } else if (first.Is("INSERT")) {
      Insert(b, e);
    } else if (first.Is("UPDATE")) {
      Update(b, e);
    } else if (first.Is("DELETE")) {
      Delete(b, e);
    } else {
      throw At(MakeError(900), first);
    }
    return std::move(tr_);
  }

  std::string Expression(size_t b, size_t e) {
    Scope scope;
    Expr(b, e, scope, nullptr);
    return tr_.sql;
  }

 private:
  struct Scope {
    std::map<std::string, ObjectRef> aliases;
    std::vector<std::pair<std::string, ObjectRef>> tables;  // alias, table
    Scope* parent = nullptr;
    bool bare_rowid = false;  // inside RETURNING: the row is the target row itself
  };

  void Emit(const std::string& s, size_t src) {
    tr_.map.emplace_back(tr_.sql.size(), src);
    if (!tr_.sql.empty() && !s.empty()) {
      char last = tr_.sql.back();
      if (last != ' ' && last != '(' && s[0] != ')' && s[0] != ',' && s[0] != '.' &&
          last != '.')
        tr_.sql += ' ';
    }
    tr_.sql += s;
  }

  size_t Skip(size_t i) const { return t_[i].IsSym("(") ? std::min(match_[i] + 1, t_.size() - 1) : i + 1; }

  // First depth-0 token in [b, e) that is one of the words, or e.
  size_t Find(size_t b, size_t e, std::initializer_list<const char*> words) const {
    for (size_t i = b; i < e; i = Skip(i))
      for (const char* w : words)
        if (t_[i].Is(w)) return i;
    return e;
  }

  bool Lookup(Scope& scope, const std::string& alias, ObjectRef* out) {
    for (Scope* s = &scope; s; s = s->parent) {
      auto it = s->aliases.find(alias);
      if (it != s->aliases.end()) { *out = it->second; return true; }
    }
    return false;
  }

  // ---- queries ----

  void Query(size_t b, size_t e, Scope* parent, bool top) {
    // Compound queries: split at depth-0 set operators.
    size_t part = b;
    for (size_t i = b; i <= e; i = i < e ? std::min(Skip(i), e) : e + 1) {
      bool at_end = i == e;
      if (!at_end && !t_[i].Is("UNION") && !t_[i].Is("INTERSECT") && !t_[i].Is("MINUS")) continue;
      size_t pb = part, pe = i;
      while (t_[pb].IsSym("(") && match_[pb] == pe - 1) ++pb, --pe;
      if (pb >= pe) throw At(MakeError(936), t_[pb]);
      if (!t_[pb].Is("SELECT")) throw At(MakeError(936), t_[pb]);
      SimpleSelect(pb, pe, parent, top && part == b);
      if (at_end) break;
      if (t_[i].Is("MINUS")) Emit("EXCEPT", t_[i].pos);
      else Emit(t_[i].text, t_[i].pos);
      part = i + 1;
      if (t_[part].Is("ALL")) { Emit("ALL", t_[part].pos); ++part; }
      i = part - 1;
      if (i < b) i = b;
    }
  }

  void SimpleSelect(size_t b, size_t e, Scope* parent, bool top) {
    Scope scope;
    scope.parent = parent;
    size_t from = Find(b, e, {"FROM"});
    size_t where = Find(b, e, {"WHERE"});
    size_t group = Find(b, e, {"GROUP", "HAVING", "CONNECT", "START"});
    size_t order = Find(b, e, {"ORDER"});
    size_t forup = e;
    for (size_t i = b; i < e; i = Skip(i))
      if (t_[i].Is("FOR") && t_[i + 1].Is("UPDATE")) { forup = i; break; }
    if (from == e) {
      // Oracle points at the word where FROM was expected: the select list's last word.
      size_t at = std::min({where, group, order, forup});
      throw At(MakeError(923), t_[at > b + 2 ? at - 1 : at]);
    }
    size_t from_end = std::min({where, group, order, forup});
    FromList(from + 1, from_end, scope, false);

    Emit("SELECT", t_[b].pos);
    size_t list = b + 1;
    if (t_[list].Is("DISTINCT") || t_[list].Is("UNIQUE")) { Emit("DISTINCT", t_[list].pos); ++list; }
    else if (t_[list].Is("ALL")) ++list;
    if (list >= from) throw At(MakeError(936), t_[from]);
    SelectList(list, from, scope, top);
    Emit("FROM", t_[from].pos);
    FromList(from + 1, from_end, scope, true);
    long limit = -1;
    if (where < e) {
      size_t we = std::min({group, order, forup});
      if (where + 1 >= we) throw At(MakeError(936), t_[we]);
      Emit("WHERE", t_[where].pos);
      Expr(where + 1, we, scope, &limit);
    }
    if (group < e) Expr(group, std::min(order, forup), scope, nullptr);
    if (order < e) Expr(order, forup, scope, nullptr);
    if (limit >= 0) Emit("LIMIT " + std::to_string(limit), t_[e - 1].pos);
    if (forup < e) {
      if (!top) throw At(MakeError(907), t_[forup]);
      tr_.for_update = true;
      size_t i = forup + 2;
      if (t_[i].Is("OF")) {
        ++i;
        while (i < e && !t_[i].Is("NOWAIT") && !t_[i].Is("WAIT") && !t_[i].Is("SKIP")) ++i;
      }
      if (t_[i].Is("NOWAIT")) tr_.nowait = true, ++i;
      else if (t_[i].Is("WAIT")) i += 2;
      if (i < e) throw At(MakeError(933), t_[i]);
    }
  }

  void SelectList(size_t b, size_t e, Scope& scope, bool top) {
    size_t item = b;
    bool first = true;
    for (size_t i = b; i <= e; i = i < e ? std::min(Skip(i), e) : e + 1) {
      if (i < e && !t_[i].IsSym(",")) continue;
      if (!first) Emit(",", t_[item - 1].pos);
      first = false;
      Item(item, i, scope, top);
      item = i + 1;
    }
  }

  void Item(size_t b, size_t e, Scope& scope, bool top) {
    if (b >= e) throw At(MakeError(936), t_[b]);
    if (e - b == 1 && t_[b].IsSym("*")) { Emit("*", t_[b].pos); return; }
    if (e - b == 3 && t_[b + 1].IsSym(".") && t_[b + 2].IsSym("*")) {
      ObjectRef ref;
      if (!Lookup(scope, t_[b].text, &ref)) throw At(MakeError(904, "\"" + t_[b].text + "\""), t_[b]);
      Emit(QuoteIdent(t_[b].text) + ".*", t_[b].pos);
      return;
    }
    size_t xe = e;
    std::string alias;
    if (e - b >= 2 && (t_[e - 1].kind == Tok::kIdent || t_[e - 1].kind == Tok::kQuoted)) {
      const Token& prev = t_[e - 2];
      bool ends_expr = prev.kind == Tok::kIdent || prev.kind == Tok::kQuoted ||
                       prev.kind == Tok::kString || prev.kind == Tok::kNumber ||
                       prev.kind == Tok::kBind || prev.IsSym(")");
      if (prev.Is("AS")) { alias = t_[e - 1].text; xe = e - 2; }
      else if (ends_expr && !(prev.kind == Tok::kIdent && (prev.Is("CASE") || prev.Is("ELSE") || prev.Is("THEN")))
               && !t_[e - 1].Is("END")) {
        alias = t_[e - 1].text;
        xe = e - 1;
      }
    }
    SelectItem si;
    if (alias.empty()) {
      if (xe - b == 1 && (t_[b].kind == Tok::kIdent || t_[b].kind == Tok::kQuoted)) alias = t_[b].text;
      else if (xe - b == 3 && t_[b + 1].IsSym(".") && t_[b + 2].kind != Tok::kSymbol) alias = t_[b + 2].text;
      else {
        // Oracle names an expression column after its text, blanks removed, upper-cased.
        for (size_t i = b; i < xe; ++i) {
          if (t_[i].kind == Tok::kString) alias += QuoteString(t_[i].text);
          else if (t_[i].kind == Tok::kQuoted) alias += QuoteIdent(t_[i].text);
          else if (t_[i].kind == Tok::kBind) alias += ":" + t_[i].text;
          else alias += t_[i].text;
        }
      }
    }
    si.name = alias;
    const Token& f = t_[b];
    bool qualified_rowid = xe - b == 3 && t_[b + 1].IsSym(".") && t_[b + 2].Is("ROWID");
    if ((xe - b == 1 && f.Is("ROWID")) || qualified_rowid) si.hint = Hint::kRowid, si.size = 18;
    else if (xe - b == 1 && f.kind == Tok::kString) si.hint = f.text.empty() ? Hint::kUnknown : Hint::kChar, si.size = static_cast<int>(f.text.size());
    else if (xe - b == 1 && f.kind == Tok::kNumber) si.hint = Hint::kNumber;
    else if (xe - b == 1 || (xe - b == 3 && t_[b + 1].IsSym("."))) {  // a column: SQLite knows its type
      if (f.kind == Tok::kIdent) si.hint = FunctionHint(f.text);
    } else if (f.kind == Tok::kIdent || f.IsSym("(")) {
      si.hint = ExprHint(b, xe, scope);
    }
    if (top) tr_.items.push_back(si);
    Expr(b, xe, scope, nullptr);
    Emit("AS " + QuoteIdent(alias), t_[xe - 1].pos);
  }

  // What an expression yields, as far as its shape tells where SQLite's values
  // cannot (a DATE is text to SQLite): a column's own type through MAX, MIN, NVL
  // and parentheses, and DATE arithmetic (DATE +/- number, DATE - DATE).
  Hint ExprHint(size_t b, size_t e, Scope& scope) {
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
  Hint ColumnHint(Scope& scope, const std::string& alias, const std::string& name) {
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

  // Parses (emit=false: registers tables in scope) or writes the FROM list.
  void FromList(size_t b, size_t e, Scope& scope, bool emit) {
    size_t i = b;
    if (b >= e) throw At(MakeError(903), t_[b]);
    while (i < e) {
      i = TableRef(i, e, scope, emit);
      if (i >= e) break;
      if (t_[i].IsSym(",")) {
        if (emit) Emit(",", t_[i].pos);
        ++i;
        continue;
      }
      size_t j = i;
      while (j < e && (t_[j].Is("INNER") || t_[j].Is("LEFT") || t_[j].Is("RIGHT") ||
                       t_[j].Is("FULL") || t_[j].Is("OUTER") || t_[j].Is("CROSS") ||
                       t_[j].Is("NATURAL")))
        ++j;
      if (!t_[j].Is("JOIN")) throw At(MakeError(933), t_[i]);
      if (emit)
        for (size_t k = i; k <= j; ++k) Emit(t_[k].text, t_[k].pos);
      i = TableRef(j + 1, e, scope, emit);
      if (i < e && t_[i].Is("ON")) {
        size_t k = i + 1;
        while (k < e && !t_[k].IsSym(",") && !t_[k].Is("JOIN") && !t_[k].Is("INNER") &&
               !t_[k].Is("LEFT") && !t_[k].Is("RIGHT") && !t_[k].Is("FULL") && !t_[k].Is("CROSS"))
          k = Skip(k);
        if (emit) {
          Emit("ON", t_[i].pos);
          Expr(i + 1, k, scope, nullptr);
        }
        i = k;
      }
    }
  }

  // name[.name] [alias] or (subquery) [alias]; returns the index after it.
  size_t TableRef(size_t i, size_t e, Scope& scope, bool emit) {
    if (i >= e) throw At(MakeError(903), t_[i]);
    if (t_[i].IsSym("(")) {
      size_t close = match_[i];
      size_t next = close + 1;
      std::string alias;
      if (next < e && (t_[next].kind == Tok::kQuoted ||
                       (t_[next].kind == Tok::kIdent && !AliasStop().count(t_[next].text))))
        alias = t_[next++].text;
      if (emit) {
        Emit("(", t_[i].pos);
        Query(i + 1, close, &scope, false);
        Emit(")", t_[close].pos);
        if (!alias.empty()) Emit("AS " + QuoteIdent(alias), t_[close].pos);
      }
      return next;
    }
    ObjectRef ref;
    size_t next = ParseObjectName(i, e, &ref);
    std::string alias = ref.name;
    if (next < e && t_[next].Is("AS")) ++next;
    if (next < e && (t_[next].kind == Tok::kQuoted ||
                     (t_[next].kind == Tok::kIdent && !AliasStop().count(t_[next].text))))
      alias = t_[next++].text;
    if (emit) {
      Emit(QuoteIdent(ref.sqlite_name) + " AS " + QuoteIdent(alias), t_[i].pos);
    } else {
      scope.aliases[alias] = ref;
      scope.tables.emplace_back(alias, ref);
    }
    return next;
  }

  size_t ParseObjectName(size_t i, size_t e, ObjectRef* ref) {
    if (i >= e || (t_[i].kind != Tok::kIdent && t_[i].kind != Tok::kQuoted))
      throw At(MakeError(903), t_[i]);
    std::string schema, name = t_[i].text;
    size_t next = i + 1;
    if (next + 1 < e && t_[next].IsSym(".") &&
        (t_[next + 1].kind == Tok::kIdent || t_[next + 1].kind == Tok::kQuoted)) {
      schema = name;
      name = t_[next + 1].text;
      next += 2;
    }
    if (next < e && t_[next].IsSym("@")) throw At(MakeError(12154), t_[next]);
    if (!res_.Resolve(schema, name, ref)) throw At(MakeError(942), t_[i]);
    return next;
  }

  // ---- DML ----

  void Returning(size_t b, size_t e, Scope& scope) {
    size_t into = Find(b + 1, e, {"INTO"});
    if (into == e) throw At(MakeError(925), t_[e - 1]);
    Scope rs;
    rs.parent = &scope;
    rs.bare_rowid = true;
    rs.tables = scope.tables;
    Emit("RETURNING", t_[b].pos);
    Expr(b + 1, into, rs, nullptr);
    for (size_t k = b + 1; k < into;) {
      size_t stop = k;
      while (stop < into && !t_[stop].IsSym(",")) stop = Skip(stop);
      tr_.into_hints.push_back(ExprHint(k, stop, rs));
      k = stop + 1;
    }
    for (size_t i = into + 1; i < e; ++i) {
      if (t_[i].kind == Tok::kBind) tr_.into_binds.push_back(t_[i].text);
      else if (!t_[i].IsSym(",")) throw At(MakeError(933), t_[i]);
    }
  }

  size_t Target(size_t i, size_t e, Scope& scope) {
    ObjectRef ref;
    size_t next = ParseObjectName(i, e, &ref);
    std::string alias = ref.name;
    if (next < e && (t_[next].kind == Tok::kQuoted ||
                     (t_[next].kind == Tok::kIdent && !AliasStop().count(t_[next].text))))
      alias = t_[next++].text;
    scope.aliases[alias] = ref;
    scope.tables.emplace_back(alias, ref);
    tr_.target = ref;
    Emit(QuoteIdent(ref.sqlite_name) + " AS " + QuoteIdent(alias), t_[i].pos);
    return next;
  }

  // Oracle converts a value to its column's type on the way in: text to DATE by
  // NLS_DATE_FORMAT, text to NUMBER, hexadecimal text to RAW.
  std::string Converter(const std::string& column) const {
    for (const ColumnInfo& c : columns_)
      if (c.name == column) {
        if (c.type == "DATE") return "ora_date_in(";
        if (c.type == "NUMBER" && c.scale >= 0) return "ora_number_in(" + std::to_string(c.scale) + ",";
        if (c.type == "NUMBER") return "ora_number_in(-1,";
        if (c.type == "RAW" || c.type == "LONG RAW") return "ora_raw_in(";
        return {};
      }
    return {};
  }

  void Value(size_t b, size_t e, const std::string& column, Scope& scope) {
    if (b >= e) throw At(MakeError(936), t_[b]);
    std::string conv = Converter(column);
    if (!conv.empty()) Emit(conv, t_[b].pos);
    Expr(b, e, scope, nullptr);
    if (!conv.empty()) Emit(")", t_[e - 1].pos);
  }

  void Insert(size_t b, size_t e) {
    if (!t_[b + 1].Is("INTO")) throw At(MakeError(925), t_[b + 1]);
    Scope scope;
    Emit("INSERT INTO", t_[b].pos);
    size_t i = Target(b + 2, e, scope);
    columns_ = res_.Columns(tr_.target);
    std::vector<std::string> names;
    for (const auto& c : columns_) names.push_back(c.name);
    size_t ret = Find(i, e, {"RETURNING", "RETURN"});
    if (t_[i].IsSym("(")) {
      names.clear();
      Emit("(", t_[i].pos);
      for (size_t k = i + 1; k < match_[i]; ++k) {
        if (t_[k].IsSym(",")) {
          Emit(",", t_[k].pos);
        } else {
          Emit(QuoteIdent(t_[k].text), t_[k].pos);
          names.push_back(t_[k].text);
        }
      }
      Emit(")", t_[match_[i]].pos);
      i = match_[i] + 1;
    }
    if (t_[i].Is("VALUES")) {
      Emit("VALUES", t_[i].pos);
      if (!t_[i + 1].IsSym("(")) throw At(MakeError(933), t_[i + 1]);
      size_t close = match_[i + 1];
      if (t_[close].kind == Tok::kEnd) throw At(MakeError(907), t_[close]);
      Emit("(", t_[i + 1].pos);
      size_t start = i + 2, n = 0;
      for (size_t k = start; k <= close; k = k < close ? std::min(Skip(k), close) : close + 1) {
        if (k < close && !t_[k].IsSym(",")) continue;
        if (n > 0) Emit(",", t_[start - 1].pos);
        Value(start, k, n < names.size() ? names[n] : std::string(), scope);
        ++n;
        start = k + 1;
      }
      Emit(")", t_[close].pos);
      if (close + 1 < ret) throw At(MakeError(933), t_[close + 1]);
    } else if (t_[i].Is("SELECT") || t_[i].IsSym("(")) {
      Query(i, ret, &scope, false);
    } else {
      throw At(MakeError(933), t_[i]);
    }
    if (ret < e) Returning(ret, e, scope);
  }

  void Update(size_t b, size_t e) {
    Scope scope;
    Emit("UPDATE", t_[b].pos);
    size_t i = Target(b + 1, e, scope);
    if (!t_[i].Is("SET")) throw At(MakeError(933), t_[i]);
    size_t where = Find(i, e, {"WHERE"});
    size_t ret = Find(i, e, {"RETURNING", "RETURN"});
    Emit("SET", t_[i].pos);
    columns_ = res_.Columns(tr_.target);
    size_t set_end = std::min(where, ret), start = i + 1;
    for (size_t k = start; k <= set_end; k = k < set_end ? std::min(Skip(k), set_end) : set_end + 1) {
      if (k < set_end && !t_[k].IsSym(",")) continue;
      if (start > i + 1) Emit(",", t_[start - 1].pos);
      bool simple = k - start >= 3 && (t_[start].kind == Tok::kIdent || t_[start].kind == Tok::kQuoted) &&
                    t_[start + 1].IsSym("=");
      if (simple) {
        Emit(QuoteIdent(t_[start].text) + " =", t_[start].pos);
        Value(start + 2, k, t_[start].text, scope);
      } else {
        Expr(start, k, scope, nullptr);
      }
      start = k + 1;
    }
    if (where < e) {
      Emit("WHERE", t_[where].pos);
      Expr(where + 1, ret, scope, nullptr);
    }
    if (ret < e) Returning(ret, e, scope);
    else Implicit();
  }

  void Delete(size_t b, size_t e) {
    Scope scope;
    Emit("DELETE FROM", t_[b].pos);
    size_t i = b + 1;
    if (t_[i].Is("FROM")) ++i;
    i = Target(i, e, scope);
    size_t where = Find(i, e, {"WHERE"});
    size_t ret = Find(i, e, {"RETURNING", "RETURN"});
    if (where < e) {
      Emit("WHERE", t_[where].pos);
      Expr(where + 1, ret, scope, nullptr);
    } else if (i < ret) {
      throw At(MakeError(933), t_[i]);
    }
    if (ret < e) Returning(ret, e, scope);
    else Implicit();
  }

  void Implicit() {
    tr_.implicit_returning = true;
    Emit("RETURNING rowid", t_.back().pos);
  }

  // ---- expressions ----

  std::string RowidExpr(Scope& scope, const std::string& alias, const Token& at) {
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

  std::string RowidColumn(Scope& scope, const std::string& alias, const Token& at, uint32_t* obj) {
    std::string full = RowidExpr(scope, alias, at);  // validates and finds the table
    size_t comma = full.find(", ");
    *obj = static_cast<uint32_t>(std::stoul(full.substr(10, comma - 10)));
    return full.substr(comma + 2, full.size() - comma - 3);
  }

  bool StartsCondition(size_t i, size_t b) const {
    return i == b || t_[i - 1].Is("AND") || t_[i - 1].Is("WHERE") || t_[i - 1].IsSym("(");
  }

  // Words and symbols that end an operand chain of +, - and ||.
  static bool Boundary(const Token& t) {
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

  static bool EndsOperand(const Token& t) {
    return t.kind == Tok::kIdent || t.kind == Tok::kQuoted || t.kind == Tok::kNumber ||
           t.kind == Tok::kString || t.kind == Tok::kBind || t.IsSym(")");
  }

  // Oracle's +, - and || know DATE arithmetic and treat NULL as empty text in
  // concatenation; SQLite's do not, so a chain becomes nested ora_* calls.
  bool OperatorChain(size_t& i, size_t e, Scope& scope) {
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
      Emit(op.IsSym("+") ? "ora_add(" : op.IsSym("-") ? "ora_sub(" : "ora_concat(", op.pos);
    }
    size_t start = i;
    for (size_t j = 0; j <= ops.size(); ++j) {
      size_t stop = j < ops.size() ? ops[j] : end;
      if (start >= stop) throw At(MakeError(936), t_[stop]);
      if (j > 0) Emit(",", t_[start].pos);
      Expr(start, stop, scope, nullptr, false);
      if (j > 0) Emit(")", t_[stop - 1].pos);
      start = stop + 1;
    }
    i = end;
    return true;
  }

  void Expr(size_t b, size_t e, Scope& scope, long* limit, bool chains = true) {
    for (size_t i = b; i < e;) {
      if (chains && (i == b || Boundary(t_[i - 1])) && !Boundary(t_[i]) && OperatorChain(i, e, scope)) continue;
      const Token& t = t_[i];
      // ROWNUM < n in a WHERE clause becomes a LIMIT.
      if (limit && t.Is("ROWNUM") && i + 2 < e + 1 && StartsCondition(i, b) &&
          (t_[i + 1].IsSym("<") || t_[i + 1].IsSym("<=") || t_[i + 1].IsSym("=")) &&
          t_[i + 2].kind == Tok::kNumber) {
        // Any number literal: fractions and values past every row count included.
        double n = std::min(std::strtod(t_[i + 2].text.c_str(), nullptr), 1e15);
        double l = t_[i + 1].IsSym("<") ? std::ceil(n) - 1 : t_[i + 1].IsSym("<=") ? std::floor(n) : (n == 1 ? 1 : 0);
        if (l < 0) l = 0;
        *limit = *limit < 0 ? static_cast<long>(l) : std::min(*limit, static_cast<long>(l));
        Emit("1", t.pos);
        i += 3;
        continue;
      }
      if (t.IsSym("(")) {
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
        continue;
      }
      if (t.kind == Tok::kIdent) {
        // qualified names
        if (t_[i + 1].IsSym(".") && i + 2 < e) {
          const Token& n2 = t_[i + 2];
          if ((t.Is("SYS") && n2.Is("DBMS_TRANSACTION") && t_[i + 3].IsSym(".") &&
               t_[i + 4].Is("LOCAL_TRANSACTION_ID"))) {
            Emit("ora_txid()", t.pos);
            i += 5;
            continue;
          }
          if (t.Is("DBMS_TRANSACTION") && n2.Is("LOCAL_TRANSACTION_ID")) {
            Emit("ora_txid()", t.pos);
            i += 3;
            continue;
          }
          if (n2.Is("ROWID")) {
            if (t_[i + 3].IsSym("=") && (t_[i + 4].kind == Tok::kBind || t_[i + 4].kind == Tok::kString)) {
              uint32_t obj = 0;
              std::string col = RowidColumn(scope, t.text, t, &obj);
              Emit(col + " = ora_rowid_num(" + std::to_string(obj) + ", " + Operand(t_[i + 4]) + ")", t.pos);
              i += 5;
              continue;
            }
            Emit(RowidExpr(scope, t.text, t), t.pos);
            i += 3;
            continue;
          }
          if (n2.IsSym("*")) { Emit(QuoteIdent(t.text) + ".*", t.pos); i += 3; continue; }
          if (n2.Is("NEXTVAL") || n2.Is("CURRVAL")) throw At(MakeError(3001), t);
          // schema.table.column: drop the schema.
          if (t_[i + 3].IsSym(".") && i + 4 < e) {
            Emit(Name(n2) + "." + Name(t_[i + 4]), t.pos);
            i += 5;
            continue;
          }
          Emit(Name(t) + "." + Name(n2), t.pos);
          i += 3;
          continue;
        }
        if (t.Is("ROWID")) {
          if (t_[i + 1].IsSym("=") && (t_[i + 2].kind == Tok::kBind || t_[i + 2].kind == Tok::kString) && !scope.bare_rowid) {
            uint32_t obj = 0;
            std::string col = RowidColumn(scope, "", t, &obj);
            Emit(col + " = ora_rowid_num(" + std::to_string(obj) + ", " + Operand(t_[i + 2]) + ")", t.pos);
            i += 3;
            continue;
          }
          Emit(RowidExpr(scope, "", t), t.pos);
          ++i;
          continue;
        }
        if (t.Is("ROWNUM")) { Emit("row_number() OVER ()", t.pos); ++i; continue; }
        if (t.Is("SYSDATE")) { Emit("ora_sysdate()", t.pos); ++i; continue; }
        if (t.Is("SYSTIMESTAMP")) { Emit("ora_sysdate()", t.pos); ++i; continue; }
        if (t.Is("USER") && !t_[i + 1].IsSym("(")) { Emit("ora_user()", t.pos); ++i; continue; }
        if (t.Is("DATE") && t_[i + 1].kind == Tok::kString) {
          Emit("ora_to_date(" + QuoteString(t_[i + 1].text) + ", 'YYYY-MM-DD HH24:MI:SS')", t.pos);
          i += 2;
          continue;
        }
        if (t.Is("MINUS")) { Emit("EXCEPT", t.pos); ++i; continue; }
        if (t_[i + 1].IsSym("(")) {
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
          continue;
        }
        Emit(Name(t), t.pos);
        ++i;
        continue;
      }
      if (t.kind == Tok::kEnd) break;
      if (t.IsSym("!=") || t.IsSym("^=")) { Emit("<>", t.pos); ++i; continue; }
      // SQLite divides whole numbers as integers; Oracle's NUMBER keeps the fraction.
      if (t.IsSym("/")) { Emit("* 1.0 /", t.pos); ++i; continue; }
      if (t.IsSym(")")) throw At(MakeError(933), t);
      Emit(Operand(t), t.pos);
      ++i;
    }
  }

  static bool Keyword(const std::string& s) {
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

  static std::string Name(const Token& t) {
    if (t.kind == Tok::kIdent && Keyword(t.text)) return t.text;
    if (t.kind == Tok::kIdent || t.kind == Tok::kQuoted) return QuoteIdent(t.text);
    return t.text;
  }

  static std::string Operand(const Token& t) {
    switch (t.kind) {
      case Tok::kString: return t.text.empty() ? "NULL" : QuoteString(t.text);
      case Tok::kBind: return ":" + t.text;
      case Tok::kQuoted: return QuoteIdent(t.text);
      default: return t.text;
    }
  }

  const std::vector<Token>& t_;
  std::vector<size_t> match_;
  Resolver& res_;
  Translation tr_;
  std::vector<ColumnInfo> columns_;  // of the DML target
};

}  // namespace

Hint LeadingHint(const Token& first) {
  return first.kind == Tok::kIdent ? FunctionHint(first.text) : Hint::kUnknown;
}

Translation Translate(const std::vector<Token>& toks, size_t begin, size_t end, Resolver& res) {
  Translator tr(toks, res);
  return tr.Statement(begin, end);
}

std::string TranslateExpression(const std::vector<Token>& toks, size_t begin, size_t end,
                                Resolver& res) {
  Translator tr(toks, res);
  return tr.Expression(begin, end);
}

}  // namespace kavo::ocisqlite
