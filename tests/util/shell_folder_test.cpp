#include "util/shell_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <string>

namespace {

TEST(GetShellFolder, TemporaryFolderKeepsItsTrailingSeparator) {
  char16_t out[kShellFolderCapacity] = {};
  ASSERT_EQ(GetShellFolder(6, out), 1);
  const std::u16string temp(out);
  ASSERT_FALSE(temp.empty());
  EXPECT_TRUE(temp.back() == u'\\' || temp.back() == u'/');
  for (int index : {0, 8}) {  // the desktop is the first row
    out[0] = 0;
    EXPECT_EQ(GetShellFolder(index, out), 1) << index;
    EXPECT_NE(out[0], 0) << index;
  }
}

TEST(GetShellFolder, UnknownIndexesFailAndAnswersStayInTheBuffer) {
  char16_t out[6] = {u'?', 0};
  for (int index : {12, -1, INT_MAX, INT_MIN}) {
    out[0] = u'?';
    EXPECT_EQ(GetShellFolder(index, out), 0) << index;
    EXPECT_EQ(out[0], 0) << index;
  }
  out[0] = u'?';
  EXPECT_EQ(GetShellFolder(6, out, 0), 0);
  EXPECT_EQ(out[0], u'?');  // no room, nothing written
  for (int index = 0; index <= 11; ++index) {
    std::fill(std::begin(out), std::end(out), u'#');
    GetShellFolder(index, out, 4);
    EXPECT_EQ(out[4], u'#') << index;
    EXPECT_NE(std::find(out, out + 4, 0), out + 4) << index;
  }
}

}  // namespace
