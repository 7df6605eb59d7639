// The filter language's functions. Their parameters are checked when the
// function is read, not when it is parsed: a wrong count or type raises
// "Invalid parameter to <NAME>" ("Invalid parameters to If" for IF).
//
//   IF(c, a, b)       c Boolean; a when c is True, else b (and that type)
//   DATE(x) STRING(x) FLOAT(x) INTEGER(x) BOOLEAN(x)
//                     the cast's type; reading it in any type reads x in
//                     that type; parameters after the first are ignored
//   TRUNC(x) ROUND(x) Integer; ROUND takes halves to the even neighbour;
//                     "Invalid parameter" when the result leaves 32 bits
//   ABS ARCTAN COS EXP FRAC INT LN SIN SQRT SQR(x), POWER(x, y), PI
//                     Float, over numeric parameters (Float, Integer,
//                     Boolean); LN, SQRT and POWER refuse a parameter
//                     outside their domain; PI takes whatever it is given
//   UPPER(s) LOWER(s) ASCII letters only; COPY(s, start, count) clamps like
//                     the string copy routine (start below 1 is 1, a
//                     negative count copies nothing); POS(sub, s) and
//                     LENGTH(s) are Integer; no string parameter may be a Date
#ifndef KAVO_ORACLE_FILTER_FUNCTIONS_H_
#define KAVO_ORACLE_FILTER_FUNCTIONS_H_

#include "oracle/filter_expression.h"

namespace kavo {

class TConditional : public TExpression {
 public:
  explicit TConditional(TExpressionList params);

  TExprType GetExprType() override { return Chosen().GetExprType(); }
  TDateTime GetAsDate() override { return Chosen().GetAsDate(); }
  String GetAsString() override { return Chosen().GetAsString(); }
  double GetAsFloat() override { return Chosen().GetAsFloat(); }
  int32_t GetAsInteger() override { return Chosen().GetAsInteger(); }
  bool GetAsBoolean() override { return Chosen().GetAsBoolean(); }

 private:
  TExpression& Chosen();
  TExpressionList params_;
};

class TTypeCast : public TExpression {
 public:
  // `params` holds at least one expression (the parser refuses a cast
  // without one).
  TTypeCast(TExprType type, TExpressionList params);

  TExprType GetExprType() override { return type_; }
  TDateTime GetAsDate() override { return params_[0]->GetAsDate(); }
  String GetAsString() override { return params_[0]->GetAsString(); }
  double GetAsFloat() override { return params_[0]->GetAsFloat(); }
  int32_t GetAsInteger() override { return params_[0]->GetAsInteger(); }
  bool GetAsBoolean() override { return params_[0]->GetAsBoolean(); }

 private:
  TExprType type_;
  TExpressionList params_;
};

enum TMathFunction {
  mfTrunc, mfRound, mfAbs, mfArcTan, mfCos, mfExp, mfFrac, mfInt, mfLn, mfSin,
  mfSqrt, mfSqr, mfPi, mfPower
};

class TMathExpression : public TExpression {
 public:
  TMathExpression(TMathFunction function, String name, TExpressionList params);

  TExprType GetExprType() override;
  double GetAsFloat() override;
  int32_t GetAsInteger() override;

 private:
  double Param(size_t index, size_t count);
  [[noreturn]] void Invalid() const;

  TMathFunction function_;
  String name_;
  TExpressionList params_;
};

enum TStringFunction { sfUpper, sfLower, sfCopy, sfPos, sfLength };

class TStringExpression : public TExpression {
 public:
  TStringExpression(TStringFunction function, String name, TExpressionList params);

  TExprType GetExprType() override;
  String GetAsString() override;
  int32_t GetAsInteger() override;

 private:
  // Checks the count and that no parameter is a Date.
  void CheckParams(size_t count);
  [[noreturn]] void Invalid() const;

  TStringFunction function_;
  String name_;
  TExpressionList params_;
};

// The function a name (upper case) stands for; false when it is none.
bool FindCast(StringView name, TExprType& type);
bool FindMathFunction(StringView name, TMathFunction& function);
bool FindStringFunction(StringView name, TStringFunction& function);

}  // namespace kavo

#endif  // KAVO_ORACLE_FILTER_FUNCTIONS_H_
