// The fbclient.dll bridge under Wine: what plain forwarding cannot carry
// (drive-letter names, variable argument lists, event callbacks from the
// client's own threads), called as any Windows program calls fbclient.dll.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "ib/ib_database.h"
#include "ib/ib_header.h"
#include "platform/dynamic_library.h"
#include "testkit/ib_support.h"

// Last: its WM_ macros would hide the message queue's constants.
#include <windows.h>

namespace kavo::test {
namespace {

// A database on C:, which Wine keeps in its prefix: the Linux client would
// take "C" for a host name.
TEST(FbclientBridge, DriveLetterNamesReachTheirUnixFiles) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::filesystem::path dir =
      std::filesystem::path(temp) / ("kavo-bridge-" + std::to_string(GetCurrentProcessId()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "drive c.fdb").string();
  ASSERT_EQ(file.substr(1, 2), ":\\");
  CreateTestDatabase(file, false);
  EXPECT_TRUE(std::filesystem::exists(file));

  Connection c(Utf8ToString(file));
  c.db->Open();
  EXPECT_TRUE(c.db->Connected());
  c.db->DropDatabase();
  EXPECT_FALSE(std::filesystem::exists(file));
  std::filesystem::remove_all(dir);
}

class FbclientCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lib_.Open("fbclient.dll")) << lib_.LastError();
    path_ = dir_.File("calls.fdb");
    CreateTestDatabase(path_, false);
  }

  template <class F>
  F* Entry(const char* name) {
    return reinterpret_cast<F*>(lib_.Symbol(name));
  }

  // Attaches with a parameter buffer that isc_expand_dpb makes from a list.
  isc_db_handle Attach() {
    char* dpb = nullptr;
    short dpb_length = 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"  // still exported, still used
    Entry<decltype(isc_expand_dpb)>("isc_expand_dpb")(&dpb, &dpb_length, isc_dpb_user_name,
                                                      "VAVAVOR", isc_dpb_password, "kat4ro2", 0);
#pragma GCC diagnostic pop
    EXPECT_NE(dpb, nullptr);
    // version byte, then two items of a code, a length and the text
    EXPECT_EQ(dpb_length, 1 + 2 + 7 + 2 + 7);
    isc_db_handle db = 0;
    auto attach = Entry<decltype(isc_attach_database)>("isc_attach_database");
    ISC_STATUS rc = attach(status_, 0, path_.c_str(), &db, dpb_length, dpb);
    Entry<decltype(isc_free)>("isc_free")(dpb);
    EXPECT_EQ(rc, 0) << status_[1];
    return db;
  }

  void Execute(isc_db_handle db, const char* sql) {
    isc_tr_handle tr = 0;
    static const char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                               isc_tpb_rec_version};
    ASSERT_EQ(Entry<decltype(isc_start_transaction)>("isc_start_transaction")(
                  status_, &tr, 1, &db, static_cast<unsigned short>(sizeof tpb), tpb),
              0)
        << status_[1];
    ASSERT_EQ(Entry<decltype(isc_dsql_execute_immediate)>("isc_dsql_execute_immediate")(
                  status_, &db, &tr, 0, sql, 3, nullptr),
              0)
        << status_[1];
    ASSERT_EQ(Entry<decltype(isc_commit_transaction)>("isc_commit_transaction")(status_, &tr), 0);
  }

  void Detach(isc_db_handle& db) {
    EXPECT_EQ(Entry<decltype(isc_detach_database)>("isc_detach_database")(status_, &db), 0);
  }

  ISC_STATUS_ARRAY status_{};
  DynamicLibrary lib_;
  DatabaseDir dir_;
  std::string path_;
};

