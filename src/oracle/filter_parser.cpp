#include "oracle/filter_parser.h"

#include "oracle/filter_functions.h"
#include "oracle/filter_operators.h"
#include "oracle/filter_scanner.h"
#include "rtl/format.h"
#include "rtl/format_settings.h"

namespace kavo {
namespace {

struct OperatorWord {
  const Char* word;
  TOperator op;
};

constexpr OperatorWord kOperatorWords[] = {
    {u"NOT", opNot}, {u"DIV", opDiv}, {u"MOD", opMod}, {u"AND", opAnd},
    {u"SHL", opShl}, {u"SHR", opShr}, {u"OR", opOr}, {u"XOR", opXor}};

bool FindOperatorWord(StringView name, TOperator& op) {
  for (const auto& w : kOperatorWords)
    if (name == w.word) {
      op = w.op;
      return true;
    }
  return false;
}

bool IsComparisonChar(Char c) { return c == u'<' || c == u'=' || c == u'>'; }

class Parser {
 public:
  Parser(StringView text, TFilterOptions options, const TIdentifierFunction& resolver)
      : scan_(text),
        case_insensitive_((options & foCaseInsensitive) != 0),
        partial_match_((options & foNoPartialCompare) == 0),
        resolver_(resolver),
        decimal_separator_(FormatSettings().DecimalSeparator) {}

  TExpressionPtr Parse() {
    scan_.SkipBlanks();
    if (scan_.AtEndOfText()) return nullptr;
    TExpressionPtr e = Expression();
    if (!scan_.AtEndOfText())
      throw EExpression(Format(u"%s not appropriate", {String(1, scan_.Peek())}));
    return e;
  }

 private:
  template <class T, class... Args>
  TExpressionPtr Make(Args&&... args) {
    return WithOptions(std::make_unique<T>(std::forward<Args>(args)...));
  }
  TExpressionPtr WithOptions(TExpressionPtr e) {
    e->SetOptions(case_insensitive_, partial_match_);
    return e;
  }

  // Counts the factors being parsed inside each other, so that "((((..."
  // and "- - - ..." stop at the depth limit instead of at the stack's end.
  struct Nesting {
    explicit Nesting(int& depth) : depth_(depth) {
      if (++depth_ > kMaxExpressionDepth) {
        --depth_;
        throw EExpression(u"Expression nested too deeply");
      }
    }
    ~Nesting() { --depth_; }
    int& depth_;
  };

  TExpressionPtr Expression() {
    TExpressionPtr left = SimpleExpression();
    scan_.SkipBlanks();
    if (scan_.AtEndOfExpression()) return left;
    if (!IsComparisonChar(scan_.Peek())) RejectOperatorWord();
    TOperator op = ComparisonOperator();
    TExpressionPtr right = SimpleExpression();
    scan_.SkipBlanks();
    if (!scan_.AtEndOfExpression()) {
      // A second comparison at the same level.
      if (IsComparisonChar(scan_.Peek())) throw EExpression(u"Syntax error");
      RejectOperatorWord();
    }
    return Make<TRelationalOp>(op, std::move(left), std::move(right));
  }

  // The levels below end only at a comparison, the end, or the word NOT in
  // operator position, which is refused here rather than dropped.
  [[noreturn]] void RejectOperatorWord() {
    if (TFilterScanner::IsNameStart(scan_.Peek()))
      throw EExpression(Format(u"%s not allowed here", {scan_.ReadName()}));
    throw EExpression(u"Syntax error");
  }

  TOperator ComparisonOperator() {
    String text(1, scan_.Peek());
    scan_.Skip();
    if (IsComparisonChar(scan_.Peek())) {
      text += scan_.Peek();
      scan_.Skip();
    }
    static const struct {
      const Char* text;
      TOperator op;
    } kComparisons[] = {{u"=", opEq}, {u"<>", opNEQ}, {u"<", opLT},
                        {u">", opGT}, {u"<=", opLTE}, {u">=", opGTE}};
    for (const auto& c : kComparisons)
      if (text == c.text) return c.op;
    throw EExpression(Format(u"%s not a valid operator", {text}));
  }

  TExpressionPtr SimpleExpression() {
    TExpressionPtr left = Term();
    for (;;) {
      scan_.SkipBlanks();
      if (scan_.AtEndOfExpression()) return left;
      size_t at = scan_.Pos();
      Char c = scan_.Peek();
      TOperator op;
      if (c == u'+' || c == u'-') {
        op = c == u'+' ? opPlus : opMinus;
        scan_.Skip();
      } else if (TFilterScanner::IsNameStart(c)) {
        String word = scan_.ReadName();
        if (word != u"OR" && word != u"XOR") {
          scan_.SetPos(at);
          return left;
        }
        op = word == u"OR" ? opOr : opXor;
      } else {
        return left;
      }
      TExpressionPtr right = Term();
      left = Make<TBinaryOp>(op, std::move(left), std::move(right));
    }
  }

