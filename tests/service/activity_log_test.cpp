#include "service/activity_log.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "rtl/code_page.h"
#include "rtl/exceptions.h"
#include "testkit/temp_dir.h"

namespace kavo::test {
namespace {

class ActivityLog : public ::testing::Test {
 protected:
  void SetUp() override { SetAnsiCodePage("CP1252"); }
  String Path() const { return AsciiToString(dir_.File("LogKavoIntegracao.txt")); }
  std::string Content() const { return dir_.Read("LogKavoIntegracao.txt"); }

  int FailureCode(StringView text, String* message = nullptr) {
    try {
      AppendLogLine(Path(), text);
    } catch (const EInOutError& e) {
      if (message) *message = e.Message();
      return e.ErrorCode();
    }
    return 0;
  }

  TempDir dir_;
};

TEST_F(ActivityLog, CreatesThenAppendsLinesWithCrLf) {
  AppendLogLine(Path(), u" Iniciado 08/12/2026 14:05:09");
  EXPECT_EQ(Content(), " Iniciado 08/12/2026 14:05:09\r\n");
  AppendLogLine(Path(), u"Ini = /x");
  AppendLogLine(Path(), u"");
  EXPECT_EQ(Content(), " Iniciado 08/12/2026 14:05:09\r\nIni = /x\r\n\r\n");
}

// Lines for several files, one after another, each reach their own file,
// accented names included.
TEST_F(ActivityLog, LinesForSeveralFilesReachEachTheirOwn) {
  const String other = AsciiToString(dir_.File("")) + u"Registro S\u00e3o.txt";
  AppendLogLine(Path(), u"one");
  AppendLogLine(other, u"two");
  AppendLogLine(other, u"three");
  AppendLogLine(Path(), u"four");
  EXPECT_EQ(Content(), "one\r\nfour\r\n");
  EXPECT_EQ(dir_.Read("Registro S\xc3\xa3o.txt"), "two\r\nthree\r\n");
}

TEST_F(ActivityLog, WritesTheAnsiCodePageWithItsDefaultCharacter) {
  AppendLogLine(Path(), u"S\u00E3o Jo\u00E3o \u4E2D");
  EXPECT_EQ(Content(), "S\xE3o Jo\xE3o ?\r\n");
}

TEST_F(ActivityLog, TextWithLineBreaksIsWrittenUnchanged) {
  AppendLogLine(Path(), u" Erro ORA-12154: TNS\r\nsecond\nthird");
  EXPECT_EQ(Content(), " Erro ORA-12154: TNS\r\nsecond\nthird\r\n");
}

TEST_F(ActivityLog, EndOfFileByteInTheLastBlockCutsTheFileAtTheFirstOne) {
  std::string head(200, 'a');
  dir_.Write("LogKavoIntegracao.txt", head + "keep\x1A" "drop\x1A" "too");
  AppendLogLine(Path(), u"next");
  EXPECT_EQ(Content(), head + "keep" + "next\r\n");
}

TEST_F(ActivityLog, EndOfFileByteBeforeTheLastBlockIsNeverExamined) {
  std::string early = "x\x1A" "y" + std::string(128, 'b');  // the byte is 130 from the end
  dir_.Write("LogKavoIntegracao.txt", early);
  AppendLogLine(Path(), u"next");
  EXPECT_EQ(Content(), early + "next\r\n");

  std::string edge = "\x1A" + std::string(127, 'c');  // exactly 128 from the end
  dir_.Write("LogKavoIntegracao.txt", edge);
  AppendLogLine(Path(), u"z");
  EXPECT_EQ(Content(), "z\r\n");
}

TEST_F(ActivityLog, ReadOnlyFileIsAccessDenied) {
  dir_.Write("LogKavoIntegracao.txt", "old\r\n");
  chmod(dir_.File("LogKavoIntegracao.txt").c_str(), 0444);
  String message;
  EXPECT_EQ(FailureCode(u"line", &message), 5);
  EXPECT_EQ(message, u"File access denied");
  EXPECT_EQ(Content(), "old\r\n");
}

TEST_F(ActivityLog, OverLongPathIsCodeThree) {
  String path = AsciiToString(dir_.path() + "/") + String(260, u'l');
  try {
    AppendLogLine(path, u"x");
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 3);
    EXPECT_EQ(e.Message(), u"Invalid file name - " + path);
  }
  String at_limit = AsciiToString(dir_.path() + "/");
  at_limit += String(kMaxLogPathLength - at_limit.size(), u'k');
  AppendLogLine(at_limit, u"fits");  // 259 characters are still fine
  // One more character is refused by the rule itself, though the system
  // would take the name, and nothing is created.
  String over = at_limit + u"k";
  try {
    AppendLogLine(over, u"x");
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 3);
  }
  EXPECT_FALSE(dir_.Exists(StringToAnsi(over.substr(dir_.path().size() + 1))));
}

TEST_F(ActivityLog, MissingDirectoryIsCodeThree) {
  try {
    AppendLogLine(AsciiToString(dir_.File("no/such/dir/log.txt")), u"x");
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 3);
  }
}

TEST_F(ActivityLog, DirectoryInPlaceOfTheFileIsAccessDenied) {
  mkdir(dir_.File("LogKavoIntegracao.txt").c_str(), 0755);
  EXPECT_EQ(FailureCode(u"x"), 5);
}

