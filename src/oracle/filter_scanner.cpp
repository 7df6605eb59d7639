#include "oracle/filter_scanner.h"

#include "rtl/float_text.h"
#include "rtl/format_settings.h"

namespace kavo {
namespace {

constexpr size_t kMaxNumberLength = 28;

[[noreturn]] void BadNumber() { throw EExpression(u"Bad numeric format"); }

}  // namespace

void TFilterScanner::SkipBlanks() {
  while (!AtEndOfText() && text_[pos_] >= 1 && text_[pos_] <= 32) ++pos_;
}

bool TFilterScanner::AtEndOfExpression() const {
  return AtEndOfText() || text_[pos_] == u')' || text_[pos_] == u',';
}

bool TFilterScanner::IsNameStart(Char c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
}

String TFilterScanner::ReadName() {
  String name;
  while (!AtEndOfText() && (IsNameStart(text_[pos_]) || IsDigit(text_[pos_]))) {
    Char c = text_[pos_++];
    name += c >= u'a' && c <= u'z' ? static_cast<Char>(c - 32) : c;
  }
  return name;
}

String TFilterScanner::ReadFieldName() {
  size_t end = text_.find(u']', pos_ + 1);
  if (end == StringView::npos) throw EExpression(u"Unterminated fieldname");
  if (end - pos_ - 1 > static_cast<size_t>(MaxStringLength))
    throw EExpression(u"Fieldname too long");
  String name(text_.substr(pos_ + 1, end - pos_ - 1));
  pos_ = end + 1;
  return name;
}

String TFilterScanner::ReadString() {
  String value;
  ++pos_;
  for (;;) {
    if (AtEndOfText()) throw EExpression(u"Unterminated string");
    Char c = text_[pos_++];
    if (c == u'\'') {
      if (Peek() != u'\'') break;
      ++pos_;
    }
    if (value.size() == static_cast<size_t>(MaxStringLength))
      throw EExpression(u"String too long");
    value += c;
  }
  return value;
}

TExpressionPtr TFilterScanner::ReadNumber(Char decimal_separator, bool comma_separates) {
  size_t start = pos_++;
  bool separator = false, exponent = false;
  for (;;) {
    Char c = Peek();
    if (IsDigit(c)) {
      ++pos_;
    } else if (c == decimal_separator && c != 0 && !(comma_separates && c == u',')) {
      if (separator || exponent) BadNumber();
      separator = true;
      ++pos_;
    } else if (c == u'E' || c == u'e') {
      if (exponent) BadNumber();
      exponent = true;
      ++pos_;
      if (Peek() == u'-') ++pos_;
      if (!IsDigit(Peek())) BadNumber();
    } else {
      break;
    }
  }
  StringView token = text_.substr(start, pos_ - start);
  if (token.size() > kMaxNumberLength) BadNumber();
  if (!separator && !exponent) {
    // Up to 28 digits: compared by length first, so nothing overflows.
    size_t first = token.find_first_not_of(u'0');
    StringView digits = first == StringView::npos ? StringView() : token.substr(first);
    if (digits.size() <= 10) {
      int64_t value = 0;
      for (Char d : digits) value = value * 10 + (d - u'0');
      if (value <= 2147483647)
        return std::make_unique<TIntegerLiteral>(static_cast<int32_t>(value));
    }
  }
  TFormatSettings fs = FormatSettings();
  fs.DecimalSeparator = decimal_separator;
  double value;
  if (!TryStrToFloat(token, value, fs)) BadNumber();
  return std::make_unique<TFloatLiteral>(value);
}

}  // namespace kavo