TEST_F(FbclientCalls, VariableArgumentListsArriveWhole) {
  isc_db_handle db = Attach();
  ASSERT_NE(db, 0u);
  // Two databases in one isc_start_transaction: each triple must arrive.
  isc_db_handle second = Attach();
  isc_tr_handle tr = 0;
  static const char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_concurrency};
  ASSERT_EQ(Entry<decltype(isc_start_transaction)>("isc_start_transaction")(
                status_, &tr, 2, &db, static_cast<unsigned short>(sizeof tpb), tpb, &second,
                static_cast<unsigned short>(sizeof tpb), tpb),
            0)
      << status_[1];
  EXPECT_NE(tr, 0u);
  EXPECT_EQ(Entry<decltype(isc_rollback_transaction)>("isc_rollback_transaction")(status_, &tr),
            0);

  char* events = nullptr;
  char* results = nullptr;
  ISC_LONG length = Entry<decltype(isc_event_block)>("isc_event_block")(
      reinterpret_cast<ISC_UCHAR**>(&events), reinterpret_cast<ISC_UCHAR**>(&results), 3, "A",
      "BB", "CCC");
  // version byte, then per name its length, the name and a 4-byte count
  EXPECT_EQ(length, 1 + (1 + 1 + 4) + (1 + 2 + 4) + (1 + 3 + 4));
  EXPECT_EQ(std::string(events + 1, 2), std::string("\x01" "A", 2));
  EXPECT_EQ(std::string(events + 14, 4), "\x03" "CCC");
  Entry<decltype(isc_free)>("isc_free")(events);
  Entry<decltype(isc_free)>("isc_free")(results);
  Detach(second);
  Detach(db);
}

struct EventDelivery {
  std::atomic<int> calls{0};
  std::atomic<DWORD> thread{0};
  std::atomic<bool> known_thread{false};
  ISC_USHORT length = 0;
  ISC_UCHAR buffer[64] = {};
};

void ISC_EXPORT OnEvent(void* argument, ISC_USHORT length, const ISC_UCHAR* updated) {
  auto* d = static_cast<EventDelivery*>(argument);
  d->length = length;
  if (updated != nullptr) std::memcpy(d->buffer, updated, std::min<size_t>(length, 64));
  d->thread = GetCurrentThreadId();
  // Windows code that asks the system about its thread: it crashes on a
  // thread Wine never saw.
  d->known_thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, GetCurrentThreadId()) != nullptr;
  ++d->calls;
}

TEST_F(FbclientCalls, EventCallbacksRunOnAWindowsThread) {
  isc_db_handle db = Attach();
  ASSERT_NE(db, 0u);
  ISC_UCHAR* events = nullptr;
  ISC_UCHAR* results = nullptr;
  ISC_LONG length =
      Entry<decltype(isc_event_block)>("isc_event_block")(&events, &results, 1, "KAVO_PING");
  EventDelivery delivery;
  auto wait_calls = [&](int n) {
    for (int i = 0; i < 500 && delivery.calls < n; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return delivery.calls.load();
  };
  auto que = Entry<decltype(isc_que_events)>("isc_que_events");
  auto counts_of = Entry<decltype(isc_event_counts)>("isc_event_counts");
  ISC_LONG id = 0;
  ASSERT_EQ(que(status_, &db, &id, static_cast<short>(length), events, OnEvent, &delivery), 0)
      << status_[1];
  Execute(db, "EXECUTE BLOCK AS BEGIN POST_EVENT 'KAVO_PING'; END");
  // Firebird may first answer with the counts as they are; the post shows
  // in the next answer at the latest.
  ISC_ULONG counts[15] = {};
  for (int answer = 1; answer <= 3 && counts[0] == 0; ++answer) {
    ASSERT_EQ(wait_calls(answer), answer);
    std::memcpy(results, delivery.buffer, static_cast<size_t>(length));
    counts_of(counts, static_cast<short>(length), events, results);
    if (counts[0] == 0) {
      ASSERT_EQ(que(status_, &db, &id, static_cast<short>(length), events, OnEvent, &delivery),
                0);
    }
  }
  EXPECT_EQ(counts[0], 1u);
  EXPECT_TRUE(delivery.known_thread);
  EXPECT_NE(delivery.thread, GetCurrentThreadId());
  Entry<decltype(isc_free)>("isc_free")(reinterpret_cast<char*>(events));
  Entry<decltype(isc_free)>("isc_free")(reinterpret_cast<char*>(results));
  Detach(db);
}

}  // namespace
}  // namespace kavo::test
