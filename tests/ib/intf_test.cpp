// The client-library binding: server types, loading, version detection and
// the entries a client lacks.
#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <thread>

#include "ib/ib_database.h"
#include "ib/ib_errors.h"
#include "ib/ib_intf.h"
#include "ib/ib_server_dates.h"
#include "platform/dynamic_library.h"
#include "rtl/datetime.h"
#include "rtl/format.h"
#include "testkit/ib_support.h"

namespace kavo::test {
namespace {

// A library object that loads a given file instead of the Firebird client.
class FileLibrary : public TIBServerLibrary {
 public:
  explicit FileLibrary(std::string file) : file_(std::move(file)) {}
  std::string LibraryName() const override { return file_; }
  std::vector<std::string> AlternativeLibraryNames() const override { return {}; }

 private:
  std::string file_;
};

TEST(IBServerTypes, AnySpellingSelectsTheRegisteredLibrary) {
  String exact = u"IBServer";
  IGDSLibraryPtr server = GetGDSLibrary(exact);
  for (String name : {u"ibserver", u"IBSERVER", u"iBsErVeR"}) {
    IGDSLibraryPtr lib = GetGDSLibrary(name);
    EXPECT_EQ(lib, server);
    EXPECT_EQ(name, u"IBServer");
  }
  String embedded = u"IBEMBEDDED";
  IGDSLibraryPtr lib = GetGDSLibrary(embedded);
  EXPECT_EQ(embedded, u"IBEmbedded");
  EXPECT_NE(lib, server);
#ifdef _WIN32
  // Their own names; Firebird's fbclient.dll serves both when they are absent.
  EXPECT_EQ(lib->LibraryName(), "ibtogo.dll");
  EXPECT_EQ(server->LibraryName(), "gds32.dll");
#else
  // Both types load the one Firebird client.
  EXPECT_EQ(lib->LibraryName(), "libfbclient.so.2");
  EXPECT_EQ(server->LibraryName(), "libfbclient.so.2");
#endif
}

TEST(IBServerTypes, UnknownTypeNamesTheRegisteredOnes) {
  String name = u"Firebird";
  EIBClientError e = test::ClientError([&] { GetGDSLibrary(name); });
  EXPECT_EQ(e.Message().rfind(u"Invalid library type assigned.  Valid strings are IBServer "
                              u"IBEmbedded", 0),
            0u)
      << StringToUtf8(e.Message());
  EXPECT_EQ(e.SQLCode(), ibceInvalidLibraryType);
  EXPECT_EQ(name, u"Firebird");
}

TEST(IBServerTypes, ConnectionTakesTheRegisteredSpellingAndLoadsOnce) {
  TIBDatabase db(nullptr);
  db.SetServerType(u"ibserver");
  EXPECT_EQ(db.ServerType(), u"IBServer");
  auto* lib = dynamic_cast<TIBServerLibrary*>(&db.GDSLibrary());
  ASSERT_NE(lib, nullptr);
  int loads = lib->LoadCount();
  EXPECT_EQ(loads, 1);
  db.SetServerType(u"IBSERVER");
  db.SetServerType(u"IBServer");
  EXPECT_EQ(lib->LoadCount(), loads);
  // A failed selection keeps the library selected before.
  EXPECT_THROW(db.SetServerType(u"Firebird"), EIBClientError);
  EXPECT_EQ(db.ServerType(), u"IBServer");
  EXPECT_EQ(&db.GDSLibrary(), lib);
}

// Firebird's client answers the ISC version calls with 6 and 3 (its
// version text reads "WI-V6.3... Firebird 3.0"): above 6.0, below 7.0.
TEST(IBClientLibrary, FirebirdThreeReportsSixPointThree) {
  String name = u"IBServer";
  IGDSLibraryPtr lib = GetGDSLibrary(name);
  EXPECT_DOUBLE_EQ(lib->GetIBClientVersion(), 6.3);
  // It has the InterBase 6 entries but none of the 7.x or 2007 ones.
  EXPECT_NE(lib->EntryAddress(IBEntry::isc_rollback_retaining), nullptr);
  EXPECT_NE(lib->EntryAddress(IBEntry::isc_encode_sql_time), nullptr);
  EIBClientError e = test::ClientError([&] { lib->isc_start_savepoint(nullptr, nullptr, "S"); });
  EXPECT_EQ(e.Message(), u"isc_start_savepoint is an InterBase 7.1 function. Please upgrade to "
                         u"InterBase 7.1 to use this functonality");
  EXPECT_EQ(e.SQLCode(), 0);
  e = test::ClientError([&] { lib->EntryAddress(IBEntry::isc_dsql_batch_execute); });
  EXPECT_EQ(e.Message(), u"isc_dsql_batch_execute is an InterBase 2007 function. Please upgrade "
                         u"to InterBase 2007 to use this functonality");
  e = test::ClientError([&] { lib->EntryAddress(IBEntry::isc_blob_gen_bpb2); });
  EXPECT_EQ(e.Message(), u"isc_blob_gen_bpb2 is an InterBase 7.0 function. Please upgrade to "
                         u"InterBase 7.0 to use this functonality");
}

// Parameters compute the server's dates and times themselves; they must be
// what the client's encoders make of the same broken-down value, on every
// calendar day and every second of the day.
TEST(IBClientLibrary, ServerDatesAndTimesAgreeWithTheClientsEncoders) {
  String name = u"IBServer";
  IGDSLibraryPtr lib = GetGDSLibrary(name);
  lib->CheckIBLoaded();
  int mismatches = 0;
  for (int32_t day = 1; day <= kLastCalendarDay && mismatches < 5; ++day) {
    TTimeStamp ts{0, day};
    int y, m, d;
    DecodeDate(TimeStampToDateTime(ts), y, m, d);
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = m - 1;
    t.tm_mday = d;
    ISC_DATE expected = 0, ours = 0;
    lib->isc_encode_sql_date(&t, &expected);
    ASSERT_TRUE(ServerDate(ts, ours));
    if (ours != expected) {
      ADD_FAILURE() << "day " << day << ": " << ours << " against " << expected;
      ++mismatches;
    }
  }
  ISC_DATE unused;
  EXPECT_FALSE(ServerDate(TTimeStamp{0, 0}, unused));
  EXPECT_FALSE(ServerDate(TTimeStamp{0, kLastCalendarDay + 1}, unused));
  for (int32_t ms = 0; ms < kMSecsPerDay; ms += 997) {
    std::tm t{};
    t.tm_hour = ms / 3600000;
    t.tm_min = ms / 60000 % 60;
    t.tm_sec = ms / 1000 % 60;
    ISC_TIME expected = 0;
    lib->isc_encode_sql_time(&t, &expected);
    ASSERT_EQ(ServerTime(TTimeStamp{ms, kDateDelta}), expected) << ms;
  }
}

TEST(IBClientLibrary, WithoutClientVersionEntryReportsSixZero) {
  FileLibrary lib(FAKE_CLIENT_V6);
  EXPECT_DOUBLE_EQ(lib.GetIBClientVersion(), 6.0);
  EXPECT_NE(lib.EntryAddress(IBEntry::isc_decode_sql_date), nullptr);
  EIBClientError e = test::ClientError([&] { lib.isc_get_client_major_version(); });
  EXPECT_EQ(e.Message(), u"isc_get_client_major_version is an InterBase 7.0 function. Please "
                         u"upgrade to InterBase 7.0 to use this functonality");
  EXPECT_EQ(e.SQLCode(), 0);
  EXPECT_EQ(e.IBErrorCode(), 0);
}

TEST(IBClientLibrary, WithoutRollbackRetainingReportsFiveZero) {
  FileLibrary lib(FAKE_CLIENT_V5);
  EXPECT_DOUBLE_EQ(lib.GetIBClientVersion(), 5.0);
  ISC_DATE date = 0;
  std::tm t{};
  EIBClientError e = test::ClientError([&] { lib.isc_decode_sql_date(&date, &t); });
  EXPECT_EQ(e.Message(), u"isc_decode_sql_date is an InterBase 6 function. Please upgrade to "
                         u"InterBase 6 to use this functonality");
  e = test::ClientError([&] { lib.EntryAddress(IBEntry::isc_rollback_retaining); });
  EXPECT_EQ(e.Message().rfind(u"isc_rollback_retaining is an InterBase 6 function", 0), 0u);
}

TEST(IBClientLibrary, FreedLibraryRefusesItsEntriesUntilReloaded) {
  FileLibrary lib(FAKE_CLIENT_V6);
  lib.CheckIBLoaded();
  lib.FreeIBLibrary();
  EXPECT_FALSE(lib.Loaded());
  EXPECT_THROW(lib.EntryAddress(IBEntry::isc_attach_database), EIBClientError);
  EXPECT_DOUBLE_EQ(lib.GetIBClientVersion(), 6.0);  // loads again
  EXPECT_EQ(lib.LoadCount(), 2);
  EXPECT_NE(lib.EntryAddress(IBEntry::isc_attach_database), nullptr);
}

TEST(IBClientLibrary, MajorTwoMinorFiveIsTwoPointFive) {
  FileLibrary lib(FAKE_CLIENT_V25);
  EXPECT_DOUBLE_EQ(lib.GetIBClientVersion(), 2.5);
  // Below 7.0 and 7.1: the version-2 and savepoint entries stay unavailable.
  EXPECT_THROW(lib.EntryAddress(IBEntry::isc_array_gen_sdl2), EIBClientError);
  EXPECT_THROW(lib.EntryAddress(IBEntry::isc_rollback_savepoint), EIBClientError);
  EXPECT_NE(lib.EntryAddress(IBEntry::isc_get_client_version), nullptr);
}

// The client's product decides how character-set ids are read.
TEST(IBClientLibrary, FirebirdClientsAreToldFromInterBaseOnes) {
  String name = u"IBServer";
  IGDSLibraryPtr firebird = GetGDSLibrary(name);
  firebird->CheckIBLoaded();
  EXPECT_TRUE(firebird->IsFirebirdClient());
  FileLibrary interbase(FAKE_CLIENT_V6);
  interbase.CheckIBLoaded();
  EXPECT_FALSE(interbase.IsFirebirdClient());
  FileLibrary firebird25(FAKE_CLIENT_V25);
  firebird25.CheckIBLoaded();
  EXPECT_TRUE(firebird25.IsFirebirdClient());
}

TEST(IBClientLibrary, MissingFileIsReportedAndRetried) {
  FileLibrary lib("kavo-no-such-client.so");
  EIBClientError e = test::ClientError([&] { lib.CheckIBLoaded(); });
  EXPECT_EQ(e.Message(), u"InterBase library kavo-no-such-client.so not found in the path. "
                         u"Please install InterBase to use this functionality");
  EXPECT_EQ(e.SQLCode(), ibceInterBaseMissing);
  EXPECT_FALSE(lib.TryIBLoad());
  EXPECT_EQ(lib.LoadCount(), 0);
  EXPECT_THROW(lib.GetIBClientVersion(), EIBClientError);
  // Nothing was resolved, and nothing is called through a null pointer.
  EXPECT_THROW(lib.EntryAddress(IBEntry::isc_sqlcode), EIBClientError);
}

TEST(IBClientLibrary, MissingRequiredEntryRaisesOnceAndRefusesTheRest) {
  FileLibrary lib(FAKE_CLIENT_BROKEN);
  try {
    lib.LoadIBLibrary();
    FAIL() << "no error for the missing isc_attach_database";
  } catch (const EOSError& e) {
    const int code = DynamicLibrary::MissingSymbolError();
    EXPECT_EQ(e.ErrorCode(), code);
    EXPECT_EQ(e.Message().rfind(Format(u"System Error.  Code: %d.\r\n", {code}), 0), 0u)
        << StringToUtf8(e.Message());
  }
  // The handle stays loaded: no second attempt, no error from the checks.
  EXPECT_TRUE(lib.TryIBLoad());
  EXPECT_NO_THROW(lib.CheckIBLoaded());
  EXPECT_EQ(lib.LoadCount(), 1);
  // Entries resolved before the gap work; the missing one and those after it
  // are refused instead of being called.
  EXPECT_NE(lib.EntryAddress(IBEntry::isc_detach_database), nullptr);
  EXPECT_THROW(lib.isc_attach_database(nullptr, 0, nullptr, nullptr, 0, nullptr),
               EIBClientError);
  EXPECT_THROW(lib.EntryAddress(IBEntry::isc_database_info), EIBClientError);
  EXPECT_THROW(lib.EntryAddress(IBEntry::isc_encode_sql_date), EIBClientError);
}

TEST(IBClientLibrary, StatusVectorIsPerThread) {
  ISC_STATUS* mine = StatusVector();
  ISC_STATUS* other = nullptr;
  std::thread t([&] { other = StatusVector(); });
  t.join();
  EXPECT_NE(mine, other);
  EXPECT_EQ(StatusVectorArray(), mine);
}

}  // namespace
}  // namespace kavo::test
