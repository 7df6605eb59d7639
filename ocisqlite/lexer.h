// Tokens of Oracle SQL and PL/SQL text, with their byte offsets in the source
// so that errors can point at the place Oracle would report.
#ifndef OCISQLITE_LEXER_H
#define OCISQLITE_LEXER_H

#include <string>
#include <string_view>
#include <vector>

#include "errors.h"

namespace kavo::ocisqlite {

enum class Tok { kIdent, kQuoted, kString, kNumber, kBind, kSymbol, kEnd };

struct Token {
  Tok kind = Tok::kEnd;
  std::string text;  // identifiers upper-cased; quotes and colons removed
  size_t pos = 0;    // byte offset in the source
  size_t len = 0;

  bool Is(std::string_view word) const { return kind == Tok::kIdent && text == word; }
  bool IsSym(std::string_view s) const { return kind == Tok::kSymbol && text == s; }
};

// Splits the text; the list ends with a kEnd token. Comments are dropped.
// Throws OraError with Oracle's number for what cannot be a token: 1756 for an
// unterminated string, 1740 for an unterminated quoted name, 1741 for an empty
// one, 1742 for an unterminated comment, 972 for a name over 30 bytes, 911 for a
// stray character or a NUL in a literal; and 600 for parentheses nested more
// than 255 deep, which no parser here follows.
std::vector<Token> Lex(std::string_view sql);

// Index of the parenthesis closing the one at `open`, or the end token index.
std::vector<size_t> MatchParens(const std::vector<Token>& toks);

// Parentheses, and PL/SQL blocks and IFs, nest no deeper: the parsers recurse
// once per level, and SQLite follows far fewer. Deeper text fails with ORA-00600
// and NestingLimitText() as its argument.
constexpr int kMaxNesting = 255;
std::string NestingLimitText();

// `e` pointing at the token, as Oracle reports the place of a parse error.
OraError At(OraError e, const Token& t);

// ASCII letters upper-cased, as Oracle reads keywords and unquoted names.
std::string AsciiUpper(std::string_view s);
// A name as a client passes it: in double quotes it is taken as written,
// else upper-cased.
std::string ClientName(std::string_view s);

std::string QuoteIdent(std::string_view name);
std::string QuoteString(std::string_view text);

}  // namespace kavo::ocisqlite

#endif
