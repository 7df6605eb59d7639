#include "lexer.h"

#include <cctype>

#include "errors.h"

namespace kavo::ocisqlite {

namespace {

// The C library's classification and upper-casing of the locale in use, read
// from its tables once per text instead of through a call per character.
class CharClass {
 public:
#ifdef __GLIBC__
  CharClass() : table_(*__ctype_b_loc()), upper_(*__ctype_toupper_loc()) {}
  bool Space(unsigned char c) const { return (table_[c] & _ISspace) != 0; }
  bool Alpha(unsigned char c) const { return (table_[c] & _ISalpha) != 0; }
  bool Alnum(unsigned char c) const { return (table_[c] & _ISalnum) != 0; }
  bool Digit(unsigned char c) const { return (table_[c] & _ISdigit) != 0; }
  char Upper(unsigned char c) const { return static_cast<char>(upper_[c]); }
#else
  bool Space(unsigned char c) const { return std::isspace(c); }
  bool Alpha(unsigned char c) const { return std::isalpha(c); }
  bool Alnum(unsigned char c) const { return std::isalnum(c); }
  bool Digit(unsigned char c) const { return std::isdigit(c); }
  char Upper(unsigned char c) const { return static_cast<char>(std::toupper(c)); }
#endif
  bool IdentStart(unsigned char c) const { return Alpha(c) || c >= 0x80; }
  bool IdentChar(unsigned char c) const {
    return Alnum(c) || c == '_' || c == '$' || c == '#' || c >= 0x80;
  }

#ifdef __GLIBC__
 private:
  const unsigned short* table_;
  const int32_t* upper_;
#endif
};

// Oracle's limit for names, in bytes (before 12.2, and in what clients expect).
constexpr size_t kMaxNameBytes = 30;
OraError ErrorAt(int code, size_t pos, const std::string& arg = {}) {
  OraError e = MakeError(code, arg);
  e.set_offset(static_cast<int>(pos));
  return e;
}

// A name's length, checked as Oracle checks it.
void CheckName(std::string_view name, size_t pos) {
  if (name.size() > kMaxNameBytes) throw ErrorAt(972, pos);
}

// The text between double quotes starting at open; i is left after the closing quote.
std::string QuotedName(std::string_view s, size_t open, size_t* i, size_t token_pos) {
  size_t end = s.find('"', open + 1);
  if (end == std::string_view::npos) throw ErrorAt(1740, token_pos);
  std::string_view name = s.substr(open + 1, end - open - 1);
  size_t nul = name.find('\0');
  if (nul != std::string_view::npos) throw ErrorAt(911, open + 1 + nul);
  if (name.empty()) throw ErrorAt(1741, token_pos);
  CheckName(name, token_pos);
  *i = end + 1;
  return std::string(name);
}

// Upper-cases s[b, e) into text, as unquoted names are held.
void UpperName(const CharClass& cc, std::string_view s, size_t b, size_t e, std::string& text) {
  text.resize(e - b);
  for (size_t k = b; k < e; ++k) text[k - b] = cc.Upper(static_cast<unsigned char>(s[k]));
}

// A '...' literal from its opening quote; '' stands for one quote.
void LexString(std::string_view s, size_t& i, Token& t) {
  t.kind = Tok::kString;
  ++i;
  for (;;) {
    if (i >= s.size()) {
      throw At(MakeError(1756), t);
    }
    if (s[i] == '\'') {
      if (i + 1 < s.size() && s[i + 1] == '\'') { t.text += '\''; i += 2; continue; }
      ++i;
      break;
    }
    if (s[i] == '\0') throw ErrorAt(911, i);
    t.text += s[i++];
  }
}

// Digits and points, then an exponent only if digits follow its E.
void LexNumber(const CharClass& cc, std::string_view s, size_t& i, Token& t) {
  size_t b = i;
  while (i < s.size() && (cc.Digit(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t k = i + 1;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
    if (k < s.size() && cc.Digit(static_cast<unsigned char>(s[k]))) {
      i = k;
      while (i < s.size() && cc.Digit(static_cast<unsigned char>(s[i]))) ++i;
    }
  }
  t.kind = Tok::kNumber;
  t.text.assign(s.data() + b, i - b);
}

// :name, :"name" or :1, from the colon.
void LexBind(const CharClass& cc, std::string_view s, size_t& i, Token& t) {
  ++i;
  t.kind = Tok::kBind;
  if (s[i] == '"') {
    t.text = QuotedName(s, i, &i, t.pos);
  } else {
    size_t b = i;
    while (i < s.size() && cc.IdentChar(static_cast<unsigned char>(s[i]))) ++i;
    UpperName(cc, s, b, i, t.text);
    CheckName(t.text, t.pos);
  }
}

// An operator or punctuation; depth counts the open parentheses.
void LexSymbol(std::string_view s, size_t& i, Token& t, int& depth) {
  static const char* two[] = {"||", "<=", ">=", "<>", "!=", "^=", ":=", "=>", ".."};
  const unsigned char c = static_cast<unsigned char>(s[i]);
  t.kind = Tok::kSymbol;
  if (i + 1 < s.size())
    for (const char* op : two)
      if (s[i] == op[0] && s[i + 1] == op[1]) t.text.assign(op, 2);
  if (t.text.empty()) {
    if (std::string_view("(),.;=<>+-*/%@[]").find(static_cast<char>(c)) == std::string_view::npos) {
      OraError e = MakeError(911);
      e.set_offset(static_cast<int>(i));
      throw e;
    }
    t.text.assign(1, static_cast<char>(c));
  }
  if (t.text == "(" && ++depth > kMaxNesting) throw ErrorAt(600, i, NestingLimitText());
  if (t.text == ")" && depth > 0) --depth;
  i += t.text.size();
}

}  // namespace

std::vector<Token> Lex(std::string_view s) {
  const CharClass cc;
  std::vector<Token> out;
  // About one token in five bytes of SQL; a longer text grows the list once or twice.
  out.reserve(s.size() / 5 + 2);
  size_t i = 0;
  int depth = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (cc.Space(c)) { ++i; continue; }
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      size_t end = s.find("*/", i + 2);
      if (end == std::string_view::npos) throw ErrorAt(1742, i);
      i = end + 2;
      continue;
    }
    Token& t = out.emplace_back();
    t.pos = i;
    if (cc.IdentStart(c)) {
      size_t b = i;
      while (i < s.size() && cc.IdentChar(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = Tok::kIdent;
      CheckName(s.substr(b, i - b), b);
      UpperName(cc, s, b, i, t.text);
    } else if (c == '"') {
      t.kind = Tok::kQuoted;
      t.text = QuotedName(s, i, &i, t.pos);
    } else if (c == '\'') {
      LexString(s, i, t);
    } else if (cc.Digit(c) || (c == '.' && i + 1 < s.size() && cc.Digit(static_cast<unsigned char>(s[i + 1])))) {
      LexNumber(cc, s, i, t);
    } else if (c == ':' && i + 1 < s.size() &&
               (cc.IdentStart(static_cast<unsigned char>(s[i + 1])) || cc.Digit(static_cast<unsigned char>(s[i + 1])) || s[i + 1] == '"')) {
      LexBind(cc, s, i, t);
    } else {
      LexSymbol(s, i, t, depth);
    }
    t.len = i - t.pos;
  }
  Token& end = out.emplace_back();
  end.pos = s.size();
  return out;
}

std::vector<size_t> MatchParens(const std::vector<Token>& toks) {
  std::vector<size_t> match(toks.size(), toks.size() - 1);
  std::vector<size_t> stack;
  for (size_t i = 0; i < toks.size(); ++i) {
    if (toks[i].IsSym("(")) stack.push_back(i);
    else if (toks[i].IsSym(")") && !stack.empty()) {
      match[stack.back()] = i;
      match[i] = stack.back();
      stack.pop_back();
    }
  }
  return match;
}

std::string QuoteIdent(std::string_view name) {
  std::string r = "\"";
  for (char c : name) r += c == '"' ? std::string("\"\"") : std::string(1, c);
  return r + "\"";
}

std::string QuoteString(std::string_view text) {
  std::string r = "'";
  for (char c : text) r += c == '\'' ? std::string("''") : std::string(1, c);
  return r + "'";
}

std::string NestingLimitText() { return "nested more than " + std::to_string(kMaxNesting) + " levels"; }

OraError At(OraError e, const Token& t) {
  e.set_offset(static_cast<int>(t.pos));
  return e;
}

std::string AsciiUpper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

std::string ClientName(std::string_view s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return std::string(s.substr(1, s.size() - 2));
  return AsciiUpper(s);
}

}  // namespace kavo::ocisqlite
