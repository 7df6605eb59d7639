// Parsing a filter text into an expression tree.
//
// Tokens: characters 1 to 32 are blanks between tokens. A name is a letter
// or underscore followed by letters, digits and underscores, upper-cased
// (ASCII) before it is looked up; the words NOT DIV MOD AND SHL SHR OR XOR
// are operators, TRUE and FALSE Boolean literals. "[any text]" always names
// a field, as written. 'text' is a string ('' is one quote). A number is a
// digit, digits, at most one decimal separator (the process-wide settings'
// one) and at most one exponent (E or e, an optional "-", digits), at most
// 28 characters; without separator and exponent and up to 2147483647 it is
// an Integer, else a Float. There are no negative literals.
//
// Grammar, loosest first; an expression or a parameter ends at the end of
// the text, ")" or ",":
//   expression  = simple [ ("=" | "<>" | "<" | ">" | "<=" | ">=") simple ]
//   simple      = term { ("+" | "-" | OR | XOR) term }
//   term        = factor { ("*" | "/" | DIV | MOD | AND | SHL | SHR) factor }
//   factor      = ("+" | "-" | NOT) factor | [field] | string | number
//               | "(" expression ")" | TRUE | FALSE | name [ "(" params ")" ]
// so two comparisons joined by AND need parentheses round each. A name is
// IF, a cast, a math or string function, or else whatever the resolver
// makes of it ("Unknown Identifier %s" when it makes nothing).
//
// Where the decimal separator is a comma, a comma inside a function's
// parameter list separates parameters (POWER(2,3) has two); elsewhere it
// belongs to the number. A function's empty parameter list, an empty
// parameter and a cast without a parameter are refused. Nesting deeper than
// kMaxExpressionDepth is refused ("Expression nested too deeply").
#ifndef KAVO_ORACLE_FILTER_PARSER_H_
#define KAVO_ORACLE_FILTER_PARSER_H_

#include <functional>

#include "oracle/filter_expression.h"
#include "rtl/ustring.h"

namespace kavo {

enum TFilterOption : unsigned {
  foCaseInsensitive = 1u << 0,   // string comparisons ignore case
  foNoPartialCompare = 1u << 1,  // "=" and "<>" compare texts exactly
};
using TFilterOptions = unsigned;

// Turns a name (and the parameters written after it, possibly none) into an
// expression; null when it does not know the name.
using TIdentifierFunction =
    std::function<TExpressionPtr(const String& name, TExpressionList& params)>;

// The tree for `text`, or null when the text holds only blanks. Every node
// carries the comparison options. Raises EExpression for a text that is not
// a valid filter, and whatever the resolver raises.
TExpressionPtr CreateExpression(StringView text, TFilterOptions options,
                                const TIdentifierFunction& resolver);

}  // namespace kavo

#endif  // KAVO_ORACLE_FILTER_PARSER_H_
