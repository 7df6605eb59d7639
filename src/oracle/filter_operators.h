// The filter language's operations: unary, binary and comparison.
//
// What an operation may do depends on its operand type (a unary operation's
// operand's type, a binary operation's combined type):
//
//   Date     + -                                    -> Date
//   String   +  (concatenation)                     -> String
//   Float    * / + -                                -> Float
//   Integer  /                                      -> Float
//   Integer  NOT * DIV MOD AND OR XOR SHL SHR + -   -> Integer
//   Boolean  NOT AND OR XOR                         -> Boolean
//
// Anything else raises "Operator <opName> incompatible with <type>" whenever
// the operation's type is asked. Integer arithmetic wraps at 32 bits, shift
// counts are taken modulo 32, SHR shifts in zeros; DIV and MOD by zero and
// "/" by zero raise "Division by zero", and so does the smallest integer DIV
// or MOD -1, whose quotient has no 32-bit value.
#ifndef KAVO_ORACLE_FILTER_OPERATORS_H_
#define KAVO_ORACLE_FILTER_OPERATORS_H_

#include "oracle/filter_expression.h"

namespace kavo {

// NOT, + or - before one operand. The operand's type is asked when the
// operation is built ("%s is not simple unary operator" for other operators).
class TUnaryOp : public TExpression {
 public:
  TUnaryOp(TOperator op, TExpressionPtr operand);

  TExprType GetExprType() override;
  TDateTime GetAsDate() override;
  String GetAsString() override;
  double GetAsFloat() override;
  int32_t GetAsInteger() override;
  bool GetAsBoolean() override;

 private:
  TOperator op_;
  TExpressionPtr operand_;
  TExprType operand_type_;
};

// "*" to XOR between two operands, whose types are asked when it is built
// ("%s is not a simple binary operator" for other operators). Read as
// Boolean, AND reads its right operand only after a True left one, OR only
// after a False one; any arithmetic operation read as Boolean raises
// "Internal parser error. Code 13".
class TBinaryOp : public TExpression {
 public:
  TBinaryOp(TOperator op, TExpressionPtr left, TExpressionPtr right);

  TExprType GetExprType() override;
  TDateTime GetAsDate() override;
  String GetAsString() override;
  double GetAsFloat() override;
  int32_t GetAsInteger() override;
  bool GetAsBoolean() override;

 private:
  TOperator op_;
  TExpressionPtr left_, right_;
  TExprType operand_type_;
};

// "=" to ">=" ("%s is not relational operator" for others); always Boolean.
//
// A null operand: "=" is True only when both are null, "<>" unless both
// are, every other comparison False. Otherwise both are read in their
// combined type: Date and Float as numbers, Integer as integers, Boolean
// with "=" and "<>" only ("cannot apply <opName> to boolean operands").
// Strings are upper-cased first when case-insensitive; with partial match
// "=" and "<>" match the left text against the right one as a pattern ("*"
// any run, "?" any one character), else they compare for equality; the
// orderings compare by character code.
class TRelationalOp : public TExpression {
 public:
  TRelationalOp(TOperator op, TExpressionPtr left, TExpressionPtr right);

  TExprType GetExprType() override { return ttBoolean; }
  bool GetAsBoolean() override;

 private:
  TOperator op_;
  TExpressionPtr left_, right_;
};

}  // namespace kavo

#endif  // KAVO_ORACLE_FILTER_OPERATORS_H_
