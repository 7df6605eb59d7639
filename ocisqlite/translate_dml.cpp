#include "translator.h"

#include <algorithm>

#include "errors.h"

namespace kavo::ocisqlite {

void Translator::Returning(size_t b, size_t e, Scope& scope) {
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

size_t Translator::Target(size_t i, size_t e, Scope& scope) {
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
std::string Translator::Converter(const std::string& column) const {
  for (const ColumnInfo& c : columns_)
    if (c.name == column) {
      if (c.type == "DATE") return "ora_date_in(";
      if (c.type.rfind("TIMESTAMP", 0) == 0) return "ora_timestamp_in(" + std::to_string(c.scale) + ",";
      if (c.type == "NUMBER" && c.scale >= 0) return "ora_number_in(" + std::to_string(c.scale) + ",";
      if (c.type == "NUMBER") return "ora_number_in(-1,";
      if (c.type == "RAW" || c.type == "LONG RAW" || c.type == "BLOB") return "ora_raw_in(";
      return {};
    }
  return {};
}

void Translator::Value(size_t b, size_t e, const std::string& column, Scope& scope) {
  if (b >= e) throw At(MakeError(936), t_[b]);
  std::string conv = Converter(column);
  if (!conv.empty()) Emit(conv, t_[b].pos);
  Expr(b, e, scope, nullptr);
  if (!conv.empty()) Emit(")", t_[e - 1].pos);
}

void Translator::Insert(size_t b, size_t e) {
  if (!t_[b + 1].Is("INTO")) throw At(MakeError(925), t_[b + 1]);
  Scope scope;
  Emit("INSERT INTO", t_[b].pos);
  size_t i = Target(b + 2, e, scope);
  columns_ = res_.Columns(tr_.target);
  std::vector<std::string> names;
  for (const auto& c : columns_) names.push_back(c.name);
  size_t ret = Find(i, e, {"RETURNING", "RETURN"});
  if (t_[i].IsSym("(")) {
    if (t_[match_[i]].kind == Tok::kEnd) throw At(MakeError(907), t_[match_[i]]);
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

void Translator::Update(size_t b, size_t e) {
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

void Translator::Delete(size_t b, size_t e) {
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

void Translator::Implicit() {
  tr_.implicit_returning = true;
  Emit("RETURNING rowid", t_.back().pos);
}

}  // namespace kavo::ocisqlite