// What the log's name points at is never written through: a link (to a file
// only root may touch, or dangling), a FIFO. Each is refused as access denied
// and left as it was; a new log is not readable by every user.
TEST_F(ActivityLog, OnlyARegularFileAtTheNameItselfIsWritten) {
  const std::string log = dir_.File("LogKavoIntegracao.txt");
  dir_.Write("secret", "root only\x1A tail");
  chmod(dir_.File("secret").c_str(), 0600);
  struct Case {
    const char* what;
    std::function<void()> make;
  } cases[] = {
      {"link to a file", [&] { ASSERT_EQ(symlink(dir_.File("secret").c_str(), log.c_str()), 0); }},
      {"dangling link", [&] { ASSERT_EQ(symlink(dir_.File("made").c_str(), log.c_str()), 0); }},
      {"fifo", [&] { ASSERT_EQ(mkfifo(log.c_str(), 0644), 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    unlink(log.c_str());
    c.make();
    EXPECT_EQ(FailureCode(u"row data"), 5);
    EXPECT_EQ(dir_.Read("secret"), "root only\x1A tail");
    EXPECT_FALSE(dir_.Exists("made"));
  }
  unlink(log.c_str());
  mode_t old = umask(0);
  AppendLogLine(Path(), u"new");
  umask(old);
  struct stat st {};
  ASSERT_EQ(stat(log.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// A full disk (here the file size limit) cuts a line short: it is taken back
// whole, and the next line after room is made starts on a line of its own.
TEST_F(ActivityLog, ALineThatDoesNotFitIsNotWrittenAtAll) {
  AppendLogLine(Path(), u"first");
  struct sigaction ignore {}, old_action {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &old_action);
  rlimit old_limit{};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit limit = old_limit;
  limit.rlim_cur = Content().size() + 5;
  setrlimit(RLIMIT_FSIZE, &limit);
  int code = FailureCode(u"Importando: 105 : 12/10/26 05:38:00");
  setrlimit(RLIMIT_FSIZE, &old_limit);
  sigaction(SIGXFSZ, &old_action, nullptr);
  EXPECT_NE(code, 0);
  EXPECT_EQ(Content(), "first\r\n");
  AppendLogLine(Path(), u"Ini = /x");
  EXPECT_EQ(Content(), "first\r\nIni = /x\r\n");
}

TEST_F(ActivityLog, FileHeldByAnotherWriterIsASharingViolation) {
  dir_.Write("LogKavoIntegracao.txt", "");
  int fd = open(dir_.File("LogKavoIntegracao.txt").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  String message;
  EXPECT_EQ(FailureCode(u"x", &message), 32);
  EXPECT_EQ(message, u"I/O error 32");
  close(fd);
  AppendLogLine(Path(), u"after");
  EXPECT_EQ(Content(), "after\r\n");
}

// Whatever is done to the file between two lines of the same log is seen
// by the next line, and between lines no other writer is kept out.
TEST_F(ActivityLog, ChangesBetweenLinesAreSeenByTheNextLine) {
  const std::string log = dir_.File("LogKavoIntegracao.txt");
  AppendLogLine(Path(), u"a");
  std::ofstream(log, std::ios::binary | std::ios::app) << "\x1A" "junk";
  AppendLogLine(Path(), u"b");
  EXPECT_EQ(Content(), "a\r\nb\r\n");

  ASSERT_EQ(rename(log.c_str(), dir_.File("rotated").c_str()), 0);
  AppendLogLine(Path(), u"c");
  EXPECT_EQ(Content(), "c\r\n");
  ASSERT_EQ(unlink(log.c_str()), 0);
  ASSERT_EQ(symlink(dir_.File("rotated").c_str(), log.c_str()), 0);
  EXPECT_EQ(FailureCode(u"through the link"), 5);
  EXPECT_EQ(dir_.Read("rotated"), "a\r\nb\r\n");
  ASSERT_EQ(unlink(log.c_str()), 0);

  AppendLogLine(Path(), u"d");
  chmod(log.c_str(), 0444);
  EXPECT_EQ(FailureCode(u"read-only"), 5);
  chmod(log.c_str(), 0644);
  int other = open(log.c_str(), O_RDWR);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX), 0);
  EXPECT_EQ(FailureCode(u"locked"), 32);
  ASSERT_EQ(flock(other, LOCK_UN), 0);
  AppendLogLine(Path(), u"e");
  EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  close(other);
  EXPECT_EQ(Content(), "d\r\ne\r\n");
}

TEST_F(ActivityLog, ThreadsOfTheProcessTakeTurnsAndNoLineIsLost) {
  constexpr int kThreads = 4, kLines = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) AppendLogLine(Path(), u"thread " + IntToStr(t));
    });
  for (auto& th : threads) th.join();
  std::string all = Content();
  size_t lines = 0;
  for (size_t p = all.find("\r\n"); p != std::string::npos; p = all.find("\r\n", p + 2)) ++lines;
  EXPECT_EQ(lines, static_cast<size_t>(kThreads * kLines));
  EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kLines) * std::string("thread 0\r\n").size());
}

}  // namespace
}  // namespace kavo::test
