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
  EXPECT_EQ(GetShellFolder(8, out), 1);
  EXPECT_NE(out[0], 0);
}

TEST(GetShellFolder, UnknownIndexesFailAndAnswersStayInTheBuffer) {
  char16_t out[6] = {u'?', 0};
  EXPECT_EQ(GetShellFolder(12, out), 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(GetShellFolder(-1, out), 0);
  for (int index = 0; index <= 11; ++index) {
    std::fill(std::begin(out), std::end(out), u'#');
    GetShellFolder(index, out, 4);
    EXPECT_EQ(out[4], u'#') << index;
    EXPECT_NE(std::find(out, out + 4, 0), out + 4) << index;
  }
}

}  // namespace
