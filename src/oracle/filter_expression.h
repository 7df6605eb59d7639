// The filter language's values: a parsed filter is a tree of TExpression
// objects that is read, record by record, as a Boolean.
//
// Every expression has one of five types and can be read in each of them;
// reading in another type than its own converts (the table is in
// TExpression's readers below) or raises "Cannot read <type> as <type>".
// Every error of parsing or evaluating raises EExpression.
#ifndef KAVO_ORACLE_FILTER_EXPRESSION_H_
#define KAVO_ORACLE_FILTER_EXPRESSION_H_

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "rtl/datetime.h"
#include "rtl/exceptions.h"
#include "rtl/ustring.h"

namespace kavo {

KAVO_EXCEPTION_CLASS(EExpression, Exception);

// In this order, which is also the order that combines two types: the one
// that comes first wins (Integer with Float is Float, anything with String
// is String except Date).
enum TExprType { ttDate, ttString, ttFloat, ttInteger, ttBoolean };

enum TOperator {
  opNot, opMult, opDivide, opDiv, opMod, opAnd, opShl, opShr, opPlus, opMinus,
  opOr, opXor, opEq, opNEQ, opLT, opGT, opLTE, opGTE
};

// "Date", "String", "Float", "Integer", "Boolean".
String ExprTypeName(TExprType type);
// The enumeration name messages use: "opPlus", "opLT", ...
String OperatorName(TOperator op);
// The text an operator is written with: "+", "DIV", "<=", ...
String OperatorText(TOperator op);
TExprType CombinedType(TExprType a, TExprType b);

// Deepest tree (and deepest nesting while parsing) accepted, so that no
// filter text can exhaust the stack while it is parsed, read or freed.
constexpr int kMaxExpressionDepth = 1000;
// Longest string literal or bracketed field name.
constexpr int MaxStringLength = 256;

class TExpression {
 public:
  virtual ~TExpression() = default;
  TExpression(const TExpression&) = delete;
  TExpression& operator=(const TExpression&) = delete;

  virtual TExprType GetExprType() = 0;
  virtual bool GetIsNull() { return false; }

  // The base readers convert from the expression's own type, whose reader
  // each kind overrides:
  //   Date    -> String: short date [+ blank + long time]; Float: the number;
  //              Integer: truncated ("Invalid parameter to INTEGER" outside
  //              32 bits); Boolean: error.
  //   String  -> Date: parsed with the locale's formats; others: error.
  //   Float   -> Date: the number; String: locale text; others: error.
  //   Integer -> Date, Float: the number; String: decimal; Boolean: error.
  //   Boolean -> String: "TRUE"/"FALSE"; Float, Integer: 1/0; Date: error.
  virtual TDateTime GetAsDate();
  virtual String GetAsString();
  virtual double GetAsFloat();
  virtual int32_t GetAsInteger();
  virtual bool GetAsBoolean();

  // The comparison options fixed when the expression was parsed.
  bool CaseInsensitive() const { return case_insensitive_; }
  bool PartialMatch() const { return partial_match_; }
  void SetOptions(bool case_insensitive, bool partial_match) {
    case_insensitive_ = case_insensitive;
    partial_match_ = partial_match;
  }

  // Levels of the tree below and including this expression.
  int Depth() const { return depth_; }

 protected:
  TExpression() = default;
  // Records the depth of a node over these children; EExpression
  // "Expression nested too deeply" past kMaxExpressionDepth.
  void SetDepthOver(std::initializer_list<const TExpression*> children);
  void SetDepthOver(const std::vector<std::unique_ptr<TExpression>>& children);

  // "Cannot read <own type> as <as>".
  [[noreturn]] void CannotRead(StringView as);

 private:
  bool case_insensitive_ = false;
  bool partial_match_ = true;
  int depth_ = 1;
};

using TExpressionPtr = std::unique_ptr<TExpression>;
using TExpressionList = std::vector<TExpressionPtr>;

class TStringLiteral : public TExpression {
 public:
  explicit TStringLiteral(String value) : value_(std::move(value)) {}
  TExprType GetExprType() override { return ttString; }
  String GetAsString() override { return value_; }

 private:
  String value_;
};

class TFloatLiteral : public TExpression {
 public:
  explicit TFloatLiteral(double value) : value_(value) {}
  TExprType GetExprType() override { return ttFloat; }
  double GetAsFloat() override { return value_; }

 private:
  double value_;
};

class TIntegerLiteral : public TExpression {
 public:
  explicit TIntegerLiteral(int32_t value) : value_(value) {}
  TExprType GetExprType() override { return ttInteger; }
  int32_t GetAsInteger() override { return value_; }

 private:
  int32_t value_;
};

// TRUE and FALSE; unlike other Boolean values they read as Date 1 and 0.
class TBooleanLiteral : public TExpression {
 public:
  explicit TBooleanLiteral(bool value) : value_(value) {}
  TExprType GetExprType() override { return ttBoolean; }
  bool GetAsBoolean() override { return value_; }
  TDateTime GetAsDate() override { return value_ ? 1 : 0; }

 private:
  bool value_;
};

// A whole-number value as a 32-bit integer, or "Invalid parameter to
// <function>" when it is not finite or lies outside 32 bits.
int32_t CheckedInt32(double value, StringView function);

}  // namespace kavo

#endif  // KAVO_ORACLE_FILTER_EXPRESSION_H_
