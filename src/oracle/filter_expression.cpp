#include "oracle/filter_expression.h"

#include <algorithm>
#include <cmath>

#include "rtl/float_text.h"
#include "rtl/format.h"
#include "rtl/format_settings.h"
#include "rtl/str_to_date_time.h"

namespace kavo {

String ExprTypeName(TExprType type) {
  switch (type) {
    case ttDate: return u"Date";
    case ttString: return u"String";
    case ttFloat: return u"Float";
    case ttInteger: return u"Integer";
    case ttBoolean: return u"Boolean";
  }
  return u"?";
}

String OperatorName(TOperator op) {
  static const Char* const kNames[] = {
      u"opNot", u"opMult", u"opDivide", u"opDiv", u"opMod", u"opAnd",
      u"opShl", u"opShr", u"opPlus", u"opMinus", u"opOr", u"opXor",
      u"opEq", u"opNEQ", u"opLT", u"opGT", u"opLTE", u"opGTE"};
  return kNames[op];
}

String OperatorText(TOperator op) {
  static const Char* const kTexts[] = {
      u"NOT", u"*", u"/", u"DIV", u"MOD", u"AND", u"SHL", u"SHR", u"+",
      u"-", u"OR", u"XOR", u"=", u"<>", u"<", u">", u"<=", u">="};
  return kTexts[op];
}

TExprType CombinedType(TExprType a, TExprType b) { return std::min(a, b); }

int32_t CheckedInt32(double value, StringView function) {
  // Compared as doubles before any cast: a cast of a value outside the
  // target range is undefined.
  if (!std::isfinite(value) || value < -2147483648.0 || value >= 2147483648.0)
    throw EExpression(Format(u"Invalid parameter to %s", {String(function)}));
  return static_cast<int32_t>(value);
}

void TExpression::SetDepthOver(std::initializer_list<const TExpression*> children) {
  int deepest = 0;
  for (const TExpression* child : children)
    if (child) deepest = std::max(deepest, child->depth_);
  if (deepest >= kMaxExpressionDepth) throw EExpression(u"Expression nested too deeply");
  depth_ = deepest + 1;
}

void TExpression::SetDepthOver(const std::vector<std::unique_ptr<TExpression>>& children) {
  int deepest = 0;
  for (const auto& child : children)
    if (child) deepest = std::max(deepest, child->depth_);
  if (deepest >= kMaxExpressionDepth) throw EExpression(u"Expression nested too deeply");
  depth_ = deepest + 1;
}

void TExpression::CannotRead(StringView as) {
  throw EExpression(Format(u"Cannot read %s as %s", {ExprTypeName(GetExprType()), String(as)}));
}

TDateTime TExpression::GetAsDate() {
  switch (GetExprType()) {
    case ttString: {
      String text = GetAsString();
      TDateTime value;
      if (!TryStrToDateTime(text, value, FormatSettings()))
        throw EExpression(Format(u"'%s' is not a valid date and time", {text}));
      return value;
    }
    case ttFloat: return GetAsFloat();
    case ttInteger: return GetAsInteger();
    default: CannotRead(u"Date");
  }
}

String TExpression::GetAsString() {
  switch (GetExprType()) {
    case ttDate: {
      TDateTime value = GetAsDate();
      try {
        return DateTimeToStr(value, FormatSettings());
      } catch (const EConvertError& e) {  // a number too large to be a date
        throw EExpression(e.Message());
      }
    }
    case ttFloat: return FloatToStr(GetAsFloat(), FormatSettings());
    case ttInteger: return IntToStr(GetAsInteger());
    case ttBoolean: return GetAsBoolean() ? u"TRUE" : u"FALSE";
    default: CannotRead(u"String");
  }
}

double TExpression::GetAsFloat() {
  switch (GetExprType()) {
    case ttDate: return GetAsDate();
    case ttInteger: return GetAsInteger();
    case ttBoolean: return GetAsBoolean() ? 1 : 0;
    default: CannotRead(u"Float");
  }
}

int32_t TExpression::GetAsInteger() {
  switch (GetExprType()) {
    case ttDate: return CheckedInt32(std::trunc(GetAsDate()), u"INTEGER");
    case ttBoolean: return GetAsBoolean() ? 1 : 0;
    default: CannotRead(u"integer");
  }
}

bool TExpression::GetAsBoolean() { CannotRead(u"boolean"); }

}  // namespace kavo
