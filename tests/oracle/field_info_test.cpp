// Column descriptions: the field kinds, unique names, the ROWID column; and
// the QBE definition's stored form.
#include <gtest/gtest.h>

#include "oracle/field_info.h"
#include "oracle/oracle_types.h"
#include "oracle/qbe_definition.h"
#include "oracle/session_preferences.h"
#include "rtl/exceptions.h"

namespace kavo::test {
namespace {

std::string Int(int32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
  return s;
}

// A stream written by hand from the table of its stored form.
std::string Stream(int32_t version, const std::vector<std::string>& names, bool wide) {
  std::string s = Int(version) + Int(static_cast<int32_t>(names.size()));
  for (const std::string& n : names) {
    std::string bytes;
    for (char c : n) {
      bytes.push_back(c);
      if (wide) bytes.push_back(0);
    }
    s += Int(static_cast<int32_t>(bytes.size())) + bytes;
    int flags = 3 + (version >= 2) + (version >= 3) + (version >= 4);
    s.push_back(1);
    for (int i = 1; i < flags; ++i) s.push_back(0);
  }
  return s;
}

const std::vector<std::string> kServiceFields = {"ACAO",  "CODIGO", "DADOS",  "DT_H_GRAV", "DT_H_PRI_P",
                                                 "DT_H_ULT_P", "ERRO", "HORA", "ORDEM", "STATUS",
                                                 "TABELA", "TIPO", "VERSAO"};

String MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return u"(no error)";
}

TEST(QBEDefinition, TheServiceDefinitionAndOlderVersionsLoad) {
  std::string stored = Stream(5, kServiceFields, true);
  ASSERT_EQ(stored.size(), 296u);
  TQBEDefinition def;
  def.LoadFromStream(stored);
  ASSERT_EQ(def.Fields().size(), 13u);
  EXPECT_EQ(def.Fields()[3].FieldName, u"DT_H_GRAV");
  for (const TQBEField& f : def.Fields()) {
    EXPECT_TRUE(f.Queryable);
    EXPECT_FALSE(f.AutoPartialMatch || f.CaseInsensitive || f.IgnoreTime || f.AutoContains || f.AutoSoundex);
  }
  EXPECT_EQ(def.SaveToStream(), stored);
  EXPECT_TRUE(def.ShouldStore(nullptr));
  TQBEDefinition same;
  same.LoadFromStream(stored);
  EXPECT_FALSE(def.ShouldStore(&same));
  same.Fields()[0].CaseInsensitive = true;
  EXPECT_TRUE(def.ShouldStore(&same));

  // Version 4: 8-bit names and one flag fewer than version 5.
  std::string v4 = Stream(4, {"CODIGO", "NOME"}, false);
  v4[4 + 4 + 4 + 6 + 3] = 1;  // CODIGO's IgnoreTime
  def.LoadFromStream(v4);
  ASSERT_EQ(def.Fields().size(), 2u);
  EXPECT_EQ(def.Fields()[1].FieldName, u"NOME");
  EXPECT_TRUE(def.Fields()[0].IgnoreTime);
  def.LoadFromStream(Stream(1, {"A"}, false));
  EXPECT_EQ(def.Fields()[0].FieldName, u"A");

  // Open adds the new columns and drops the gone ones.
  def.LoadFromStream(stored);
  def.Synchronize({u"ACAO", u"NOVO"});
  ASSERT_EQ(def.Fields().size(), 2u);
  EXPECT_EQ(def.Fields()[1].FieldName, u"NOVO");
  EXPECT_TRUE(def.Fields()[1].Queryable);
}

TEST(QBEDefinition, BadStreamsAreRefusedWithoutReadingPastTheEnd) {
  TQBEDefinition def;
  def.LoadFromStream(Stream(5, {"KEEP"}, true));
  EXPECT_EQ(MessageOf([&] { def.LoadFromStream(Stream(6, {"A"}, true)); }),
            u"Invalid version of QBEDefinition");
  std::string good = Stream(5, kServiceFields, true);
  EXPECT_EQ(MessageOf([&] { def.LoadFromStream(good.substr(0, good.size() - 1)); }),
            u"Invalid QBEDefinition stream: a flag runs past the end of the data");
  std::string big_count = good;
  big_count.replace(4, 4, Int(1000000));
  EXPECT_EQ(MessageOf([&] { def.LoadFromStream(big_count); }),
            u"Invalid QBEDefinition stream: field count 1000000 does not fit the data");
  std::string big_name = good;
  big_name.replace(8, 4, Int(0x7FFFFFF0));
  EXPECT_EQ(MessageOf([&] { def.LoadFromStream(big_name); }),
            u"Invalid QBEDefinition stream: name length 2147483632 does not fit the data");
  std::string negative = good;
  negative.replace(8, 4, Int(-4));
  EXPECT_EQ(MessageOf([&] { def.LoadFromStream(negative); }),
            u"Invalid QBEDefinition stream: name length -4 does not fit the data");
  std::string odd = Stream(5, {"AB"}, true);
  odd.replace(8, 4, Int(3));
  EXPECT_NE(MessageOf([&] { def.LoadFromStream(odd); }).find(u"Invalid QBEDefinition stream"),
            String::npos);
  EXPECT_EQ(MessageOf([&] { def.LoadFromStream(std::string("\x05\x00", 2)); }),
            u"Invalid QBEDefinition stream: the version runs past the end of the data");
  // A refused stream leaves the list as it was.
  ASSERT_EQ(def.Fields().size(), 1u);
  EXPECT_EQ(def.Fields()[0].FieldName, u"KEEP");
}

TEST(FieldInfo, UniqueNamesCountOnUntilUnique) {
  EXPECT_EQ(UniqueColumnNames({u"NAME", u"NAME"}), (std::vector<String>{u"NAME", u"NAME_1"}));
  EXPECT_EQ(UniqueColumnNames({u"NAME", u"name", u"NAME"}),
            (std::vector<String>{u"NAME", u"name_1", u"NAME_2"}));
  EXPECT_EQ(UniqueColumnNames({u"NAME", u"NAME", u"NAME_1"}),
            (std::vector<String>{u"NAME", u"NAME_2", u"NAME_1"}));
  EXPECT_EQ(UniqueColumnNames({u"A_1", u"A", u"A", u"A_2"}),
            (std::vector<String>{u"A_1", u"A", u"A_3", u"A_2"}));
}

TEST(FieldInfo, RowIdColumnByNameThenByType) {
  std::vector<TColumnDescription> cols(3);
  cols[0].Name = u"X";
  cols[1].Name = u"R";
  cols[1].DBType = otRowId;
  cols[2].Name = u"rowid";
  EXPECT_EQ(FindRowIdIndex(cols), 2);
  cols[2].Name = u"Y";
  EXPECT_EQ(FindRowIdIndex(cols), 1);
  cols[1].DBType = otRowidDesc;
  EXPECT_EQ(FindRowIdIndex(cols), 1);
  cols[1].DBType = otVarchar2;
  EXPECT_EQ(FindRowIdIndex(cols), -1);
}

TEST(FieldInfo, TheTypeTable) {
  TSessionPreferences prefs(nullptr);
  auto kind = [&](int type, int size = 0, int precision = 0, bool wide = false, bool utf16 = false) {
    TOracleFieldInfo info;
    info.DataType = type;
    info.Size = size;
    info.Precision = precision;
    info.IsWide = wide;
    info.IsUTF16 = utf16;
    auto def = CreateFieldDef(info, u"F", 3, false, prefs);
    return def ? std::make_pair(def->DataType, def->Size) : std::make_pair(ftUnknown, -1);
  };
  EXPECT_EQ(kind(otInteger, 0, 2), std::make_pair(ftInteger, 0));
  prefs.SetSmallIntPrecision(4);
  EXPECT_EQ(kind(otInteger, 0, 4), std::make_pair(ftSmallint, 0));
  EXPECT_EQ(kind(otInteger, 0, 5), std::make_pair(ftInteger, 0));
  EXPECT_EQ(kind(otFloat), std::make_pair(ftFloat, 0));
  EXPECT_EQ(kind(otString, 30), std::make_pair(ftString, 30));
  EXPECT_EQ(kind(otString, 30, 0, true), std::make_pair(ftWideString, 30));
  EXPECT_EQ(kind(otString, 30, 0, false, true), std::make_pair(ftString, 60));
  EXPECT_EQ(kind(otString, 0), std::make_pair(ftString, 1));
  prefs.SetMaxStringFieldSize(100);
  EXPECT_EQ(kind(otString, 101), std::make_pair(ftMemo, 0));
  EXPECT_EQ(kind(otString, 101, 0, true), std::make_pair(ftWideString, 101));
  EXPECT_EQ(kind(otLong), std::make_pair(ftMemo, 0));
  EXPECT_EQ(kind(otLong, 0, 0, true), std::make_pair(ftWideMemo, 0));
  EXPECT_EQ(kind(otDate), std::make_pair(ftDateTime, 0));
  EXPECT_EQ(kind(otTimestampLTZ), std::make_pair(ftDateTime, 0));
  EXPECT_EQ(kind(otLongRaw), std::make_pair(ftBlob, 0));
  EXPECT_EQ(kind(otReference), std::make_pair(ftString, 256));
  EXPECT_EQ(kind(otCLOB), std::make_pair(ftOraClob, 0));
  EXPECT_EQ(kind(otBFile), std::make_pair(ftOraBlob, 0));
  EXPECT_EQ(kind(otCursor), std::make_pair(ftUnknown, -1));

  TColumnDescription c;
  c.DataType = otString;
  EXPECT_FALSE(IsWideColumn(c, prefs));
  c.IsUTF8 = true;  // the session reads UTF-8 as UTF-16
  EXPECT_TRUE(IsWideColumn(c, prefs));
}

}  // namespace
}  // namespace kavo::test
