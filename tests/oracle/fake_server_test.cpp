// Session paths a real server rarely offers on demand, against a fixture
// client whose server can be lost: the lost connection and the banner of a
// client that still has OCI 7 routines.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "testkit/message_of.h"
#include "oracle/oci_library.h"
#include "oracle/oracle_error.h"
#include "oracle/query.h"
#include "oracle/session.h"

namespace kavo::test {
namespace {

class FakeServerTest : public ::testing::Test {
 protected:
  void Use(const char* library) {
    OCILibrary().DLLExit();
    OCILibrary().OCIDLL = Utf8ToString(library);
    OCILibrary().InitOCI();
    handle_ = dlopen(library, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle_, nullptr);
  }
  void TearDown() override {
    if (handle_ != nullptr) dlclose(handle_);
    session_.reset();
    OCILibrary().DLLExit();
    OCILibrary().OCIDLL.clear();
  }
  int& Var(const char* name) { return *static_cast<int*>(dlsym(handle_, name)); }
  void SetBanner(const char* text) {
    std::strcpy(static_cast<char*>(dlsym(handle_, "fake_banner")), text);
  }
  int ErrorCodeOf(void (TOracleSession::*call)()) {
    try {
      (session_.get()->*call)();
    } catch (const EOracleError& e) {
      return e.ErrorCode();
    }
    return 0;
  }

