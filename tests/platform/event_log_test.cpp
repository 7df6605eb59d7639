#include "platform/event_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/executable_path.h"

namespace kavo::test {
namespace {

TEST(EventLog, LoggerWritesThroughTheSinkWithItsSource) {
  MemoryEventSink sink;
  SetEventSink(&sink);
  {
    EventLogger app(u"KavoIntegradorOracle");
    EventLogger service(u"KavoServicoIntegrador");
    app.LogMessage(u"first");
    service.LogMessage(u"second", etWarning, 3, 7);
  }
  SetEventSink(nullptr);
  auto events = sink.Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].source, u"KavoIntegradorOracle");
  EXPECT_EQ(events[0].type, etError);
  EXPECT_EQ(events[0].category, 0);
  EXPECT_EQ(events[0].id, 0);
  EXPECT_EQ(events[0].message, u"first");
  EXPECT_EQ(events[1].source, u"KavoServicoIntegrador");
  EXPECT_EQ(events[1].type, etWarning);
  EXPECT_EQ(events[1].category, 3);
  EXPECT_EQ(events[1].id, 7);
}

TEST(EventLog, FileSinkKeepsOneEventPerLine) {
  Event e{u"Src", etError, 0, 0, u"System Error.  Code: 2.\r\nNo such file\\dir \u00E9"};
  EXPECT_EQ(FileEventSink::FormatLine(e),
            "error\tSrc\t0\t0\tSystem Error.  Code: 2.\\r\\nNo such file\\\\dir \xC3\xA9\n");
  Event i{u"S", etInformation, 1, 2, u"x"};
  EXPECT_EQ(FileEventSink::FormatLine(i), "information\tS\t1\t2\tx\n");

  char tmpl[] = "/tmp/kavo_events_XXXXXX";
  int fd = mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  close(fd);
  FileEventSink file(tmpl);
  file.Write(e);
  file.Write(i);
  std::ifstream in(tmpl);
  std::stringstream all;
  all << in.rdbuf();
  EXPECT_EQ(all.str(), FileEventSink::FormatLine(e) + FileEventSink::FormatLine(i));
  std::remove(tmpl);
}

TEST(ExecutablePath, DirectoryAndFileNameSplitAtTheLastSlash) {
  EXPECT_EQ(ExtractFilePath(u"/opt/kavo/KavoIntegradorOracle"), u"/opt/kavo/");
  EXPECT_EQ(ExtractFileName(u"/opt/kavo/KavoIntegradorOracle"), u"KavoIntegradorOracle");
  EXPECT_EQ(ExtractFilePath(u"noslash"), u"");
  EXPECT_EQ(ExtractFileName(u"noslash"), u"noslash");
  String self = ExecutablePath();
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(ExecutableDirectory() + ExecutableFileName(), self);
#ifdef _WIN32
  EXPECT_EQ(ExtractFilePath(u"C:\\kavo\\Kavo.exe"), u"C:\\kavo\\");
  EXPECT_EQ(ExtractFileName(u"C:Kavo.exe"), u"Kavo.exe");
  EXPECT_EQ(self.substr(1, 2), u":\\");
  EXPECT_EQ(ExecutableFileName(), u"platform_misc_test.exe");
#else
  EXPECT_EQ(self.front(), u'/');
  EXPECT_EQ(ExecutableFileName(), u"platform_misc_test");
#endif
}

}  // namespace
}  // namespace kavo::test
