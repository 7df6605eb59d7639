// A test fixture that pins the process-wide format settings and the ANSI
// code page, so texts do not depend on the machine's locale, and the check
// for an exact exception text.
#ifndef KAVO_TESTKIT_PINNED_LOCALE_H_
#define KAVO_TESTKIT_PINNED_LOCALE_H_

#include <gtest/gtest.h>

#include <string>

#include "rtl/code_page.h"
#include "rtl/format_settings.h"
#include "rtl/ustring.h"

namespace kavo::test {

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

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_PINNED_LOCALE_H_