  void* handle_ = nullptr;
  std::unique_ptr<TOracleSession> session_ = std::make_unique<TOracleSession>(nullptr);
};

TEST_F(FakeServerTest, LostConnectionClearsWithinTwoFurtherLogons) {
  Use(FIXTURE_FAKE_SERVER);
  session_->SetLogonUsername(u"u/p");
  session_->LogOn();
  ASSERT_TRUE(session_->Connected());
  Var("fake_lost") = 1;

  // Ending the session fails after Connected has become False.
  try {
    session_->SetConnected(false);
    FAIL() << "logoff of a lost connection succeeded";
  } catch (const EOracleError& e) {
    EXPECT_EQ(e.ErrorCode(), 3113);
    EXPECT_EQ(e.Message(), u"ORA-03113: end-of-file on communication channel\n");
  }
  EXPECT_FALSE(session_->Connected());
  EXPECT_NO_THROW(session_->SetConnected(false)) << "a second logoff does nothing";
  EXPECT_GT(Var("fake_live_handles"), 0) << "the handles stay allocated";

  // The next logon first detaches the server, which fails...
  EXPECT_EQ(ErrorCodeOf(&TOracleSession::LogOn), 3114);
  EXPECT_FALSE(session_->Connected());
  // ...the one after it frees the old handles and connects afresh.
  Var("fake_lost") = 0;
  session_->LogOn();
  EXPECT_TRUE(session_->Connected());
  session_->SetConnected(false);
  EXPECT_EQ(Var("fake_live_handles"), 0) << "every handle and the environment are freed";
}

// A handle the client cannot allocate fails the logon naming the call, and
// the next logon allocates afresh.
TEST_F(FakeServerTest, ARefusedHandleAllocationFailsTheLogonAndNothingLeaks) {
  Use(FIXTURE_FAKE_SERVER);
  session_->SetLogonUsername(u"u/p");
  Var("fake_refused_handle_type") = 3;  // the service context
  EXPECT_EQ(MessageOf([&] { session_->LogOn(); }), u"OCIHandleAlloc failed (status -1)");
  EXPECT_FALSE(session_->Connected());
  Var("fake_refused_handle_type") = 0;
  session_->LogOn();
  EXPECT_TRUE(session_->Connected());
  session_->SetConnected(false);
  EXPECT_EQ(Var("fake_live_handles"), 0);
}

// The test query fails without an error record: neither 942 nor 1000, so the
// connection counts as broken and the session is logged off.
TEST_F(FakeServerTest, CheckConnectionOfALostServer) {
  Use(FIXTURE_FAKE_SERVER);
  session_->LogOn();
  Var("fake_lost") = 1;
  EXPECT_EQ(session_->CheckConnection(false), ccError);
  EXPECT_FALSE(session_->Connected());
  EXPECT_EQ(session_->CheckConnection(true), ccError) << "still lost: the detach fails";
  Var("fake_lost") = 0;
  EXPECT_EQ(session_->CheckConnection(true), ccReconnected);
  EXPECT_TRUE(session_->Connected());
}

TEST_F(FakeServerTest, CommitOnALostConnectionRaises) {
  Use(FIXTURE_FAKE_SERVER);
  session_->LogOn();
  Var("fake_lost") = 1;
  EXPECT_EQ(ErrorCodeOf(&TOracleSession::Commit), 3114);
  Var("fake_lost") = 0;
}

TEST_F(FakeServerTest, ClientWithOci7RoutinesAndAnUnmarkedBanner) {
  Use(FIXTURE_FAKE_SERVER7);
  ASSERT_TRUE(OCILibrary().OCI70());
  // Banners with a marker stay in OCI 8 mode.
  SetBanner("Oracle9i Enterprise Edition Release 9.2.0.1.0 - Production");
  session_->LogOn();
  EXPECT_TRUE(session_->UseOCI80());
  EXPECT_FALSE(session_->Oracle10());
  session_->SetConnected(false);
  // Without one, this client would be switched to OCI 7 mode, which is not built.
  SetBanner("Oracle Database 23ai Free Release 23.0.0.0.0 - Production");
  String message = MessageOf([&] { session_->LogOn(); });
  EXPECT_NE(message.find(u"OCI7 mode is not supported"), String::npos) << StringToUtf8(message);
  EXPECT_NE(message.find(u"OCISvcCtxToLda"), String::npos);
  EXPECT_FALSE(session_->Connected());
  // The server is detached and everything freed by the next logoff.
  session_->LogOff();
  EXPECT_EQ(Var("fake_live_handles"), 0);
}

// A client that exports oerhms gives the text of an error number, asked with
// a zero-filled stand-alone area and a 2001-byte buffer; the number travels
// as a 16-bit value.
TEST_F(FakeServerTest, ErrorMessageThroughOerhmsWhenTheClientHasIt) {
  Use(FIXTURE_FAKE_SERVER7);
  EXPECT_EQ(session_->ErrorMessage(942), u"ORA-00942: message of 942 (buffer 2001)\n");
  EXPECT_EQ(session_->ErrorMessage(65536 + 1017), u"ORA-01017: message of 1017 (buffer 2001)\n");
  // Without the routine the error names it.
  dlclose(handle_);
  handle_ = nullptr;
  Use(FIXTURE_FAKE_SERVER);
  String message = MessageOf([&] { session_->ErrorMessage(942); });
  EXPECT_NE(message.find(u"oerhms"), String::npos) << StringToUtf8(message);
}

// A client that reports more fetched rows than it was asked for, and a text
// longer than its element, is believed no further than the buffers reach, and
// its end of data still ends the cursor.
TEST_F(FakeServerTest, ReportedRowCountsAndLengthsStayWithinTheBuffers) {
  Use(FIXTURE_FAKE_SERVER);
  session_->LogOn();
  Var("fake_query") = 1;
  Var("fake_rows") = 30;
  TOracleQuery q(nullptr);
  q.SetSession(session_.get());
  q.SetSQLText(u"select n, t from anything");
  Var("fake_extra_count") = 1000;
  Var("fake_text_length") = 5000;
  q.Execute();
  ASSERT_TRUE(q.FieldIsUTF16(1));
  std::vector<int> seen;
  while (!q.Eof() && seen.size() < 1000) {
    seen.push_back(q.FieldAsInteger(0));
    String text = q.FieldAsString(1);
    EXPECT_EQ(text.substr(0, 2), u"ab");
    EXPECT_LE(q.FieldLength(1), 22) << "the element holds 22 bytes";
    q.Next();
  }
  EXPECT_TRUE(q.Eof());
  // Two batches of 25: the second ends the data (the client said so), and
  // only its first five rows are new; what the layer cannot know it reads
  // from its own buffer, never beyond it.
  ASSERT_EQ(seen.size(), 50u);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(seen[i], i + 1);
  for (int n : seen) EXPECT_TRUE(n >= 1 && n <= 30) << n;
  Var("fake_query") = 0;
}

}  // namespace
}  // namespace kavo::test
