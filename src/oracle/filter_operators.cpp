#include "oracle/filter_operators.h"

#include <cstdint>

#include "oracle/filter_wildcard.h"
#include "rtl/format.h"

namespace kavo {
namespace {

bool OneOf(TOperator op, std::initializer_list<TOperator> ops) {
  for (TOperator o : ops)
    if (o == op) return true;
  return false;
}

// The result type of `op` over operands of type `operand`, or the
// incompatibility error.
TExprType ResultType(TOperator op, TExprType operand) {
  switch (operand) {
    case ttDate:
      if (OneOf(op, {opPlus, opMinus})) return ttDate;
      break;
    case ttString:
      if (op == opPlus) return ttString;
      break;
    case ttFloat:
      if (OneOf(op, {opMult, opDivide, opPlus, opMinus})) return ttFloat;
      break;
    case ttInteger:
      if (op == opDivide) return ttFloat;
      if (OneOf(op, {opNot, opMult, opDiv, opMod, opAnd, opOr, opXor, opShl, opShr, opPlus,
                     opMinus}))
        return ttInteger;
      break;
    case ttBoolean:
      if (OneOf(op, {opNot, opAnd, opOr, opXor})) return ttBoolean;
      break;
  }
  throw EExpression(Format(u"Operator %s incompatible with %s",
                           {OperatorName(op), ExprTypeName(operand)}));
}

// Two's complement arithmetic on 32 bits, done on unsigned values so that an
// overflow wraps instead of being undefined.
int32_t Wrap(uint32_t v) { return static_cast<int32_t>(v); }
uint32_t U(int32_t v) { return static_cast<uint32_t>(v); }

int32_t IntegerOp(TOperator op, int32_t l, int32_t r) {
  switch (op) {
    case opMult: return Wrap(U(l) * U(r));
    case opPlus: return Wrap(U(l) + U(r));
    case opMinus: return Wrap(U(l) - U(r));
    case opAnd: return l & r;
    case opOr: return l | r;
    case opXor: return l ^ r;
    case opShl: return Wrap(U(l) << (U(r) & 31u));
    case opShr: return Wrap(U(l) >> (U(r) & 31u));
    case opDiv:
    case opMod:
      if (r == 0 || (r == -1 && l == INT32_MIN)) throw EExpression(u"Division by zero");
      return op == opDiv ? l / r : l % r;
    default: break;
  }
  throw EExpression(Format(u"Internal parser error. Code %d", {5}));
}

[[noreturn]] void Internal13() {
  throw EExpression(Format(u"Internal parser error. Code %d", {13}));
}

}  // namespace

// ---- TUnaryOp -------------------------------------------------------------------

TUnaryOp::TUnaryOp(TOperator op, TExpressionPtr operand) : op_(op), operand_(std::move(operand)) {
  if (!OneOf(op, {opNot, opPlus, opMinus}))
    throw EExpression(Format(u"%s is not simple unary operator", {OperatorName(op)}));
  SetDepthOver({operand_.get()});
  operand_type_ = operand_->GetExprType();
}

TExprType TUnaryOp::GetExprType() { return ResultType(op_, operand_type_); }

TDateTime TUnaryOp::GetAsDate() {
  if (GetExprType() != ttDate) return TExpression::GetAsDate();
  TDateTime v = operand_->GetAsDate();
  return op_ == opMinus ? -v : v;
}

String TUnaryOp::GetAsString() {
  if (GetExprType() != ttString) return TExpression::GetAsString();
  return operand_->GetAsString();
}

double TUnaryOp::GetAsFloat() {
  if (GetExprType() != ttFloat) return TExpression::GetAsFloat();
  double v = operand_->GetAsFloat();
  return op_ == opMinus ? -v : v;
}

int32_t TUnaryOp::GetAsInteger() {
  if (GetExprType() != ttInteger) return TExpression::GetAsInteger();
  int32_t v = operand_->GetAsInteger();
  if (op_ == opNot) return ~v;
  return op_ == opMinus ? Wrap(0u - U(v)) : v;
}

bool TUnaryOp::GetAsBoolean() {
  if (op_ == opNot && operand_type_ == ttBoolean) return !operand_->GetAsBoolean();
  return TExpression::GetAsBoolean();
}

// ---- TBinaryOp ------------------------------------------------------------------

TBinaryOp::TBinaryOp(TOperator op, TExpressionPtr left, TExpressionPtr right)
    : op_(op), left_(std::move(left)), right_(std::move(right)) {
  if (op < opMult || op > opXor)
    throw EExpression(Format(u"%s is not a simple binary operator", {OperatorName(op)}));
  SetDepthOver({left_.get(), right_.get()});
  operand_type_ = CombinedType(left_->GetExprType(), right_->GetExprType());
}

TExprType TBinaryOp::GetExprType() { return ResultType(op_, operand_type_); }

bool TBinaryOp::GetAsBoolean() {
  switch (op_) {
    case opAnd: return left_->GetAsBoolean() && right_->GetAsBoolean();
    case opOr: return left_->GetAsBoolean() || right_->GetAsBoolean();
    case opXor: {
      bool l = left_->GetAsBoolean();
      return l != right_->GetAsBoolean();
    }
    default: Internal13();
  }
}

TDateTime TBinaryOp::GetAsDate() {
  if (GetExprType() != ttDate) return TExpression::GetAsDate();
  TDateTime l = left_->GetAsDate(), r = right_->GetAsDate();
  return op_ == opPlus ? l + r : l - r;
}

String TBinaryOp::GetAsString() {
  if (GetExprType() != ttString) return TExpression::GetAsString();
  String l = left_->GetAsString();
  return l + right_->GetAsString();
}

double TBinaryOp::GetAsFloat() {
  if (GetExprType() != ttFloat) return TExpression::GetAsFloat();
  double l = left_->GetAsFloat(), r = right_->GetAsFloat();
  switch (op_) {
    case opMult: return l * r;
    case opDivide:
      if (r == 0) throw EExpression(u"Division by zero");
      return l / r;
    case opPlus: return l + r;
    default: return l - r;
  }
}

int32_t TBinaryOp::GetAsInteger() {
  if (GetExprType() != ttInteger) return TExpression::GetAsInteger();
  int32_t l = left_->GetAsInteger();
  return IntegerOp(op_, l, right_->GetAsInteger());
}

// ---- TRelationalOp --------------------------------------------------------------

TRelationalOp::TRelationalOp(TOperator op, TExpressionPtr left, TExpressionPtr right)
    : op_(op), left_(std::move(left)), right_(std::move(right)) {
  if (op < opEq || op > opGTE)
    throw EExpression(Format(u"%s is not relational operator", {OperatorName(op)}));
  SetDepthOver({left_.get(), right_.get()});
}

namespace {

template <class T>
bool Ordered(TOperator op, const T& l, const T& r) {
  switch (op) {
    case opEq: return l == r;
    case opNEQ: return l != r;
    case opLT: return l < r;
    case opGT: return l > r;
    case opLTE: return l <= r;
    default: return l >= r;
  }
}

}  // namespace

bool TRelationalOp::GetAsBoolean() {
  bool left_null = left_->GetIsNull(), right_null = right_->GetIsNull();
  if (left_null || right_null) {
    if (op_ == opEq) return left_null && right_null;
    if (op_ == opNEQ) return !(left_null && right_null);
    return false;
  }
  switch (CombinedType(left_->GetExprType(), right_->GetExprType())) {
    case ttDate: {
      TDateTime l = left_->GetAsDate();
      return Ordered(op_, l, right_->GetAsDate());
    }
    case ttFloat: {
      double l = left_->GetAsFloat();
      return Ordered(op_, l, right_->GetAsFloat());
    }
    case ttInteger: {
      int32_t l = left_->GetAsInteger();
      return Ordered(op_, l, right_->GetAsInteger());
    }
    case ttBoolean: {
      if (op_ != opEq && op_ != opNEQ)
        throw EExpression(
            Format(u"cannot apply %s to boolean operands", {OperatorName(op_)}));
      bool l = left_->GetAsBoolean();
      return Ordered(op_, l, right_->GetAsBoolean());
    }
    case ttString: break;
  }
  String l = left_->GetAsString(), r = right_->GetAsString();
  if (CaseInsensitive()) {
    l = UpperCase(l);
    r = UpperCase(r);
  }
  if ((op_ == opEq || op_ == opNEQ) && PartialMatch())
    return MatchesWildcard(l, r) == (op_ == opEq);
  return Ordered(op_, l, r);
}

}  // namespace kavo
