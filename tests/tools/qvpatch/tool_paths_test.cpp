// The tools' path helpers: a path split into folder and name, roots kept.
#include <gtest/gtest.h>

#include "test_support.h"
#include "tools/common/file_io.h"

namespace qvtest {
namespace {

std::string Split(const std::u16string& path) {
  const PathParts parts = SplitPath(path);
  return U8(parts.folder) + " | " + U8(parts.name);
}

TEST(ToolPaths, SplitKeepsARootsSeparator) {
  EXPECT_EQ(Split(u"C:\\games\\a.txt"), "C:\\games | a.txt");
  EXPECT_EQ(Split(u"/srv/games/a.txt"), "/srv/games | a.txt");
  EXPECT_EQ(Split(u"C:\\patch"), "C:\\ | patch");  // "C:" alone is C's current folder
  EXPECT_EQ(Split(u"/patch"), "/ | patch");
  EXPECT_EQ(Split(u"patch"), ". | patch");
  EXPECT_EQ(Split(u"out/"), "out | ");
}

TEST(ToolPaths, ChildPathPutsOneSeparator) {
  EXPECT_EQ(U8(ChildPath(u"C:\\games", u"a.txt")), "C:\\games\\a.txt");
  EXPECT_EQ(U8(ChildPath(u"C:\\", u"a.txt")), "C:\\a.txt");
  EXPECT_EQ(U8(ChildPath(u"/", u"a.txt")), "/a.txt");
  EXPECT_EQ(U8(ChildPath(u"/srv/games", u"a.txt")), "/srv/games/a.txt");
  EXPECT_EQ(U8(ChildPath(u"games", u"a.txt")), "games\\a.txt");
}

TEST(ToolPaths, AbsolutePathDropsTrailingSeparatorsButARoots) {
  const std::u16string here = AbsolutePath(u".");
  ASSERT_FALSE(here.empty());
  EXPECT_EQ(AbsolutePath(u"sub/"), ChildPath(here, u"sub"));
#ifdef _WIN32
  EXPECT_EQ(U8(AbsolutePath(u"C:\\")), "C:\\");
#else
  EXPECT_EQ(U8(AbsolutePath(u"/")), "/");
#endif
}

}  // namespace
}  // namespace qvtest