  TExpressionPtr Term() {
    TExpressionPtr left = Factor();
    for (;;) {
      scan_.SkipBlanks();
      if (scan_.AtEndOfExpression()) return left;
      size_t at = scan_.Pos();
      Char c = scan_.Peek();
      TOperator op;
      if (c == u'*' || c == u'/') {
        op = c == u'*' ? opMult : opDivide;
        scan_.Skip();
      } else if (TFilterScanner::IsNameStart(c)) {
        String word = scan_.ReadName();
        if (!FindOperatorWord(word, op)) {
          if (word == u"TRUE" || word == u"FALSE")
            throw EExpression(u"Boolean literal not allowed here");
          throw EExpression(Format(u"Identifier %s not allowed here", {word}));
        }
        if (op == opNot || op == opOr || op == opXor) {
          scan_.SetPos(at);
          return left;
        }
      } else if (c == u'+' || c == u'-' || IsComparisonChar(c)) {
        return left;
      } else {
        throw EExpression(Format(u"char %s in input stream", {String(1, c)}));
      }
      TExpressionPtr right = Factor();
      left = Make<TBinaryOp>(op, std::move(left), std::move(right));
    }
  }

  TExpressionPtr Factor() {
    Nesting nesting(depth_);
    scan_.SkipBlanks();
    if (scan_.AtEndOfExpression()) throw EExpression(u"Unexpected end of factor");
    Char c = scan_.Peek();
    if (c == u'+' || c == u'-') {
      scan_.Skip();
      TExpressionPtr operand = Factor();
      return Make<TUnaryOp>(c == u'+' ? opPlus : opMinus, std::move(operand));
    }
    if (c == u'(') return Parenthesised();
    if (c == u'[') {
      String name = scan_.ReadFieldName();
      TExpressionList none;
      return Resolve(name, none);
    }
    if (c == u'\'') return Make<TStringLiteral>(scan_.ReadString());
    if (TFilterScanner::IsDigit(c))
      return WithOptions(scan_.ReadNumber(decimal_separator_, in_parameters_));
    if (!TFilterScanner::IsNameStart(c)) throw EExpression(u"Syntax error");

    String name = scan_.ReadName();
    TOperator op;
    if (FindOperatorWord(name, op)) {
      if (op != opNot) throw EExpression(Format(u"%s not allowed here", {name}));
      TExpressionPtr operand = Factor();
      return Make<TUnaryOp>(opNot, std::move(operand));
    }
    if (name == u"TRUE" || name == u"FALSE") return Make<TBooleanLiteral>(name == u"TRUE");
    TExpressionList params;
    scan_.SkipBlanks();
    if (scan_.Peek() == u'(') {
      scan_.Skip();
      params = Parameters();
    }
    return Function(name, params);
  }

  TExpressionPtr Parenthesised() {
    scan_.Skip();
    scan_.SkipBlanks();
    if (scan_.Peek() == u')') throw EExpression(u"invalid sub-expression");
    bool outer = in_parameters_;
    in_parameters_ = false;
    TExpressionPtr e = Expression();
    in_parameters_ = outer;
    if (scan_.Peek() != u')') throw EExpression(u" ) expected");
    scan_.Skip();
    return e;
  }

  // After "(": parameters up to the closing ")".
  TExpressionList Parameters() {
    bool outer = in_parameters_;
    in_parameters_ = true;
    TExpressionList params;
    for (;;) {
      scan_.SkipBlanks();
      if (scan_.AtEndOfExpression()) throw EExpression(u"Incorrectly formed parameters");
      params.push_back(Expression());
      if (scan_.AtEndOfText()) throw EExpression(u"Incorrectly formed parameters");
      Char c = scan_.Peek();
      scan_.Skip();
      if (c == u')') break;
    }
    in_parameters_ = outer;
    return params;
  }

  TExpressionPtr Function(const String& name, TExpressionList& params) {
    if (name == u"IF") return Make<TConditional>(std::move(params));
    TExprType cast;
    if (FindCast(name, cast)) {
      if (params.empty()) throw EExpression(Format(u"Invalid parameter to %s", {name}));
      return Make<TTypeCast>(cast, std::move(params));
    }
    TMathFunction math;
    if (FindMathFunction(name, math)) return Make<TMathExpression>(math, name, std::move(params));
    TStringFunction str;
    if (FindStringFunction(name, str))
      return Make<TStringExpression>(str, name, std::move(params));
    return Resolve(name, params);
  }

  TExpressionPtr Resolve(const String& name, TExpressionList& params) {
    TExpressionPtr e = resolver_ ? resolver_(name, params) : nullptr;
    if (!e) throw EExpression(Format(u"Unknown Identifier %s", {name}));
    return WithOptions(std::move(e));
  }

  TFilterScanner scan_;
  bool case_insensitive_;
  bool partial_match_;
  const TIdentifierFunction& resolver_;
  Char decimal_separator_;
  bool in_parameters_ = false;
  int depth_ = 0;
};

}  // namespace

TExpressionPtr CreateExpression(StringView text, TFilterOptions options,
                                const TIdentifierFunction& resolver) {
  return Parser(text, options, resolver).Parse();
}

}  // namespace kavo
