// Shared fixtures for the record-set tests: a pinned locale and code page,
// and a record set with a few columns and rows.
#ifndef KAVO_TESTS_RECORDSET_TEST_SUPPORT_H_
#define KAVO_TESTS_RECORDSET_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <memory>

#include "recordset/date_time_fields.h"
#include "recordset/numeric_fields.h"
#include "recordset/string_fields.h"
#include "recordset/memory_dataset.h"
#include "rtl/code_page.h"
#include "rtl/format_settings.h"

namespace kavo::testing {

// Expects `statement` to raise an exception of type E with exactly `text`.
#define EXPECT_RAISES(statement, E, text)                        \
  do {                                                           \
    try {                                                        \
      statement;                                                 \
      ADD_FAILURE() << "no exception from " #statement;          \
    } catch (const E& e_) {                                      \
      EXPECT_EQ(StringToUtf8(e_.Message()), std::string(text));  \
    }                                                            \
  } while (0)

class PinnedLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = FormatSettings();
    SetAnsiCodePage("CP1252");
    TFormatSettings fs;
    fs.ShortDateFormat = u"dd/mm/yyyy";
    fs.LongTimeFormat = u"hh:nn:ss";
    fs.DateSeparator = u'/';
    fs.TimeSeparator = u':';
    fs.DecimalSeparator = u',';
    fs.TimeAMString = u"AM";
    fs.TimePMString = u"PM";
    FormatSettings() = fs;
  }
  void TearDown() override { FormatSettings() = saved_; }

 private:
  TFormatSettings saved_;
};

// Record set "People": NAME string(10), SCORE float, SEEN date-time, with
// three rows ann/bob/cid, persistent fields owned by the test's container.
class PeopleTest : public PinnedLocale {
 protected:
  void SetUp() override {
    PinnedLocale::SetUp();
    ds = new MemoryDataSet(&owner);
    ds->SetName(u"People");
    ds->Columns().Add(u"NAME", ftString, 10);
    ds->Columns().Add(u"SCORE", ftFloat);
    ds->Columns().Add(u"SEEN", ftDateTime);
    for (const char* n : {"ann", "bob", "cid"}) ds->AddRow({Text(n), Float(1.5), std::nullopt});
    name = new TStringField(&owner);
    name->SetFieldName(u"NAME");
    name->SetSize(10);
    name->SetDataSet(ds);
    score = new TFloatField(&owner);
    score->SetFieldName(u"SCORE");
    score->SetDataSet(ds);
  }

  String Name() const { return name->AsString(); }

  TComponent owner{nullptr};
  MemoryDataSet* ds = nullptr;
  TStringField* name = nullptr;
  TFloatField* score = nullptr;
};

// A post hook that refuses while `fail` is set.
inline std::function<void(const Row&, bool)> FailingPost(const bool& fail) {
  return [&fail](const Row&, bool) {
    if (fail) throw Exception(u"server refused");
  };
}

}  // namespace kavo::testing

#endif  // KAVO_TESTS_RECORDSET_TEST_SUPPORT_H_
