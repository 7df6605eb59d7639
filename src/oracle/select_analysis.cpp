#include "oracle/select_analysis.h"

#include <vector>

#include "oracle/sql_scan.h"

namespace kavo {

namespace {

bool IsLetterOrDigit(Char c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c > 127;
}

// Characters of a name: letters, digits, above 127, " # $ . @ _.
bool IsNameChar(Char c) {
  return IsLetterOrDigit(c) || c == u'"' || c == u'#' || c == u'$' || c == u'.' || c == u'@' ||
         c == u'_';
}

bool IsWhite(Char c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Where each character stands: inside a literal, inside a double-quoted
// name, and at which parenthesis depth (parentheses inside either do not
// count). A quote of the other kind inside either is only a character.
struct Nesting {
  std::vector<bool> quoted;
  std::vector<bool> named;
  std::vector<int> depth;
};

Nesting NestingOf(const String& s) {
  Nesting n;
  n.quoted.resize(s.size());
  n.named.resize(s.size());
  n.depth.resize(s.size());
  Char quote = 0;
  int depth = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    Char c = s[i];
    if (quote != 0) {
      (quote == u'"' ? n.named : n.quoted)[i] = c != quote;
      n.depth[i] = depth;
      if (c == quote) quote = 0;
      continue;
    }
    if (c == u'\'' || c == u'"') {
      quote = c;
    } else if (c == u')' && depth > 0) {
      --depth;
    }
    n.depth[i] = depth;
    if (c == u'(') ++depth;
  }
  return n;
}

// An upper-case copy in which every character inside a literal (and, with
// `mask_names`, inside a double-quoted name) or inside parentheses is "_"
// (the quotes and parentheses themselves stay).
String Masked(const String& s, const Nesting& n, bool mask_names) {
  String out = UpperCase(s);
  for (size_t i = 0; i < s.size(); ++i) {
    bool paren = s[i] == u'(' || s[i] == u')';
    if (n.quoted[i] || (mask_names && n.named[i]) || (n.depth[i] > 0 && !paren)) out[i] = u'_';
  }
  return out;
}

// Every character for which `keep` is false becomes a blank.
template <class Keep>
String Blanked(const String& s, Keep keep) {
  String out = s;
  for (Char& c : out)
    if (!keep(c)) c = u' ';
  return out;
}

// The start of `word` as a whole word in `view` (whose non-word characters
// are blanks), or -1.
int FindWord(const String& view, const String& word) {
  String padded = u" " + view + u" ";
  size_t p = padded.find(u" " + word + u" ");
  return p == String::npos ? -1 : static_cast<int>(p);
}

String Slice(const String& s, size_t from, size_t to) {
  if (from >= s.size() || to <= from) return String();
  return s.substr(from, to - from);
}

String WithoutQuotes(StringView s) {
  String out;
  for (Char c : s)
    if (c != u'"') out += c;
  return out;
}

bool IsCollectionWord(const String& upper_word) {
  return upper_word == u"TABLE" || upper_word == u"THE";
}

// The parenthesised expression starting at the first "(" at or after `from`,
// parentheses inside literals ignored; empty when there is none.
String ParenthesisedAt(const String& s, size_t from) {
  while (from < s.size() && IsWhite(s[from])) ++from;
  if (from >= s.size() || s[from] != u'(') return String();
  int depth = 0;
  Char quote = 0;
  for (size_t i = from; i < s.size(); ++i) {
    Char c = s[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == u'\'' || c == u'"') {
      quote = c;
    } else if (c == u'(') {
      ++depth;
    } else if (c == u')' && --depth == 0) {
      return s.substr(from, i - from + 1);
    }
  }
  return s.substr(from);
}

}  // namespace

TSelectParts SplitSelect(const String& sql, bool keep_hints) {
  String clean = RemoveSQLComment(sql, keep_hints);
  String view = Blanked(Masked(clean, NestingOf(clean), true), IsNameChar);
  TSelectParts parts;
  bool grouped = FindWord(view, u"GROUP") >= 0;
  parts.WhereWord = grouped ? u"having" : u"where";
  int where = FindWord(view, grouped ? u"HAVING" : u"WHERE");
  int tail = FindWord(view, u"ORDER");
  if (tail < 0) tail = FindWord(view, u"FOR");
  size_t tail_pos = tail < 0 ? clean.size() : static_cast<size_t>(tail);
  parts.HasWhere = where >= 0 && static_cast<size_t>(where) < tail_pos;
  if (parts.HasWhere) {
    parts.BeforeWhere = Trim(Slice(clean, 0, static_cast<size_t>(where)));
    parts.WhereClause = Trim(Slice(clean, static_cast<size_t>(where) + parts.WhereWord.size(), tail_pos));
  } else {
    parts.BeforeWhere = Trim(Slice(clean, 0, tail_pos));
  }
  parts.Tail = Trim(Slice(clean, tail_pos, clean.size()));
  return parts;
}

String UpdatingTableFromSQL(const String& sql) {
  String clean = RemoveSQLComment(sql, false);
  String view = Blanked(UpperCase(clean), [](Char c) { return IsNameChar(c) || c == u'('; });
  Nesting nesting = NestingOf(clean);
  size_t start = 0;
  for (;;) {
    int base = start < clean.size() ? nesting.depth[start] : 0;
    // " FROM " (else " FROM(") at this level, outside literals.
    auto find = [&](const String& pattern) -> size_t {
      for (size_t p = view.find(pattern, start); p != String::npos; p = view.find(pattern, p + 1)) {
        size_t f = p + 1;
        if (nesting.depth[f] == base && !nesting.quoted[f] && !nesting.named[f]) return f;
      }
      return String::npos;
    };
    size_t from = find(u" FROM ");
    if (from == String::npos) from = find(u" FROM(");
    if (from == String::npos) return String();
    size_t p = from + 4;
    while (p < view.size() && view[p] == u' ') ++p;
    if (p < view.size() && view[p] == u'(') {
      start = p + 1;  // an inline view: its own FROM names the table
      continue;
    }
    size_t end = p;
    while (end < view.size() && IsNameChar(view[end])) ++end;
    String word = view.substr(p, end - p);
    if (IsCollectionWord(word)) return word + ParenthesisedAt(clean, end);
    return WithoutQuotes(word);
  }
}

String UpdatingAliasFromSQL(const String& sql, const String& table) {
  String clean = RemoveSQLComment(sql, false);
  Nesting nesting = NestingOf(clean);
  String masked = Masked(clean, nesting, false);
  String view = Blanked(masked, [](Char c) {
    return IsNameChar(c) || c == u'\'' || c == u'(' || c == u')';
  });
  // The first FROM that is not part of a quoted name.
  size_t from = view.find(u" FROM ");
  while (from != String::npos && nesting.named[from + 1]) from = view.find(u" FROM ", from + 1);
  if (from == String::npos) return table;
  size_t p = from + 6;
  while (p < view.size() && IsWhite(view[p])) ++p;
  if (p < view.size() && view[p] == u'(') {
    size_t close = view.find(u')', p);
    if (close == String::npos) return table;
    p = close + 1;
  } else {
    // The table, compared without regard to case or double quotes.
    String wanted = UpperCase(WithoutQuotes(table));
    String stripped;
    std::vector<size_t> origin;
    for (size_t i = p; i < view.size(); ++i) {
      if (view[i] == u'"') continue;
      stripped += view[i];
      origin.push_back(i);
    }
    size_t at = wanted.empty() ? String::npos : stripped.find(wanted);
    if (at == String::npos) return table;
    p = origin[at];
  }
  // A comma ends the table's entry: the next name is another table.
  while (p < view.size() && !IsWhite(view[p])) ++p;
  while (p < view.size() && IsWhite(view[p]) && masked[p] != u',') ++p;
  if (p >= view.size() || masked[p] == u',') return table;
  size_t end = p;
  while (end < view.size() && IsNameChar(view[end])) ++end;
  String word = view.substr(p, end - p);
  static const Char* const kNotAlias[] = {u"WHERE", u"ORDER", u"GROUP", u"FOR", u"START", u"CONNECT"};
  if (word.empty()) return table;
  for (const Char* w : kNotAlias)
    if (word == w) return table;
  return clean.substr(p, end - p);
}

String NormaliseTableName(const String& name) {
  String trimmed = Trim(name);
  String upper = UpperCase(trimmed);
  size_t i = 0;
  while (i < upper.size() && IsNameChar(upper[i])) ++i;
  if (IsCollectionWord(upper.substr(0, i))) {
    size_t k = i;
    while (k < upper.size() && IsWhite(upper[k])) ++k;
    if (k < upper.size() && upper[k] == u'(') return trimmed;
  }
  return WithoutQuotes(upper);
}

}  // namespace kavo
