#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/debug_log_capture.h"
#include "base/debug_log.h"
#include "base/debug_log_internal.h"
#include "base/private_heap.h"

namespace {

using qvtest::DebugLogCapture;

const std::regex kLinePattern(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\t([^\r\n]*)\r\n)");

// The texts of every line in the log, without their timestamps; fails the
// test on a line that is not well formed.
std::vector<std::string> LoggedTexts(const std::string& contents) {
  std::vector<std::string> texts;
  auto it = contents.cbegin();
  std::smatch match;
  while (it != contents.cend()) {
    if (!std::regex_search(it, contents.cend(), match, kLinePattern,
                           std::regex_constants::match_continuous)) {
      ADD_FAILURE() << "malformed log from: " << std::string(it, contents.cend());
      break;
    }
    texts.push_back(match[1].str());
    it = match[0].second;
  }
  return texts;
}

TEST(DebugLogSwitch, OffUnlessTheSettingIsOneAndAfterTheEnd) {
  for (const char* setting : {static_cast<const char*>(nullptr), "", "0", "yes", "11"}) {
    SCOPED_TRACE(setting != nullptr ? setting : "(unset)");
    DebugLogCapture log(setting);
    EXPECT_FALSE(IsDebugLogOn());
    DebugLog("abc %d", 1);
    DebugLogW(u"abc %d", 2);
    WriteLogLine("abc");
    EXPECT_FALSE(log.FileExists());
  }
  DebugLogCapture log;
  DebugLog("first");
  EndDebugLog();
  EXPECT_FALSE(IsDebugLogOn());
  DebugLog("second");
  DebugLogW(u"third");
  EXPECT_EQ(LoggedTexts(log.Contents()), std::vector<std::string>{"first"});
}

TEST(DebugLogLine, Format) {
  char line[64];
  const os::LocalTime time{2026, 3, 5, 9, 7, 3, 0};
  EXPECT_EQ(FormatLogLine(line, sizeof line, time, "abc"), 25);
  EXPECT_STREQ(line, "2026/03/05 09:07:03\tabc\r\n");
  EXPECT_EQ(FormatLogLine(line, 25, time, "abc"), -1);
}

// Wide texts are written as Shift-JIS; a new process appends to the file.
TEST(DebugLogFile, AppendsFormattedLinesToEarlierContents) {
  DebugLogCapture log;
  DebugLog("abc %d %s", 5, "x");
  DebugLogW(u"%s=%d", u"w", 7);
  ASSERT_TRUE(log.FileExists());
  ResetDebugLogForTesting();  // as a new process would
  DebugLogW(u"ヒープ %s", u"ok");
  EXPECT_EQ(LoggedTexts(log.Contents()),
            (std::vector<std::string>{"abc 5 x", "w=7", "\x83\x71\x81\x5B\x83\x76 ok"}));
}

// Messages are cut to 499 bytes; the sink drops texts of 1024 or more.
TEST(DebugLogFile, LongTextsAreCutOrDropped) {
  DebugLogCapture log;
  const std::string narrow(600, 'a');
  const std::u16string wide(600, u'b');
  DebugLog("%s", narrow.c_str());
  DebugLogW(u"%s", wide.c_str());
  // A double-byte character or a surrogate pair across the limit goes whole.
  DebugLog("%s\x83\x71", std::string(498, 'c').c_str());
  DebugLogW(u"%s\U0001F600", std::u16string(498, u'd').c_str());
  EXPECT_EQ(LoggedTexts(log.Contents()),
            (std::vector<std::string>{std::string(499, 'a'), std::string(499, 'b'),
                                      std::string(498, 'c'), std::string(498, 'd')}));
  DebugLogCapture sink;
  WriteLogLine(std::string(1024, 'x').c_str());
  EXPECT_FALSE(sink.FileExists());
  WriteLogLine(std::string(1023, 'y').c_str());
  EXPECT_EQ(LoggedTexts(sink.Contents()), std::vector<std::string>{std::string(1023, 'y')});
}

TEST(DebugLogFile, ThreadsDoNotLoseLines) {
  DebugLogCapture log;
  constexpr int kThreads = 4;
  constexpr int kLines = 50;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) DebugLog("thread %d line %d", t, i);
    });
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(LoggedTexts(log.Contents()).size(), static_cast<std::size_t>(kThreads * kLines));
}

TEST(DebugLogFile, HeapReportsItsLifecycle) {
  DebugLogCapture log;
  ASSERT_EQ(CreatePrivateHeap(10485760), 1);
  DestroyPrivateHeap();
  const auto texts = LoggedTexts(log.Contents());
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_NE(texts[0].find(" size = 10485760 (0xa00000) byte (10.000000MB)"),
            std::string::npos);
  EXPECT_EQ(texts[0].rfind("\x83\x71\x81\x5B\x83\x76", 0), 0u);  // "ヒープ"
  EXPECT_EQ(texts[1].rfind("\x83\x71\x81\x5B\x83\x76", 0), 0u);
}

}  // namespace
