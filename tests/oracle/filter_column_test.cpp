// Filters over a record set's fields, and a few thousand generated filter
// texts parsed and read under the sanitizers.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "oracle/filter_column.h"
#include "oracle/filter_parser.h"
#include "rtl/datetime.h"
#include "testkit/memory_dataset.h"
#include "testkit/message_of.h"
#include "testkit/pinned_locale.h"

namespace kavo::test {
namespace {

// Record set "Stock": NAME string(20), QTY integer, PRICE float, SEEN
// date-time (native: milliseconds), "ORDER NO" string(10), SMALL smallint,
// BIG large integer; default fields.
class FilterColumnTest : public PinnedLocale {
 protected:
  void SetUp() override {
    PinnedLocale::SetUp();
    ds.SetName(u"Stock");
    ds.Columns().Add(u"NAME", ftString, 20);
    ds.Columns().Add(u"QTY", ftInteger);
    ds.Columns().Add(u"PRICE", ftFloat);
    ds.Columns().Add(u"SEEN", ftDateTime);
    ds.Columns().Add(u"ORDER NO", ftString, 10);
    ds.Columns().Add(u"SMALL", ftSmallint);
    ds.Columns().Add(u"BIG", ftLargeint);
    Row(Text("ABC"), Int32(5), Float(2.5), Seen(45651.5), Text("o1"));
    Row(Text("AB"), std::nullopt, Float(1), std::nullopt, Text("o2"));
    Row(Text("ab*"), Int32(3), Float(-4), Seen(45652), std::nullopt);
    Row(Text("xAb"), Int32(7), std::nullopt, Seen(2), Text("o4"));
    Row(Text("AB*"), Int32(-1), Float(0.5), Seen(45651), Text("o5"));
    ds.Open();
  }

  void Row(Value name, Value qty, Value price, Value seen, Value order) {
    ds.AddRow({name, qty, price, seen, order, Small(2), Int64(1LL << 40)});
  }
  static Value Seen(TDateTime days) {
    TTimeStamp ts = DateTimeToTimeStamp(days);
    return Float(static_cast<double>(ts.Date) * kMSecsPerDay + ts.Time);
  }
  static Value Small(int16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); }

  TExpressionPtr Parse(const std::string& text, TFilterOptions options = 0) {
    return CreateExpression(Utf8ToString(text), options, GetColumnExpr(ds));
  }

  // The NAMEs of the records the filter accepts, joined by commas.
  std::string Accepted(const std::string& text, TFilterOptions options = 0) {
    TExpressionPtr e = Parse(text, options);
    std::string names;
    for (ds.First(); !ds.Eof(); ds.Next())
      if (e->GetAsBoolean())
        names += (names.empty() ? "" : ",") + StringToUtf8(ds.FieldByName(u"NAME").AsString());
    return names;
  }

