#include "oracle/filter_functions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "rtl/format.h"

namespace kavo {
namespace {

template <class E>
struct NamedEntry {
  const Char* name;
  E value;
};

template <class E, size_t N>
bool FindNamed(const NamedEntry<E> (&table)[N], StringView name, E& out) {
  for (const auto& entry : table)
    if (name == entry.name) {
      out = entry.value;
      return true;
    }
  return false;
}

constexpr NamedEntry<TExprType> kCasts[] = {
    {u"DATE", ttDate}, {u"STRING", ttString}, {u"FLOAT", ttFloat},
    {u"INTEGER", ttInteger}, {u"BOOLEAN", ttBoolean}};

constexpr NamedEntry<TMathFunction> kMath[] = {
    {u"TRUNC", mfTrunc}, {u"ROUND", mfRound}, {u"ABS", mfAbs}, {u"ARCTAN", mfArcTan},
    {u"COS", mfCos}, {u"EXP", mfExp}, {u"FRAC", mfFrac}, {u"INT", mfInt},
    {u"LN", mfLn}, {u"SIN", mfSin}, {u"SQRT", mfSqrt}, {u"SQR", mfSqr},
    {u"PI", mfPi}, {u"POWER", mfPower}};

constexpr NamedEntry<TStringFunction> kStrings[] = {
    {u"UPPER", sfUpper}, {u"LOWER", sfLower}, {u"COPY", sfCopy}, {u"POS", sfPos},
    {u"LENGTH", sfLength}};

bool IsNumeric(TExprType type) {
  return type == ttFloat || type == ttInteger || type == ttBoolean;
}

String AsciiCase(String s, bool upper) {
  for (Char& c : s) {
    if (upper && c >= u'a' && c <= u'z') c = static_cast<Char>(c - 32);
    if (!upper && c >= u'A' && c <= u'Z') c = static_cast<Char>(c + 32);
  }
  return s;
}

}  // namespace

bool FindCast(StringView name, TExprType& type) { return FindNamed(kCasts, name, type); }
bool FindMathFunction(StringView name, TMathFunction& f) { return FindNamed(kMath, name, f); }
bool FindStringFunction(StringView name, TStringFunction& f) {
  return FindNamed(kStrings, name, f);
}

// ---- IF -------------------------------------------------------------------------

TConditional::TConditional(TExpressionList params) : params_(std::move(params)) {
  SetDepthOver(params_);
}

TExpression& TConditional::Chosen() {
  if (params_.size() != 3 || params_[0]->GetExprType() != ttBoolean)
    throw EExpression(u"Invalid parameters to If");
  return params_[0]->GetAsBoolean() ? *params_[1] : *params_[2];
}

// ---- casts ----------------------------------------------------------------------

TTypeCast::TTypeCast(TExprType type, TExpressionList params)
    : type_(type), params_(std::move(params)) {
  SetDepthOver(params_);
}

// ---- math -----------------------------------------------------------------------

TMathExpression::TMathExpression(TMathFunction function, String name, TExpressionList params)
    : function_(function), name_(std::move(name)), params_(std::move(params)) {
  SetDepthOver(params_);
}

void TMathExpression::Invalid() const {
  throw EExpression(Format(u"Invalid parameter to %s", {name_}));
}

TExprType TMathExpression::GetExprType() {
  return function_ == mfTrunc || function_ == mfRound ? ttInteger : ttFloat;
}

// Parameter `index` of exactly `count` numeric ones, read as Float.
double TMathExpression::Param(size_t index, size_t count) {
  if (params_.size() != count) Invalid();
  for (const auto& p : params_)
    if (!IsNumeric(p->GetExprType())) Invalid();
  return params_[index]->GetAsFloat();
}

int32_t TMathExpression::GetAsInteger() {
  if (function_ == mfTrunc) return CheckedInt32(std::trunc(Param(0, 1)), name_);
  // nearbyint in the default rounding mode takes halves to the even neighbour.
  if (function_ == mfRound) return CheckedInt32(std::nearbyint(Param(0, 1)), name_);
  return TExpression::GetAsInteger();
}

double TMathExpression::GetAsFloat() {
  switch (function_) {
    case mfTrunc:
    case mfRound: return TExpression::GetAsFloat();
    case mfAbs: return std::fabs(Param(0, 1));
    case mfArcTan: return std::atan(Param(0, 1));
    case mfCos: return std::cos(Param(0, 1));
    case mfExp: return std::exp(Param(0, 1));
    case mfFrac: {
      double x = Param(0, 1);
      return x - std::trunc(x);
    }
    case mfInt: return std::trunc(Param(0, 1));
    case mfLn: {
      double x = Param(0, 1);
      if (!(x > 0)) Invalid();
      return std::log(x);
    }
    case mfSin: return std::sin(Param(0, 1));
    case mfSqrt: {
      double x = Param(0, 1);
      if (!(x >= 0)) Invalid();
      return std::sqrt(x);
    }
    case mfSqr: {
      double x = Param(0, 1);
      return x * x;
    }
    case mfPi: return 3.141592653589793;
    case mfPower: {
      double x = Param(0, 2);
      double y = Param(1, 2);
      if (!(x > 0)) Invalid();
      return std::exp(std::log(x) * y);
    }
  }
  return 0;
}

// ---- strings --------------------------------------------------------------------

TStringExpression::TStringExpression(TStringFunction function, String name,
                                     TExpressionList params)
    : function_(function), name_(std::move(name)), params_(std::move(params)) {
  SetDepthOver(params_);
}

void TStringExpression::Invalid() const {
  throw EExpression(Format(u"Invalid parameter to %s", {name_}));
}

void TStringExpression::CheckParams(size_t count) {
  if (params_.size() != count) Invalid();
  for (const auto& p : params_)
    if (p->GetExprType() == ttDate) Invalid();
}

TExprType TStringExpression::GetExprType() {
  return function_ == sfPos || function_ == sfLength ? ttInteger : ttString;
}

String TStringExpression::GetAsString() {
  switch (function_) {
    case sfUpper:
    case sfLower:
      CheckParams(1);
      return AsciiCase(params_[0]->GetAsString(), function_ == sfUpper);
    case sfCopy: {
      CheckParams(3);
      for (size_t i = 1; i < 3; ++i) {
        TExprType t = params_[i]->GetExprType();
        if (t != ttInteger && t != ttBoolean) Invalid();
      }
      String s = params_[0]->GetAsString();
      // 64-bit arithmetic: start + count may pass the 32-bit range.
      int64_t start = params_[1]->GetAsInteger();
      int64_t count = params_[2]->GetAsInteger();
      int64_t length = static_cast<int64_t>(s.size());
      if (start < 1) start = 1;
      if (count <= 0 || start > length) return String();
      count = std::min(count, length - start + 1);
      return s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count));
    }
    default: return TExpression::GetAsString();
  }
}

int32_t TStringExpression::GetAsInteger() {
  switch (function_) {
    case sfPos: {
      CheckParams(2);
      String sub = params_[0]->GetAsString();
      String s = params_[1]->GetAsString();
      if (sub.empty()) return 0;
      size_t at = s.find(sub);
      return at == String::npos ? 0 : static_cast<int32_t>(at + 1);
    }
    case sfLength:
      CheckParams(1);
      return static_cast<int32_t>(params_[0]->GetAsString().size());
    default: return TExpression::GetAsInteger();
  }
}

}  // namespace kavo
