// The exactly-once delivery's INI value and the description its prepared
// transactions carry (the recovery resolves only what it reads back).
#include "service/exactly_once.h"

#include <gtest/gtest.h>

namespace kavo::test {
namespace {

TEST(EntregaUnica, OnOffOrUnreadable) {
  const struct {
    const Char* text;
    std::optional<bool> value;
  } cases[] = {
      {u"", false},      {u"  ", false},    {u"0", false},     {u"n", false},
      {u"Nao", false},   {u"false", false}, {u"no", false},    {u"1", true},
      {u" 1 ", true},    {u"s", true},      {u"Sim", true},    {u"TRUE", true},
      {u"yes", true},    {u"2", std::nullopt}, {u"on", std::nullopt}, {u"10", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(EntregaUnicaFromText(c.text), c.value) << StringToUtf8(c.text);
}

TEST(LimboDescription, WrittenAndReadBack) {
  String text = LimboDescription({u"AAAHxVAAEAAAAFbAAC", u"1234"}, u"host:4321");
  EXPECT_EQ(text, u"KavoIntegradorOracle ROWID=AAAHxVAAEAAAAFbAAC CODIGO=1234 OWNER=host:4321");
  std::optional<LimboRow> row = ParseLimboDescription(text);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->rowid, u"AAAHxVAAEAAAAFbAAC");
  EXPECT_EQ(row->codigo, u"1234");
  // Not this service's, or without the row: never resolved by it.
  for (const Char* other : {u"", u"KavoIntegradorOracle", u"KavoIntegradorOracle CODIGO=1",
                            u"KavoIntegradorOracle ROWID= CODIGO=1", u"Other ROWID=AAA",
                            u" KavoIntegradorOracle ROWID=AAA"})
    EXPECT_FALSE(ParseLimboDescription(other)) << StringToUtf8(other);
}

}  // namespace
}  // namespace kavo::test
