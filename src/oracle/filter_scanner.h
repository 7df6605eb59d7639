// The filter language's tokens, read from a position in the text.
#ifndef KAVO_ORACLE_FILTER_SCANNER_H_
#define KAVO_ORACLE_FILTER_SCANNER_H_

#include "oracle/filter_expression.h"
#include "rtl/ustring.h"

namespace kavo {

class TFilterScanner {
 public:
  explicit TFilterScanner(StringView text) : text_(text) {}

  size_t Pos() const { return pos_; }
  void SetPos(size_t pos) { pos_ = pos; }
  bool AtEndOfText() const { return pos_ >= text_.size(); }
  // The current character; 0 at the end of the text.
  Char Peek() const { return AtEndOfText() ? Char(0) : text_[pos_]; }
  void Skip() { ++pos_; }
  void SkipBlanks();
  // The end of an expression or parameter: end of text, ")" or ",".
  bool AtEndOfExpression() const;

  static bool IsNameStart(Char c);
  static bool IsDigit(Char c) { return c >= u'0' && c <= u'9'; }

  // At a name start: the name, ASCII letters upper-cased.
  String ReadName();
  // At "[": the name as written ("Unterminated fieldname",
  // "Fieldname too long").
  String ReadFieldName();
  // At "'": the text ("Unterminated string", "String too long").
  String ReadString();
  // At a digit: an Integer or Float literal ("Bad numeric format"). A comma
  // is taken as the decimal separator only when `comma_separates` is false.
  TExpressionPtr ReadNumber(Char decimal_separator, bool comma_separates);

 private:
  StringView text_;
  size_t pos_ = 0;
};

}  // namespace kavo

#endif  // KAVO_ORACLE_FILTER_SCANNER_H_
