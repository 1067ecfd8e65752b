// Under Wine the assertion box is a real message box, so these run natively.
#ifndef _WIN32

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "base/debug_log.h"

namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(AssertMessageDeath, ShowsTheTextAndEndsTheProcess) {
  EXPECT_EXIT(
      {
        AssertMessage("%s", "rect");
        EndProcessAfterAssert();
      },
      ::testing::ExitedWithCode(3), AllOf(HasSubstr("Assert message..."), HasSubstr("rect")));
}

TEST(AssertMessageDeath, ShiftJisTextReachesTheBoxAsUnicode) {
  EXPECT_EXIT(
      {
        AssertMessage("\x83\x71\x81\x5B\x83\x76 %d", 3);
        EndProcessAfterAssert();
      },
      ::testing::ExitedWithCode(3), HasSubstr("ヒープ 3"));
}

TEST(AssertMessageDeath, WideTextIsFormatted) {
  EXPECT_EXIT(
      {
        AssertMessageW(u"%s : %d", u"名前", 7);
        EndProcessAfterAssert();
      },
      ::testing::ExitedWithCode(3), AllOf(HasSubstr("Assert message..."), HasSubstr("名前 : 7")));
}

TEST(AssertMessageDeath, MessagesAreCutTo499) {
  const std::string long_text(600, 'x');
  const std::string kept(499, 'x');
  EXPECT_EXIT(
      {
        AssertMessage("%s", long_text.c_str());
        EndProcessAfterAssert();
      },
      ::testing::ExitedWithCode(3), AllOf(HasSubstr(kept), Not(HasSubstr(kept + "x"))));
  EXPECT_EXIT(
      {
        AssertMessageW(u"%s", std::u16string(600, u'x').c_str());
        EndProcessAfterAssert();
      },
      ::testing::ExitedWithCode(3), AllOf(HasSubstr(kept), Not(HasSubstr(kept + "x"))));
}

}  // namespace

#endif  // _WIN32