  TComponent owner{nullptr};
  MemoryDataSet ds{&owner};
};

TEST_F(FilterColumnTest, WildcardsCaseAndExactComparison) {
  EXPECT_EQ(Accepted("NAME = 'AB*'"), "ABC,AB,AB*");
  EXPECT_EQ(Accepted("NAME = 'AB*'", foNoPartialCompare), "AB*");
  EXPECT_EQ(Accepted("NAME = 'ab*'", foCaseInsensitive), "ABC,AB,ab*,AB*");
  EXPECT_EQ(Accepted("NAME = 'ab*'", foCaseInsensitive | foNoPartialCompare), "ab*,AB*");
  EXPECT_EQ(Accepted("name <> 'AB?'"), "AB,ab*,xAb");
  EXPECT_EQ(Accepted("NAME > 'AB'"), "ABC,ab*,xAb,AB*");
}

TEST_F(FilterColumnTest, NullFieldsCompareOnlyWithNull) {
  EXPECT_EQ(Accepted("QTY = NULL"), "AB");
  EXPECT_EQ(Accepted("QTY <> NULL"), "ABC,ab*,xAb,AB*");
  EXPECT_EQ(Accepted("QTY > NULL"), "");
  EXPECT_EQ(Accepted("QTY < 100"), "ABC,ab*,xAb,AB*");  // a null field is not 0 here
  EXPECT_EQ(Accepted("[ORDER NO] = NULL"), "ab*");
  EXPECT_EQ(Accepted("PRICE = NULL"), "xAb");
}

TEST_F(FilterColumnTest, FieldKindsGiveTheExpressionTypes) {
  EXPECT_EQ(Parse("QTY")->GetExprType(), ttInteger);
  EXPECT_EQ(Parse("SMALL")->GetExprType(), ttInteger);
  EXPECT_EQ(Parse("BIG")->GetExprType(), ttInteger);
  EXPECT_EQ(Parse("PRICE")->GetExprType(), ttFloat);
  EXPECT_EQ(Parse("SEEN")->GetExprType(), ttDate);
  EXPECT_EQ(Parse("NAME")->GetExprType(), ttString);
  EXPECT_EQ(Parse("NULL")->GetExprType(), ttString);
  EXPECT_EQ(Accepted("(QTY DIV 2 = 1) OR (SMALL * QTY = 14)"), "ab*,xAb");
  EXPECT_EQ(Accepted("PRICE * 2 >= 1"), "ABC,AB,AB*");
  EXPECT_EQ(Accepted("FLOAT(SEEN) > 45651,1"), "ABC,ab*");  // a date reads as its number
  EXPECT_EQ(Accepted("SEEN < '26/12/2024'"), "ABC,xAb,AB*");
  EXPECT_EQ(Accepted("STRING(SEEN) = '25/12/2024*'"), "ABC,AB*");
  EXPECT_EQ(Accepted("(TRUNC(FLOAT(SEEN) + (0,5)) = 45652) AND (NAME <> 'ab*')"), "ABC");
  EXPECT_EQ(Accepted("[ORDER NO] + NAME = 'o2AB'"), "AB");
  EXPECT_EQ(Accepted("IF(QTY > 4, NAME, 'none') = 'none'"), "AB,ab*,AB*");
  // BIG does not fit 32 bits: reading it as an Integer fails like the field.
  EXPECT_NE(StringToUtf8(MessageOf([&] { Accepted("BIG = 1"); })), "(none)");
}

TEST_F(FilterColumnTest, AMissingFieldFailsWhenItsTypeIsFirstAsked) {
  const char* missing = "Stock: Field 'NOSUCH' not found";
  EXPECT_EQ(StringToUtf8(MessageOf([&] { Parse("-NOSUCH = 1"); })), missing);
  EXPECT_EQ(StringToUtf8(MessageOf([&] { Parse("NOSUCH + 1 = 1"); })), missing);
  TExpressionPtr e = Parse("NOSUCH = 1");  // a comparison does not ask while built
  EXPECT_EQ(StringToUtf8(MessageOf([&] { e->GetAsBoolean(); })), missing);
  EXPECT_EQ(StringToUtf8(MessageOf([&] { Accepted("PRICE + 1"); })),
            "Internal parser error. Code 13");
}

// ---- generated filter texts ----------------------------------------------------

// Filter texts that are mostly well typed (numbers with numbers, texts with
// texts), with some mixed types, odd values and mutated characters.
class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  std::string Filter() {
    std::string text = Condition(0);
    int mutations = Pick(5) == 0 ? 1 + Pick(3) : 0;
    for (int i = 0; i < mutations && !text.empty(); ++i) Mutate(text);
    return text;
  }

