// The filter language on its own: tokens, grammar, operators, functions,
// conversions and every parse and evaluation error, without a record set.
#include <gtest/gtest.h>

#include <string>

#include "oracle/filter_expression.h"
#include "oracle/filter_operators.h"
#include "oracle/filter_parser.h"
#include "oracle/filter_wildcard.h"
#include "rtl/float_text.h"
#include "testkit/message_of.h"
#include "testkit/pinned_locale.h"

namespace kavo::test {
namespace {

// Names X (Integer 7), S (String "abc") and N (always null) for tests that
// need an operand the parser cannot fold into a literal.
class TestValue : public TExpression {
 public:
  TestValue(TExprType type, bool null) : type_(type), null_(null) {}
  TExprType GetExprType() override { return type_; }
  bool GetIsNull() override { return null_; }
  String GetAsString() override {
    return type_ == ttString && !null_ ? u"abc" : TExpression::GetAsString();
  }
  int32_t GetAsInteger() override { return type_ == ttInteger ? 7 : TExpression::GetAsInteger(); }

 private:
  TExprType type_;
  bool null_;
};

TExpressionPtr Names(const String& name, TExpressionList&) {
  if (name == u"X") return std::make_unique<TestValue>(ttInteger, false);
  if (name == u"S") return std::make_unique<TestValue>(ttString, false);
  if (name == u"N") return std::make_unique<TestValue>(ttString, true);
  return nullptr;
}

TExpressionPtr Parse(const std::string& text, TFilterOptions options = 0) {
  return CreateExpression(Utf8ToString(text), options, Names);
}

// "<type> <value as text>" of an expression, the value read in its own type.
std::string Eval(const std::string& text) {
  TExpressionPtr e = Parse(text);
  String value;
  switch (e->GetExprType()) {
    case ttDate: value = FloatToStr(e->GetAsDate(), FormatSettings()); break;
    case ttString: value = e->GetAsString(); break;
    case ttFloat: value = FloatToStr(e->GetAsFloat(), FormatSettings()); break;
    case ttInteger: value = IntToStr(e->GetAsInteger()); break;
    case ttBoolean: value = e->GetAsBoolean() ? u"T" : u"F"; break;
  }
  return StringToUtf8(ExprTypeName(e->GetExprType()) + u" " + value);
}

bool Holds(const std::string& text, TFilterOptions options = 0) {
  return Parse(text, options)->GetAsBoolean();
}

std::string ParseError(const std::string& text) {
  return StringToUtf8(MessageOf([&] { Parse(text); }));
}

std::string EvalError(const std::string& text) {
  TExpressionPtr e = Parse(text);
  return StringToUtf8(MessageOf([&] { e->GetAsBoolean(); }));
}

// The process settings are pinned with a comma as decimal separator; these
// tests use the full stop unless they say otherwise.
class FilterLanguageTest : public PinnedLocale {
 protected:
  void SetUp() override {
    PinnedLocale::SetUp();
    FormatSettings().DecimalSeparator = u'.';
  }
};

TEST_F(FilterLanguageTest, NumbersAreIntegersUpToTheInt32LimitAndFloatsBeyond) {
  EXPECT_EQ(Eval("2147483647"), "Integer 2147483647");
  EXPECT_EQ(Eval("2147483648"), "Float 2147483648");
  EXPECT_EQ(Eval("0000000000000000000000000012"), "Integer 12");  // 28 characters
  EXPECT_EQ(Eval("9999999999999999999999999999"), "Float 1E28");
  EXPECT_EQ(Eval("2.5"), "Float 2.5");
  EXPECT_EQ(Eval("25e-1"), "Float 2.5");
  EXPECT_EQ(Eval("-3"), "Integer -3");  // unary minus, no negative literal
  EXPECT_EQ(ParseError("12345678901234567890123456789"), "Bad numeric format");
  for (const char* bad : {"1E+5", "1.2.3", "1E5.2", "1E5E2", "1E", "1e-"})
    EXPECT_EQ(ParseError(bad), "Bad numeric format") << bad;
  EXPECT_EQ(ParseError("1E999"), "Bad numeric format");
}

TEST_F(FilterLanguageTest, StringsAndBracketedNames) {
  EXPECT_EQ(Eval("'it''s'"), "String it's");
  EXPECT_EQ(Eval("''"), "String ");
  EXPECT_EQ(ParseError("'abc"), "Unterminated string");
  EXPECT_EQ(Eval("'" + std::string(256, 'x') + "'").size(), 7u + 256u);
  EXPECT_EQ(ParseError("'" + std::string(257, 'x') + "'"), "String too long");
  EXPECT_EQ(ParseError("[ABC"), "Unterminated fieldname");
  EXPECT_EQ(ParseError("[" + std::string(257, 'x') + "]"), "Fieldname too long");
  // A bracketed name is taken as written and always goes to the resolver.
  EXPECT_EQ(ParseError("[" + std::string(256, 'x') + "]"),
            "Unknown Identifier " + std::string(256, 'x'));
  EXPECT_EQ(ParseError("[Upper]"), "Unknown Identifier Upper");
  EXPECT_EQ(ParseError("[IF]"), "Unknown Identifier IF");
  EXPECT_EQ(Eval("[X] + 1"), "Integer 8");
  EXPECT_EQ(Eval("x + 1"), "Integer 8");  // names are upper-cased
  EXPECT_EQ(Parse(" \t\r\n "), nullptr);
  EXPECT_EQ(Parse(""), nullptr);
}

TEST_F(FilterLanguageTest, EveryParseErrorText) {
  EXPECT_EQ(ParseError("X = 1 AND X = 2"), "Syntax error");
  EXPECT_TRUE(Holds("(X = 7) AND (X <> 2)"));
  EXPECT_EQ(ParseError("X = 1 = 2"), "Syntax error");
  EXPECT_EQ(ParseError("X == 1"), "== not a valid operator");
  EXPECT_EQ(ParseError("X => 1"), "=> not a valid operator");
  EXPECT_EQ(ParseError("X < = 1"), "Syntax error");
  EXPECT_EQ(ParseError("1 2"), "char 2 in input stream");
  EXPECT_EQ(ParseError("X 'a'"), "char ' in input stream");
  EXPECT_EQ(ParseError("X S"), "Identifier S not allowed here");
  EXPECT_EQ(ParseError("X true"), "Boolean literal not allowed here");
  EXPECT_EQ(ParseError("DIV 1"), "DIV not allowed here");
  EXPECT_EQ(ParseError("(1 = 1"), " ) expected");
  EXPECT_EQ(ParseError("(1, 2)"), " ) expected");
  EXPECT_EQ(ParseError("( )"), "invalid sub-expression");
  EXPECT_EQ(ParseError("UPPER('a'"), "Incorrectly formed parameters");
  EXPECT_EQ(ParseError("X +"), "Unexpected end of factor");
  EXPECT_EQ(ParseError("X + )"), "Unexpected end of factor");
  EXPECT_EQ(ParseError("#"), "Syntax error");
  EXPECT_EQ(ParseError("X = 1)"), ") not appropriate");
  EXPECT_EQ(ParseError("X = 1, 2"), ", not appropriate");
  EXPECT_EQ(ParseError("FOO = 1"), "Unknown Identifier FOO");
  // Left open by the language and refused here.
  EXPECT_EQ(ParseError("X NOT 1"), "NOT not allowed here");
  EXPECT_EQ(ParseError("X = 1 NOT 2"), "NOT not allowed here");
  EXPECT_EQ(ParseError("UPPER()"), "Incorrectly formed parameters");
  EXPECT_EQ(ParseError("COPY('a',,1)"), "Incorrectly formed parameters");
  EXPECT_EQ(ParseError("COPY('a',1,)"), "Incorrectly formed parameters");
  EXPECT_EQ(ParseError("DATE = 1"), "Invalid parameter to DATE");
  // An operation asks its operands' types while it is built.
  EXPECT_EQ(ParseError("('a' - 'b') + 1"), "Operator opMinus incompatible with String");
  EXPECT_EQ(ParseError("-TRUE"), "(none)");  // built; the type is asked only when read
}

TEST_F(FilterLanguageTest, NotBindsToTheNextFactorWithOrWithoutABlank) {
  EXPECT_FALSE(Holds("NOT(1 = 1)"));
  EXPECT_FALSE(Holds("NOT (1 = 1)"));
  EXPECT_TRUE(Holds("NOT (1 = 1) OR (2 = 2)"));
  EXPECT_EQ(Eval("NOT 5"), "Integer -6");
  EXPECT_EQ(Eval("not true"), "Boolean F");
}

TEST_F(FilterLanguageTest, ArithmeticFollowsTheOperandTypes) {
  EXPECT_EQ(Eval("7 / 2"), "Float 3.5");
  EXPECT_EQ(Eval("7 DIV 2"), "Integer 3");
  EXPECT_EQ(Eval("-7 DIV 2"), "Integer -3");
  EXPECT_EQ(Eval("-7 MOD 3"), "Integer -1");
  EXPECT_EQ(Eval("'ab' + 1"), "String ab1");
  EXPECT_EQ(Eval("TRUE + 1"), "Integer 2");
  EXPECT_EQ(Eval("1 + 0.5"), "Float 1.5");
  EXPECT_EQ(Eval("2 * 3 + 4 * 5"), "Integer 26");
  EXPECT_EQ(Eval("2 * (3 + 4)"), "Integer 14");
  EXPECT_EQ(Eval("12 AND 10"), "Integer 8");
  EXPECT_EQ(Eval("12 OR 3"), "Integer 15");
  EXPECT_EQ(Eval("12 XOR 10"), "Integer 6");
  EXPECT_EQ(Eval("DATE(10) + 1.5"), "Date 11.5");
  EXPECT_EQ(Eval("TRUE XOR TRUE"), "Boolean F");
  EXPECT_EQ(EvalError("'a' * 2 = 1"), "Operator opMult incompatible with String");
  EXPECT_EQ(EvalError("'a' * 2"), "Internal parser error. Code 13");
  EXPECT_EQ(EvalError("INTEGER(1.5) DIV 2 = 1"), "Cannot read Float as integer");
  EXPECT_EQ(EvalError("-TRUE = 1"), "Operator opMinus incompatible with Boolean");
  EXPECT_EQ(EvalError("DATE(1) * 2 = 1"), "Operator opMult incompatible with Date");
}

TEST_F(FilterLanguageTest, IntegerFaultsAreErrorsNotCrashes) {
  EXPECT_EQ(EvalError("1 DIV 0 = 0"), "Division by zero");
  EXPECT_EQ(EvalError("1 MOD 0 = 0"), "Division by zero");
  EXPECT_EQ(EvalError("1 / 0 = 0"), "Division by zero");
  EXPECT_EQ(EvalError("1.5 / 0 = 0"), "Division by zero");
  EXPECT_EQ(EvalError("(-2147483647 - 1) DIV -1 = 0"), "Division by zero");
  EXPECT_EQ(EvalError("(-2147483647 - 1) MOD -1 = 0"), "Division by zero");
  EXPECT_EQ(Eval("(-2147483647 - 1) DIV 1"), "Integer -2147483648");
  // Wrapping two's complement arithmetic.
  EXPECT_EQ(Eval("2147483647 + 1"), "Integer -2147483648");
  EXPECT_EQ(Eval("-2147483647 - 2"), "Integer 2147483647");
  EXPECT_EQ(Eval("65536 * 65536"), "Integer 0");
  EXPECT_EQ(Eval("65537 * 65537"), "Integer 131073");
  EXPECT_EQ(Eval("-(-2147483647 - 1)"), "Integer -2147483648");
  // Shift counts modulo 32; SHR shifts in zeros.
  EXPECT_EQ(Eval("1 SHL 33"), "Integer 2");
  EXPECT_EQ(Eval("1 SHL 31"), "Integer -2147483648");
  EXPECT_EQ(Eval("-1 SHR 28"), "Integer 15");
  EXPECT_EQ(Eval("-1 SHR 32"), "Integer -1");
  EXPECT_EQ(Eval("256 SHR -1"), "Integer 0");
}

TEST_F(FilterLanguageTest, BooleanOperatorsAndArithmeticReadAsBoolean) {
  // AND and OR read the right operand only when it decides.
  EXPECT_FALSE(Holds("FALSE AND (1 DIV 0 = 0)"));
  EXPECT_TRUE(Holds("TRUE OR (1 DIV 0 = 0)"));
  EXPECT_EQ(EvalError("TRUE XOR (1 DIV 0 = 0)"), "Division by zero");
  EXPECT_EQ(EvalError("X + 1"), "Internal parser error. Code 13");
  EXPECT_EQ(EvalError("TRUE < FALSE"), "cannot apply opLT to boolean operands");
  EXPECT_TRUE(Holds("TRUE <> FALSE"));
  EXPECT_EQ(EvalError("X"), "Cannot read Integer as boolean");
  EXPECT_EQ(EvalError("NOT 5"), "Cannot read Integer as boolean");
}

TEST_F(FilterLanguageTest, ConversionsBetweenTheFiveTypes) {
  EXPECT_TRUE(Holds("STRING(5) + 1 = '51'"));
  EXPECT_TRUE(Holds("STRING(2.5) = '2.5'"));
  EXPECT_TRUE(Holds("STRING(1 = 1) = 'TRUE'"));
  EXPECT_TRUE(Holds("FLOAT(TRUE) = 1"));
  EXPECT_TRUE(Holds("DATE(TRUE) = 1"));  // the literal reads as a date number
  EXPECT_TRUE(Holds("DATE('25/12/2024') = DATE(45651)"));
  EXPECT_TRUE(Holds("STRING(DATE(45651) + 0.5) = '25/12/2024 12:00:00'"));
  EXPECT_TRUE(Holds("STRING(DATE(45651) + 0) = '25/12/2024'"));
  EXPECT_TRUE(Holds("STRING(DATE(45651)) = '45651'"));  // the cast reads its operand
  EXPECT_TRUE(Holds("INTEGER(DATE(45651) + 0.9) = 45651"));
  EXPECT_EQ(EvalError("FLOAT('abc') = 1"), "Cannot read String as Float");
  EXPECT_EQ(EvalError("INTEGER('abc') = 1"), "Cannot read String as integer");
  EXPECT_EQ(EvalError("BOOLEAN(1)"), "Cannot read Integer as boolean");
  EXPECT_EQ(EvalError("DATE(1 = 1) = 1"), "Cannot read Boolean as Date");
  EXPECT_EQ(EvalError("DATE('no date') = 1"), "'no date' is not a valid date and time");
  EXPECT_EQ(EvalError("INTEGER(DATE(0) + 1E12) = 1"), "Invalid parameter to INTEGER");
  // A date too far out to have a day number is a filter error, as text too.
  EXPECT_EQ(EvalError("STRING(DATE(0) + 1E17) = ''"), "Invalid date-time value 1e+17");
  EXPECT_EQ(EvalError("STRING(DATE(0) - 1E300) = ''"), "Invalid date-time value -1e+300");
  // A cast changes how the surrounding operation reads its operand.
  EXPECT_EQ(Eval("INTEGER(7) / 2"), "Float 3.5");
  EXPECT_EQ(Eval("FLOAT('x') + 'y'"), "String xy");
}

TEST_F(FilterLanguageTest, MathFunctions) {
  EXPECT_EQ(Eval("ROUND(2.5)"), "Integer 2");
  EXPECT_EQ(Eval("ROUND(3.5)"), "Integer 4");
  EXPECT_EQ(Eval("ROUND(-2.5)"), "Integer -2");
  EXPECT_EQ(Eval("TRUNC(-2.7)"), "Integer -2");
  EXPECT_EQ(Eval("TRUNC(TRUE)"), "Integer 1");
  EXPECT_EQ(Eval("TRUNC(2147483647.9)"), "Integer 2147483647");
  EXPECT_EQ(Eval("ABS(-2)"), "Float 2");
  EXPECT_EQ(Eval("SQR(3)"), "Float 9");
  EXPECT_EQ(Eval("SQRT(16)"), "Float 4");
  EXPECT_EQ(Eval("INT(-2.5)"), "Float -2");
  EXPECT_EQ(Eval("FRAC(2.25)"), "Float 0.25");
  EXPECT_EQ(Eval("POWER(2, 10)"), "Float 1024");
  EXPECT_EQ(Eval("LN(1)"), "Float 0");
  EXPECT_EQ(Eval("EXP(0) + COS(0) + SIN(0) + ARCTAN(0)"), "Float 2");
  EXPECT_EQ(Eval("PI"), "Float 3.14159265358979");
  for (const char* bad : {"TRUNC(1E10)", "TRUNC(-2147483649)", "ROUND(2147483647.5)",
                          "TRUNC(EXP(1000))", "TRUNC(1, 2)", "TRUNC('1')", "TRUNC(DATE(1))"}) {
    std::string name = std::string(bad).substr(0, 5);
    EXPECT_EQ(EvalError(std::string(bad) + " = 1"), "Invalid parameter to " + name) << bad;
  }
  EXPECT_EQ(EvalError("ROUND(0 * EXP(1000)) = 1"), "Invalid parameter to ROUND");  // NaN
  EXPECT_EQ(EvalError("LN(0) = 1"), "Invalid parameter to LN");
  EXPECT_EQ(EvalError("SQRT(-1) = 1"), "Invalid parameter to SQRT");
  EXPECT_EQ(EvalError("POWER(-2, 2) = 1"), "Invalid parameter to POWER");
  EXPECT_EQ(EvalError("POWER(2) = 1"), "Invalid parameter to POWER");
  EXPECT_EQ(EvalError("ABS('x') = 1"), "Invalid parameter to ABS");
}

TEST_F(FilterLanguageTest, StringFunctions) {
  EXPECT_EQ(Eval("UPPER('aBc_é')"), "String ABC_é");  // ASCII letters only
  EXPECT_EQ(Eval("LOWER('AbC')"), "String abc");
  EXPECT_EQ(Eval("POS('c', 'abcabc')"), "Integer 3");
  EXPECT_EQ(Eval("POS('x', 'abc')"), "Integer 0");
  EXPECT_EQ(Eval("POS('', 'abc')"), "Integer 0");
  EXPECT_EQ(Eval("LENGTH('abcd')"), "Integer 4");
  EXPECT_EQ(Eval("LENGTH(12)"), "Integer 2");
  EXPECT_EQ(Eval("COPY('abcdef', 2, 3)"), "String bcd");
  EXPECT_EQ(Eval("COPY('abcdef', TRUE, 2)"), "String ab");
  // Out-of-range positions and counts clamp.
  EXPECT_EQ(Eval("COPY('abcdef', 0, 3)"), "String abc");
  EXPECT_EQ(Eval("COPY('abcdef', -2147483647 - 1, 2)"), "String ab");
  EXPECT_EQ(Eval("COPY('abcdef', 5, 2147483647)"), "String ef");
  EXPECT_EQ(Eval("COPY('abcdef', 2147483647, 2147483647)"), "String ");
  EXPECT_EQ(Eval("COPY('abcdef', 7, 1)"), "String ");
  EXPECT_EQ(Eval("COPY('abcdef', 2, -1)"), "String ");
  EXPECT_EQ(EvalError("COPY('abc', 1.5, 1) = ''"), "Invalid parameter to COPY");
  EXPECT_EQ(EvalError("COPY('abc', 1) = ''"), "Invalid parameter to COPY");
  EXPECT_EQ(EvalError("UPPER(DATE(1)) = ''"), "Invalid parameter to UPPER");
  EXPECT_EQ(EvalError("POS('a', DATE(1)) = 0"), "Invalid parameter to POS");
  EXPECT_EQ(EvalError("LENGTH('a', 'b') = 0"), "Invalid parameter to LENGTH");
}

TEST_F(FilterLanguageTest, ConditionalTakesTheChosenBranchAndItsType) {
  EXPECT_EQ(Eval("IF(1 = 1, 2, 'x')"), "Integer 2");
  EXPECT_EQ(Eval("IF(1 = 2, 2, 'x')"), "String x");
  EXPECT_EQ(Eval("if(TRUE, 1 DIV 1, 1 DIV 0)"), "Integer 1");
  EXPECT_EQ(EvalError("IF(1, 2, 3) = 2"), "Invalid parameters to If");
  EXPECT_EQ(EvalError("IF(TRUE, 2) = 2"), "Invalid parameters to If");
  EXPECT_EQ(EvalError("IF = 2"), "Invalid parameters to If");
}

TEST_F(FilterLanguageTest, ComparisonsWithNullCaseAndWildcards) {
  EXPECT_TRUE(Holds("N = N"));
  EXPECT_FALSE(Holds("N <> N"));
  EXPECT_FALSE(Holds("X = N"));
  EXPECT_TRUE(Holds("X <> N"));
  EXPECT_FALSE(Holds("N > X"));
  EXPECT_FALSE(Holds("N <= N"));
  EXPECT_TRUE(Holds("S = 'a*'"));
  EXPECT_TRUE(Holds("S = 'a?c'"));
  EXPECT_FALSE(Holds("S = 'a?'"));
  EXPECT_FALSE(Holds("'a*' = S"));  // the right side is the pattern
  EXPECT_TRUE(Holds("S <> 'b*'"));
  EXPECT_FALSE(Holds("S = 'a*'", foNoPartialCompare));
  EXPECT_TRUE(Holds("'a*' = 'a*'", foNoPartialCompare));
  EXPECT_FALSE(Holds("S = 'ABC'"));
  EXPECT_TRUE(Holds("S = 'ABC'", foCaseInsensitive));
  EXPECT_TRUE(Holds("S = 'A*'", foCaseInsensitive));
  EXPECT_TRUE(Holds("'ab' < 'abc'"));
  EXPECT_TRUE(Holds("'B' < 'a'"));  // by character code
  EXPECT_FALSE(Holds("'B' < 'a'", foCaseInsensitive));
  EXPECT_TRUE(Holds("'b' >= 'a*'"));  // orderings never use patterns
  EXPECT_TRUE(Holds("10 > 9.5"));
  EXPECT_TRUE(Holds("'10' < 9"));  // String wins: compared as texts
}

TEST(FilterWildcardTest, MatchesWholeTextsAndStaysLinear) {
  EXPECT_TRUE(MatchesWildcard(u"", u""));
  EXPECT_TRUE(MatchesWildcard(u"", u"***"));
  EXPECT_FALSE(MatchesWildcard(u"", u"?"));
  EXPECT_TRUE(MatchesWildcard(u"abc", u"*"));
  EXPECT_TRUE(MatchesWildcard(u"abcbc", u"a*bc"));
  EXPECT_TRUE(MatchesWildcard(u"a*c", u"a*c"));
  EXPECT_TRUE(MatchesWildcard(u"axxbyyc", u"a*b*c"));
  EXPECT_FALSE(MatchesWildcard(u"axxbyy", u"a*b*c"));
  EXPECT_FALSE(MatchesWildcard(u"abcd", u"abc"));
  EXPECT_TRUE(MatchesWildcard(u"mississippi", u"m*iss*ppi"));
  EXPECT_FALSE(MatchesWildcard(u"mississippi", u"m*iss*ppx"));
  // Would take exponential time with naive backtracking.
  String text(20000, u'a');
  EXPECT_FALSE(MatchesWildcard(text, u"*a*a*a*a*a*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(MatchesWildcard(text + u"b", u"*a*a*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST_F(FilterLanguageTest, NestingHasALimitInsteadOfExhaustingTheStack) {
  auto nested = [](int depth) {
    return std::string(static_cast<size_t>(depth), '(') + "1" +
           std::string(static_cast<size_t>(depth), ')') + " = 1";
  };
  EXPECT_TRUE(Holds(nested(500)));
  EXPECT_EQ(ParseError(nested(100000)), "Expression nested too deeply");
  std::string nots;
  for (int i = 0; i < 100000; ++i) nots += "NOT ";
  EXPECT_EQ(ParseError(nots + "TRUE"), "Expression nested too deeply");
  EXPECT_EQ(ParseError(std::string(100000, '-') + "1 = 1"), "Expression nested too deeply");
  // A long chain is a deep tree too, whose reading and freeing recurse.
  std::string chain = "1";
  for (int i = 0; i < 100000; ++i) chain += " + 1";
  EXPECT_EQ(ParseError(chain + " = 1"), "Expression nested too deeply");
  std::string ok = "0";
  for (int i = 0; i < 900; ++i) ok += " + 1";
  EXPECT_TRUE(Holds(ok + " = 900"));
}

TEST_F(FilterLanguageTest, ACommaDecimalSeparatorStillSeparatesParameters) {
  FormatSettings().DecimalSeparator = u',';
  EXPECT_EQ(Eval("POWER(2,3)"), "Float 8");
  EXPECT_EQ(Eval("COPY('abcdef',2,3)"), "String bcd");
  EXPECT_EQ(Eval("1,5 * 2"), "Float 3");
  EXPECT_EQ(Eval("ROUND((2,5))"), "Integer 2");  // a parenthesis is not a parameter list
  EXPECT_EQ(Eval("IF(TRUE, (1,5), 2)"), "Float 1,5");
  EXPECT_EQ(ParseError("1.5"), "char . in input stream");
  EXPECT_EQ(ParseError("1,5,5"), "Bad numeric format");
}

TEST(FilterOperatorTest, OperationsRefuseOperatorsOfAnotherGroup) {
  auto one = [] { return std::make_unique<TIntegerLiteral>(1); };
  EXPECT_EQ(MessageOf([&] { std::make_unique<TUnaryOp>(opMult, one()); }),
            u"opMult is not simple unary operator");
  EXPECT_EQ(MessageOf([&] { std::make_unique<TBinaryOp>(opEq, one(), one()); }),
            u"opEq is not a simple binary operator");
  EXPECT_EQ(MessageOf([&] { std::make_unique<TRelationalOp>(opPlus, one(), one()); }),
            u"opPlus is not relational operator");
}

}  // namespace
}  // namespace kavo::test
