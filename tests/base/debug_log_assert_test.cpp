// Under Wine the assertion box is a real message box, so these run natively.
#ifndef _WIN32

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/debug_log.h"

namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Matcher;
using ::testing::Not;

// Every box shows its formatted text, cut to 499 characters, and ends the
// process with code 3; Shift-JIS text reaches it as Unicode.
TEST(AssertMessageDeath, ShowsTheTextAndEndsTheProcess) {
  const std::string long_text(600, 'x');
  const std::string kept(499, 'x');
  const Matcher<const std::string&> cut = AllOf(HasSubstr(kept), Not(HasSubstr(kept + "x")));
  const struct {
    std::function<void()> show;
    Matcher<const std::string&> output;
  } cases[] = {
      {[] { AssertMessage("%s", "rect"); }, AllOf(HasSubstr("Assert message..."), HasSubstr("rect"))},
      {[] { AssertMessage("\x83\x71\x81\x5B\x83\x76 %d", 3); }, HasSubstr("ヒープ 3")},
      {[] { AssertMessageW(u"%s : %d", u"名前", 7); },
       AllOf(HasSubstr("Assert message..."), HasSubstr("名前 : 7"))},
      {[&] { AssertMessage("%s", long_text.c_str()); }, cut},
      {[] { AssertMessageW(u"%s", std::u16string(600, u'x').c_str()); }, cut},
  };
  for (const auto& c : cases) {
    EXPECT_EXIT(
        {
          c.show();
          EndProcessAfterAssert();
        },
        ::testing::ExitedWithCode(3), c.output);
  }
}

}  // namespace

#endif  // _WIN32
