#include "lexer.h"

#include <cctype>

#include "errors.h"

namespace kavo::ocisqlite {

namespace {

bool IdentStart(unsigned char c) { return std::isalpha(c) || c >= 0x80; }
bool IdentChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c >= 0x80; }

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

}  // namespace

std::vector<Token> Lex(std::string_view s) {
  std::vector<Token> out;
  size_t i = 0;
  int depth = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (std::isspace(c)) { ++i; continue; }
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
    Token t;
    t.pos = i;
    if (IdentStart(c)) {
      size_t b = i;
      while (i < s.size() && IdentChar(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = Tok::kIdent;
      CheckName(s.substr(b, i - b), b);
      for (size_t k = b; k < i; ++k)
        t.text += static_cast<char>(std::toupper(static_cast<unsigned char>(s[k])));
    } else if (c == '"') {
      t.kind = Tok::kQuoted;
      t.text = QuotedName(s, i, &i, t.pos);
    } else if (c == '\'') {
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
    } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      size_t b = i;
      while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
      if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t k = i + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
          i = k;
          while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        }
      }
      t.kind = Tok::kNumber;
      t.text = std::string(s.substr(b, i - b));
    } else if (c == ':' && i + 1 < s.size() &&
               (IdentStart(static_cast<unsigned char>(s[i + 1])) || std::isdigit(static_cast<unsigned char>(s[i + 1])) || s[i + 1] == '"')) {
      ++i;
      t.kind = Tok::kBind;
      if (s[i] == '"') {
        t.text = QuotedName(s, i, &i, t.pos);
      } else {
        while (i < s.size() && IdentChar(static_cast<unsigned char>(s[i])))
          t.text += static_cast<char>(std::toupper(static_cast<unsigned char>(s[i++])));
        CheckName(t.text, t.pos);
      }
    } else {
      static const char* two[] = {"||", "<=", ">=", "<>", "!=", "^=", ":=", "=>", ".."};
      t.kind = Tok::kSymbol;
      for (const char* op : two)
        if (s.substr(i, 2) == op) t.text.assign(op, 2);
      if (t.text.empty()) {
        if (std::string_view("(),.;=<>+-*/%@[]").find(static_cast<char>(c)) == std::string_view::npos) {
          OraError e = MakeError(911);
          e.set_offset(static_cast<int>(i));
          throw e;
        }
        t.text = std::string(1, static_cast<char>(c));
      }
      if (t.text == "(" && ++depth > kMaxNesting) throw ErrorAt(600, i, NestingLimitText());
      if (t.text == ")" && depth > 0) --depth;
      i += t.text.size();
    }
    t.len = i - t.pos;
    out.push_back(std::move(t));
  }
  Token end;
  end.pos = s.size();
  out.push_back(end);
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
