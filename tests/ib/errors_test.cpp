// Error reporting: client errors, server messages assembled from the status
// vector through the real client library, the message switches.
#include <gtest/gtest.h>

#include <thread>

#include "ib/ib_errors.h"
#include "ib/ib_intf.h"
#include "rtl/code_page.h"

namespace kavo::test {
namespace {

IGDSLibrary& Firebird() {
  String name = u"IBServer";
  static IGDSLibraryPtr lib = [&] {
    IGDSLibraryPtr l = GetGDSLibrary(name);
    l->CheckIBLoaded();
    return l;
  }();
  return *lib;
}

void SetStatus(std::initializer_list<ISC_STATUS> words) {
  ISC_STATUS* status = StatusVector();
  std::fill(status, status + kStatusVectorLength, 0);
  std::copy(words.begin(), words.end(), status);
}

ISC_STATUS Text(const char* s) { return reinterpret_cast<ISC_STATUS>(s); }

class ServerMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    SetAnsiCodePage("UTF-8");
    saved_ = GetIBDataBaseErrorMessages();
  }
  void TearDown() override { SetIBDataBaseErrorMessages(saved_); }

  template <typename E>
  E Raised() {
    try {
      IBDataBaseError(Firebird());
    } catch (const E& e) {
      return e;
    }
    ADD_FAILURE() << "nothing raised";
    return E(0, u"");
  }

  TIBDataBaseErrorMessages saved_ = 0;
};

TEST_F(ServerMessages, TwoTextsAreJoinedByOneLineBreakAndLoseTheFinalPeriod) {
  static const char host[] = "dbhost";
  SetStatus({isc_arg_gds, isc_network_error, isc_arg_string, Text(host), isc_arg_gds,
             isc_lost_db_connection, isc_arg_end});
  EIBInterBaseError e = Raised<EIBInterBaseError>();
  EXPECT_EQ(e.Message(),
            u"Unable to complete network request to host \"dbhost\".\r\nconnection lost to "
            u"database");
  EXPECT_EQ(e.SQLCode(), -902);
  EXPECT_EQ(e.IBErrorCode(), isc_network_error);

  SetStatus({isc_arg_gds, isc_login, isc_arg_end});
  e = Raised<EIBInterBaseError>();
  EXPECT_EQ(e.Message(), u"Your user name and password are not defined. Ask your database "
                         u"administrator to set up a Firebird login");
}

TEST_F(ServerMessages, OnlyOneOfTwoFinalPeriodsIsRemoved) {
  static const char text[] = "it failed..";
  SetStatus({isc_arg_gds, isc_random, isc_arg_string, Text(text), isc_arg_end});
  EXPECT_EQ(Raised<EIBInterBaseError>().Message(), u"it failed.");
}

TEST_F(ServerMessages, ShowSQLCodePutsTheCodeOnALineOfItsOwn) {
  static const char index[] = "PK_T";
  SetIBDataBaseErrorMessages(ErrorMessageFlag(ShowSQLCode) | ErrorMessageFlag(ShowIBMessage));
  SetStatus({isc_arg_gds, isc_no_dup, isc_arg_string, Text(index), isc_arg_end});
  EIBInterBaseError e = Raised<EIBInterBaseError>();
  EXPECT_EQ(e.Message(), u"SQLCODE: -803\r\nattempt to store duplicate value (visible to active "
                         u"transactions) in unique index \"PK_T\"");
  // The code alone, without the texts.
  SetIBDataBaseErrorMessages(ErrorMessageFlag(ShowSQLCode));
  EXPECT_EQ(Raised<EIBInterBaseError>().Message(), u"SQLCODE: -803");
  // ShowSQLMessage adds nothing.
  SetIBDataBaseErrorMessages(ErrorMessageFlag(ShowSQLMessage));
  EXPECT_EQ(Raised<EIBInterBaseError>().Message(), u"");
}

TEST_F(ServerMessages, PermissionErrorIsARoleErrorNotAnInterBaseError) {
  static const char a[] = "SELECT", b[] = "TABLE", c[] = "T";
  SetStatus({isc_arg_gds, isc_no_priv, isc_arg_string, Text(a), isc_arg_string, Text(b),
             isc_arg_string, Text(c), isc_arg_end});
  bool caught_as_interbase = false;
  try {
    try {
      IBDataBaseError(Firebird());
    } catch (const EIBInterBaseError&) {
      caught_as_interbase = true;
    }
  } catch (const EIBInterBaseRoleError& e) {
    EXPECT_EQ(e.SQLCode(), -551);
    EXPECT_EQ(e.IBErrorCode(), isc_no_priv);
    EXPECT_EQ(e.Message(), u"no permission for SELECT access to TABLE T");
  }
  EXPECT_FALSE(caught_as_interbase);
}

TEST(IBClientErrors, CarryTheirPositionAsSQLCode) {
  try {
    IBError(ibceDatabaseClosed);
    FAIL();
  } catch (const EIBClientError& e) {
    EXPECT_EQ(e.SQLCode(), 15);
    EXPECT_EQ(e.IBErrorCode(), 0);
    EXPECT_EQ(e.Message(), u"Cannot perform operation -- DB is not open");
  }
  try {
    IBError(ibceStringTooLarge, {12, 10});
    FAIL();
  } catch (const EIBClientError& e) {
    EXPECT_EQ(e.SQLCode(), 119);
    EXPECT_EQ(e.Message(),
              u"Trying to store a string of length 12 into a field that can only contain 10");
  }
  // Arguments that do not fit the placeholders raise the format error.
  EXPECT_THROW(IBError(ibceFieldNotFound, {}), EConvertError);
}

TEST(IBClientErrors, EveryMemberHasAText) {
  for (int i = 0; i < kIBClientErrorCount; ++i)
    EXPECT_FALSE(IBErrorMessage(static_cast<TIBClientError>(i)).empty()) << i;
  EXPECT_EQ(IBErrorMessage(ibceInvalidLibraryType),
            u"Invalid library type assigned.  Valid strings are %s");
  EXPECT_EQ(IBErrorMessage(ibceSQLParseError), u"SQL Parse Error:\r\n\r\n%s");
  EXPECT_EQ(IBErrorMessage(ibceTPBConstantUnknownEx), u"TPB Constant (%s) is unknown");
}

TEST(IBStatusVector, FindsCodesOnlyInNumberClusters) {
  static const char text[] = "x";
  // 335544741 appears as a text length word, which must not count.
  SetStatus({isc_arg_cstring, isc_lost_db_connection, Text(text), isc_arg_gds, isc_net_read_err,
             isc_arg_number, 42, isc_arg_end});
  EXPECT_FALSE(CheckStatusVector({isc_lost_db_connection}));
  EXPECT_TRUE(CheckStatusVector({isc_net_write_err, isc_net_read_err}));
  EXPECT_TRUE(CheckStatusVector({42}));
  // The walk stops at the end cluster.
  SetStatus({isc_arg_gds, isc_random, isc_arg_end, isc_arg_gds, isc_lost_db_connection});
  EXPECT_FALSE(CheckStatusVector({isc_lost_db_connection}));
}

TEST(IBErrorSwitches, DefaultShowsTheMessagesOnly) {
  EXPECT_EQ(GetIBDataBaseErrorMessages(),
            ErrorMessageFlag(ShowIBMessage) | ErrorMessageFlag(ShowSQLMessage));
}

}  // namespace
}  // namespace kavo::test
