// The filter language: parsing any text, then reading the tree in every
// type, as a record set does when it filters.
// Input: one byte of switches (bit 0: case-insensitive, bit 1: no partial
// compare, bit 2: comma as decimal separator), then the filter (UTF-8).
// Names the filter may use: I (Integer 7), S (String "abc"), F (Float 2.5),
// D (Date 45000.25), B (Boolean true) and N (a null String).
#include <cmath>
#include <memory>

#include "fuzz_input.h"
#include "oracle/filter_expression.h"
#include "oracle/filter_parser.h"
#include "rtl/exceptions.h"
#include "rtl/format_settings.h"

namespace {

using namespace kavo;

class Value : public TExpression {
 public:
  Value(TExprType type, bool null) : type_(type), null_(null) {}
  TExprType GetExprType() override { return type_; }
  bool GetIsNull() override { return null_; }
  TDateTime GetAsDate() override { return type_ == ttDate ? 45000.25 : TExpression::GetAsDate(); }
  String GetAsString() override {
    return type_ == ttString && !null_ ? u"abc" : TExpression::GetAsString();
  }
  double GetAsFloat() override { return type_ == ttFloat ? 2.5 : TExpression::GetAsFloat(); }
  int32_t GetAsInteger() override { return type_ == ttInteger ? 7 : TExpression::GetAsInteger(); }
  bool GetAsBoolean() override { return type_ == ttBoolean || TExpression::GetAsBoolean(); }

 private:
  TExprType type_;
  bool null_;
};

TExpressionPtr Names(const String& name, TExpressionList&) {
  if (name == u"I") return std::make_unique<Value>(ttInteger, false);
  if (name == u"S") return std::make_unique<Value>(ttString, false);
  if (name == u"F") return std::make_unique<Value>(ttFloat, false);
  if (name == u"D") return std::make_unique<Value>(ttDate, false);
  if (name == u"B") return std::make_unique<Value>(ttBoolean, false);
  if (name == u"N") return std::make_unique<Value>(ttString, true);
  return nullptr;
}

// One reading; the language's errors are expected answers.
template <typename F>
void Read(F&& read) {
  try {
    read();
  } catch (const EExpression&) {
  } catch (const EConvertError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t switches = data[0];
  FormatSettings().DecimalSeparator = switches & 4 ? u',' : u'.';
  String text = Utf8ToString(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  TFilterOptions options = (switches & 1 ? foCaseInsensitive : 0u) |
                           (switches & 2 ? foNoPartialCompare : 0u);
  TExpressionPtr e;
  try {
    e = CreateExpression(text, options, Names);
  } catch (const EExpression&) {
    return 0;
  }
  if (!e) return 0;
  FUZZ_CHECK(e->Depth() >= 1 && e->Depth() <= kMaxExpressionDepth);
  Read([&] { e->GetExprType(); });
  Read([&] { e->GetIsNull(); });
  Read([&] { e->GetAsBoolean(); });
  Read([&] { e->GetAsInteger(); });
  Read([&] { e->GetAsFloat(); });
  Read([&] { e->GetAsString(); });
  Read([&] { e->GetAsDate(); });
  return 0;
}
