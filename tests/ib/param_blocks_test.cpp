// Database and transaction parameter buffers.
#include <gtest/gtest.h>

#include "ib/ib_errors.h"
#include "ib/ib_param_blocks.h"
#include "testkit/ib_support.h"
#include "rtl/code_page.h"
#include "rtl/string_list.h"

namespace kavo::test {
namespace {

TStringList Lines(std::initializer_list<const Char*> lines) {
  TStringList list;
  for (const Char* l : lines) list.Add(l);
  return list;
}

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

String ClientErrorMessage(const std::function<void()>& f, int expected_code) {
  EIBClientError e = test::ClientError(f);
  EXPECT_EQ(e.SQLCode(), expected_code);
  return e.Message();
}

class DPB : public ::testing::Test {
 protected:
  void SetUp() override { SetAnsiCodePage("UTF-8"); }
};

TEST_F(DPB, StoredParametersGiveTheDocumentedBytesAndCharacterSet) {
  TDPBResult r = BuildDPB(Lines({u"user_name=VAVAVOR", u"lc_ctype=ISO8859_1"}));
  EXPECT_EQ(r.bytes, Bytes({1, 28, 7}) + "VAVAVOR" + Bytes({48, 9}) + "ISO8859_1");
  EXPECT_EQ(r.bytes.size(), 21u);
  EXPECT_TRUE(r.has_character_set);
  EXPECT_EQ(r.character_set, u"ISO8859_1");
  r = BuildDPB(Lines({u"user_name=VAVAVOR", u"password=kat4ro2", u"lc_ctype=ISO8859_1"}));
  EXPECT_EQ(r.bytes, Bytes({1, 28, 7}) + "VAVAVOR" + Bytes({29, 7}) + "kat4ro2" + Bytes({48, 9}) +
                         "ISO8859_1");
}

TEST_F(DPB, NumericEncodings) {
  EXPECT_EQ(BuildDPB(Lines({u"sql_dialect=3"})).bytes, Bytes({1, 63, 1, 3}));
  EXPECT_EQ(BuildDPB(Lines({u"sweep_interval=20000"})).bytes,
            Bytes({1, 22, 4, 32, 78, 0, 0}));
  EXPECT_EQ(BuildDPB(Lines({u"num_buffers=300"})).bytes, Bytes({1, 5, 1, 300 & 0xFF}));
  // sweep ignores its value; activate_shadow always sends 0.
  EXPECT_EQ(BuildDPB(Lines({u"sweep=9", u"activate_shadow=7"})).bytes,
            Bytes({1, 10, 1, 2, 21, 1, 0}));
  EXPECT_THROW(BuildDPB(Lines({u"num_buffers=many"})), EConvertError);
}

TEST_F(DPB, NamesAreMatchedLowerCasedWithOptionalPrefix) {
  EXPECT_EQ(BuildDPB(Lines({u"ISC_DPB_USER_NAME=x"})).bytes, Bytes({1, 28, 1}) + "x");
  // Values are taken as written, blanks included.
  EXPECT_EQ(BuildDPB(Lines({u"password= a "})).bytes, Bytes({1, 29, 3}) + " a ");
  // A line without "=" and a blank name part are skipped.
  EXPECT_EQ(BuildDPB(Lines({u"user_name", u"  =x", u""})).bytes, Bytes({1}));
}

TEST_F(DPB, UnknownAndUnsupportedNames) {
  EXPECT_EQ(ClientErrorMessage([] { BuildDPB(Lines({u"user_name =x"})); },
                               ibceDPBConstantUnknownEx),
            u"DPB Constant (user_name ) is unknown");
  EXPECT_EQ(ClientErrorMessage([] { BuildDPB(Lines({u"Page_Size=4096"})); },
                               ibceDPBConstantNotSupported),
            u"DPB Constant (isc_dpb_page_size) is unsupported");
  EXPECT_EQ(ClientErrorMessage([] { BuildDPB(Lines({u"isc_dpb_Bogus=1"})); },
                               ibceDPBConstantUnknownEx),
            u"DPB Constant (isc_dpb_Bogus) is unknown");
}

TEST_F(DPB, TextLongerThanItsLengthByteIsRefused) {
  String long_name(256, u'a');
  EXPECT_EQ(BuildDPB(Lines({(u"user_name=" + String(255, u'a')).c_str()})).bytes.size(), 258u);
  EXPECT_EQ(ClientErrorMessage([&] { BuildDPB(Lines({(u"user_name=" + long_name).c_str()})); },
                               ibceStringTooLarge),
            u"Trying to store a string of length 256 into a field that can only contain 255");
}

TEST(DPBNames, EightyFiveCodesInListOrder) {
  ASSERT_EQ(DPBConstantNames().size(), 85u);
  EXPECT_EQ(DPBConstantCode(u"user_name"), 28);
  EXPECT_EQ(DPBConstantCode(u"lc_ctype"), 48);
  EXPECT_EQ(DPBConstantCode(u"sql_dialect"), 63);
  EXPECT_EQ(DPBConstantCode(u"sys_encrypt_password"), 85);
  EXPECT_EQ(DPBConstantCode(u"nothing"), 0);
}

TEST(TPB, StoredParametersAndEmptyList) {
  EXPECT_EQ(BuildTPB(Lines({u"read_committed", u"rec_version", u"nowait"})),
            Bytes({3, 15, 17, 7}));
  EXPECT_EQ(BuildTPB(Lines({})), "");
  EXPECT_EQ(BuildTPB(Lines({u"isc_tpb_nowait", u"  ", u"WAIT"})), Bytes({3, 7, 6}));
}

TEST(TPB, TableReservations) {
  SetAnsiCodePage("UTF-8");
  EXPECT_EQ(BuildTPB(Lines({u"lock_write=CUSTOMERS"})), Bytes({3, 11, 9}) + "CUSTOMERS");
  EXPECT_EQ(BuildTPB(Lines({u"lock_read"})), Bytes({3, 10, 0}));
}

TEST(TPB, UnknownAndUnsupportedNames) {
  EXPECT_EQ(ClientErrorMessage([] { BuildTPB(Lines({u"autocommit"})); },
                               ibceTPBConstantNotSupported),
            u"TPB Constant (isc_tpb_autocommit) is unsupported");
  EXPECT_EQ(ClientErrorMessage([] { BuildTPB(Lines({u"readcommitted"})); },
                               ibceTPBConstantUnknownEx),
            u"TPB Constant (readcommitted) is unknown");
  EXPECT_EQ(ClientErrorMessage([] { BuildTPB(Lines({u"Bogus =T"})); }, ibceTPBConstantUnknownEx),
            u"TPB Constant (Bogus ) is unknown");
}

}  // namespace
}  // namespace kavo::test
