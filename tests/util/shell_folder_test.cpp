#include "util/shell_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

namespace {

TEST(GetShellFolder, TemporaryFolderKeepsItsTrailingSeparator) {
  char16_t out[kShellFolderCapacity] = {};
  ASSERT_EQ(GetShellFolder(6, out), 1);
  const std::u16string temp(out);
  ASSERT_FALSE(temp.empty());
  EXPECT_TRUE(temp.back() == u'\\' || temp.back() == u'/');
}

TEST(GetShellFolder, WindowsFolderIsAnswered) {
  char16_t out[kShellFolderCapacity] = {};
  EXPECT_EQ(GetShellFolder(7, out), 1);
  EXPECT_NE(out[0], 0);
}

TEST(GetShellFolder, IndexesOutsideTheTableFail) {
  char16_t out[kShellFolderCapacity] = {u'?', 0};
  EXPECT_EQ(GetShellFolder(12, out), 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(GetShellFolder(-1, out), 0);
  EXPECT_EQ(GetShellFolder(6, nullptr), 0);
}

TEST(GetShellFolder, AnswersStayInsideTheBuffer) {
  for (int index = 0; index <= 11; ++index) {
    char16_t out[6];
    std::fill(std::begin(out), std::end(out), u'#');
    GetShellFolder(index, out, 4);
    EXPECT_EQ(out[4], u'#') << index;
    EXPECT_EQ(out[5], u'#') << index;
    bool terminated = false;
    for (int i = 0; i < 4; ++i) terminated = terminated || out[i] == 0;
    EXPECT_TRUE(terminated) << index;
  }
}

TEST(GetShellFolder, CommonApplicationDataIsFound) {
  char16_t out[kShellFolderCapacity] = {};
  EXPECT_EQ(GetShellFolder(8, out), 1);
  EXPECT_NE(out[0], 0);
}

}  // namespace
