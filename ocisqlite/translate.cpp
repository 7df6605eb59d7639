#include "translate.h"

#include <algorithm>

#include "errors.h"
#include "translator.h"

namespace kavo::ocisqlite {

size_t Translation::SourceOffset(size_t out_offset) const {
  size_t src = 0;
  for (const auto& [out, s] : map) {
    if (out > out_offset) break;
    src = s;
  }
  return src;
}

Translation Translator::Statement(size_t b, size_t e) {
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

std::string Translator::Expression(size_t b, size_t e) {
  Scope scope;
  Expr(b, e, scope, nullptr);
  return tr_.sql;
}

void Translator::Emit(const std::string& s, size_t src) {
  tr_.map.emplace_back(tr_.sql.size(), src);
  if (!tr_.sql.empty() && !s.empty()) {
    char last = tr_.sql.back();
    if (last != ' ' && last != '(' && s[0] != ')' && s[0] != ',' && s[0] != '.' &&
        last != '.')
      tr_.sql += ' ';
  }
  tr_.sql += s;
}

size_t Translator::Skip(size_t i) const { return t_[i].IsSym("(") ? std::min(match_[i] + 1, t_.size() - 1) : i + 1; }

// First depth-0 token in [b, e) that is one of the words, or e.
size_t Translator::Find(size_t b, size_t e, std::initializer_list<const char*> words) const {
  for (size_t i = b; i < e; i = Skip(i))
    for (const char* w : words)
      if (t_[i].Is(w)) return i;
  return e;
}

bool Translator::Lookup(Scope& scope, const std::string& alias, ObjectRef* out) {
  for (Scope* s = &scope; s; s = s->parent) {
    auto it = s->aliases.find(alias);
    if (it != s->aliases.end()) { *out = it->second; return true; }
  }
  return false;
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
