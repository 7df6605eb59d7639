#include "oracle/filter_column.h"

namespace kavo {

TColumnExpression::TColumnExpression(TDataSet& dataset, String name)
    : dataset_(dataset), name_(std::move(name)), is_null_name_(name_ == u"NULL") {}

TField& TColumnExpression::Field() {
  if (!field_) field_ = &dataset_.FieldByName(name_);
  return *field_;
}

TExprType TColumnExpression::GetExprType() {
  if (is_null_name_) return ttString;
  switch (Field().DataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint: return ttInteger;
    case ftBoolean: return ttBoolean;
    case ftFloat:
    case ftCurrency:
    case ftBCD: return ttFloat;
    case ftDate:
    case ftTime:
    case ftDateTime: return ttDate;
    default: return ttString;
  }
}

bool TColumnExpression::GetIsNull() { return is_null_name_ || Field().IsNull(); }

TDateTime TColumnExpression::GetAsDate() {
  if (GetExprType() != ttDate) return TExpression::GetAsDate();
  return Field().AsDateTime();
}

String TColumnExpression::GetAsString() {
  if (is_null_name_) return String();
  if (GetExprType() != ttString) return TExpression::GetAsString();
  return Field().AsString();
}

double TColumnExpression::GetAsFloat() {
  if (GetExprType() != ttFloat) return TExpression::GetAsFloat();
  return Field().AsFloat();
}

int32_t TColumnExpression::GetAsInteger() {
  if (GetExprType() != ttInteger) return TExpression::GetAsInteger();
  return Field().AsInteger();
}

bool TColumnExpression::GetAsBoolean() {
  if (GetExprType() != ttBoolean) return TExpression::GetAsBoolean();
  return Field().AsBoolean();
}

TIdentifierFunction GetColumnExpr(TDataSet& dataset) {
  return [&dataset](const String& name, TExpressionList&) -> TExpressionPtr {
    return std::make_unique<TColumnExpression>(dataset, name);
  };
}

}  // namespace kavo
