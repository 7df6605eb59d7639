#include "lexer.h"

#include <cctype>

#include "errors.h"

namespace kavo::ocisqlite {

namespace {

bool IdentStart(unsigned char c) { return std::isalpha(c) || c >= 0x80; }
bool IdentChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c >= 0x80; }

}  // namespace

std::vector<Token> Lex(std::string_view s) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (std::isspace(c)) { ++i; continue; }
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      size_t end = s.find("*/", i + 2);
      i = end == std::string_view::npos ? s.size() : end + 2;
      continue;
    }
    Token t;
    t.pos = i;
    if (IdentStart(c)) {
      size_t b = i;
      while (i < s.size() && IdentChar(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = Tok::kIdent;
      for (size_t k = b; k < i; ++k)
        t.text += static_cast<char>(std::toupper(static_cast<unsigned char>(s[k])));
    } else if (c == '"') {
      size_t end = s.find('"', i + 1);
      if (end == std::string_view::npos) throw MakeError(1756);
      t.kind = Tok::kQuoted;
      t.text = std::string(s.substr(i + 1, end - i - 1));
      i = end + 1;
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
        size_t end = s.find('"', i + 1);
        if (end == std::string_view::npos) throw MakeError(1756);
        t.text = std::string(s.substr(i + 1, end - i - 1));
        i = end + 1;
      } else {
        while (i < s.size() && IdentChar(static_cast<unsigned char>(s[i])))
          t.text += static_cast<char>(std::toupper(static_cast<unsigned char>(s[i++])));
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