 private:
  int Pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }
  template <size_t N>
  const char* One(const char* const (&items)[N]) { return items[Pick(static_cast<int>(N))]; }

  std::string Condition(int depth) {
    static const char* const kCmp[] = {"=", "<>", "<", ">", "<=", ">="};
    std::string c;
    switch (Pick(8)) {
      case 0: c = Text(depth) + " " + One(kCmp) + " " + Text(depth); break;
      case 1: c = Date(depth) + " " + One(kCmp) + " " + Date(depth); break;
      case 2: c = Any(depth) + " " + One(kCmp) + " " + Any(depth); break;
      case 3: c = One({"TRUE", "FALSE", "QTY = NULL", "NAME <> NULL"}); break;
      default: c = Number(depth) + " " + One(kCmp) + " " + Number(depth); break;
    }
    if (depth < 2 && Pick(3) == 0) {
      static const char* const kJoin[] = {" AND ", " OR ", " XOR "};
      c = "(" + c + ")" + One(kJoin) + "(" + Condition(depth + 1) + ")";
    }
    return Pick(6) == 0 ? "NOT (" + c + ")" : c;
  }

  std::string Number(int depth) {
    static const char* const kAtoms[] = {"QTY", "PRICE", "SMALL", "0", "1", "7", "2147483647",
                                         "2147483648", "1,5", "1E308", "1E-5", "PI", "TRUE",
                                         "(-2147483647 - 1)", "-1"};
    static const char* const kOps[] = {"+", "-", "*", "/", "DIV", "MOD", "AND", "OR", "XOR",
                                       "SHL", "SHR"};
    static const char* const kFunctions[] = {"TRUNC", "ROUND", "ABS", "SQRT", "LN", "EXP",
                                             "FRAC", "INT", "SQR", "LENGTH", "-", "NOT ",
                                             "INTEGER", "FLOAT"};
    if (depth > 3 || Pick(3) == 0) return One(kAtoms);
    switch (Pick(4)) {
      case 0: return std::string(One(kFunctions)) + "(" + Number(depth + 1) + ")";
      case 1: return "POWER(" + Number(depth + 1) + ", " + Number(depth + 1) + ")";
      case 2: return "POS(" + Text(depth + 1) + ", " + Text(depth + 1) + ")";
      default: return "(" + Number(depth + 1) + " " + One(kOps) + " " + Number(depth + 1) + ")";
    }
  }

  std::string Text(int depth) {
    static const char* const kAtoms[] = {"NAME", "[ORDER NO]", "'AB*'", "'?'", "''", "'x''y'",
                                         "NULL", "'a*b?c'"};
    if (depth > 3 || Pick(3) == 0) return One(kAtoms);
    switch (Pick(4)) {
      case 0: return std::string(One({"UPPER", "LOWER", "STRING"})) + "(" + Text(depth + 1) + ")";
      case 1:
        return "COPY(" + Text(depth + 1) + ", " + Number(depth + 1) + ", " + Number(depth + 1) +
               ")";
      case 2:
        return "IF(" + Condition(depth + 1) + ", " + Text(depth + 1) + ", " + Text(depth + 1) +
               ")";
      default: return Text(depth + 1) + " + " + Any(depth + 1);
    }
  }

  std::string Date(int depth) {
    static const char* const kAtoms[] = {"SEEN", "DATE(45651)", "DATE('25/12/2024')",
                                         "'26/12/2024'"};
    if (depth > 3 || Pick(2) == 0) return One(kAtoms);
    return Date(depth + 1) + " " + One({"+", "-"}) + " " + Number(depth + 1);
  }

  std::string Any(int depth) {
    switch (Pick(4)) {
      case 0: return Text(depth);
      case 1: return Date(depth);
      case 2: return One({"NOSUCH", "BIG", "BOOLEAN(QTY)", "IF(1, 2)", "COPY(1)", "(1 = 1)"});
      default: return Number(depth);
    }
  }

  template <size_t N>
  const char* One(const char* const (&&items)[N]) { return items[Pick(static_cast<int>(N))]; }

  void Mutate(std::string& text) {
    static const char kChars[] = "()[]',=<>+-*/ .E9aZ_#\t";
    size_t at = static_cast<size_t>(Pick(static_cast<int>(text.size())));
    switch (Pick(3)) {
      case 0: text.erase(at, 1); break;
      case 1: text.insert(at, 1, kChars[Pick(sizeof kChars - 1)]); break;
      default: text[at] = kChars[Pick(sizeof kChars - 1)]; break;
    }
  }

  std::mt19937 rng_;
};

TEST_F(FilterColumnTest, GeneratedFiltersOnlyEverRaiseTheProgramsErrors) {
  Generator gen(20241225);
  int parsed = 0, accepted = 0, evaluated = 0;
  for (int i = 0; i < 4000; ++i) {
    std::string text = gen.Filter();
    SCOPED_TRACE(text);
    TExpressionPtr e;
    try {
      e = Parse(text, i % 3 == 0 ? TFilterOptions{foCaseInsensitive} : TFilterOptions{0});
    } catch (const Exception&) {
      continue;  // a refused text; anything else escapes and fails the test
    }
    if (!e) continue;
    ++parsed;
    for (ds.First(); !ds.Eof(); ds.Next()) {
      try {
        if (e->GetAsBoolean()) ++accepted;
        ++evaluated;
      } catch (const Exception&) {
      }
      // Every reader, whatever the type: only the program's errors.
      for (int r = 0; r < 5; ++r) {
        try {
          switch (r) {
            case 0: e->GetAsDate(); break;
            case 1: e->GetAsString(); break;
            case 2: e->GetAsFloat(); break;
            case 3: e->GetAsInteger(); break;
            default: e->GetExprType(); break;
          }
        } catch (const Exception&) {
        }
      }
    }
  }
  // The generator reaches deep into the language, not only its errors.
  EXPECT_GT(parsed, 1500);
  EXPECT_GT(evaluated, 2000);
  EXPECT_GT(accepted, 500);
}

}  // namespace
}  // namespace kavo::test
