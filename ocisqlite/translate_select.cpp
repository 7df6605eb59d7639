#include "translator.h"

#include <algorithm>

#include "errors.h"

namespace kavo::ocisqlite {

const std::set<std::string>& AliasStop() {
  static const std::set<std::string> s = {
      "WHERE", "GROUP",   "ORDER", "HAVING", "CONNECT", "START",    "UNION",  "MINUS",
      "INTERSECT", "FOR", "JOIN",  "INNER",  "LEFT",    "RIGHT",    "FULL",   "CROSS",
      "ON",    "NATURAL", "SET",   "VALUES", "RETURNING", "RETURN", "USING",  "OUTER",
      "SELECT", "FROM",   "WITH",  "LIMIT",  "OFFSET",  "FETCH"};
  return s;
}

void Translator::Query(size_t b, size_t e, Scope* parent, bool top) {
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

void Translator::SimpleSelect(size_t b, size_t e, Scope* parent, bool top) {
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

void Translator::SelectList(size_t b, size_t e, Scope& scope, bool top) {
  size_t item = b, count = 0;
  bool first = true;
  for (size_t i = b; i <= e; i = i < e ? std::min(Skip(i), e) : e + 1) {
    if (i < e && !t_[i].IsSym(",")) continue;
    if (++count > kMaxColumns) throw At(MakeError(1792), t_[item]);
    if (!first) Emit(",", t_[item - 1].pos);
    first = false;
    Item(item, i, scope, top);
    item = i + 1;
  }
}

void Translator::Item(size_t b, size_t e, Scope& scope, bool top) {
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

// Parses (emit=false: registers tables in scope) or writes the FROM list.
void Translator::FromList(size_t b, size_t e, Scope& scope, bool emit) {
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
size_t Translator::TableRef(size_t i, size_t e, Scope& scope, bool emit) {
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

size_t Translator::ParseObjectName(size_t i, size_t e, ObjectRef* ref) {
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

}  // namespace kavo::ocisqlite
