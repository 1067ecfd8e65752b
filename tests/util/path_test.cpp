#include "util/path.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

struct JoinCase {
  std::initializer_list<const char16_t*> pieces;
  const char16_t* expected;
};

TEST(JoinPath, TrimsAndJoinsPieces) {
  const JoinCase cases[] = {
      {{u"C:\\games\\", u"data", u"a.bin"}, u"C:\\games\\data\\a.bin"},
      {{u"C:\\"}, u"C:"},
      {{u"C:\\\\\\"}, u"C:"},
      {{u"x", u""}, u"x"},
      {{u"x", u"", u"y"}, u"x\\y"},
      {{u"x", u"\\y"}, u"x\\\\y"},
      {{u"x", u"y\\"}, u"x\\y"},
      {{u"x", u"y\\\\"}, u"x\\y\\"},
      {{u"x/", u"y"}, u"x/\\y"},
      {{u"a", u"..", u"b"}, u"a\\..\\b"},
      {{u"", u"data"}, u"\\data"},
      {{nullptr, u"data"}, u"\\data"},
  };
  for (const auto& c : cases) {
    char16_t out[260] = {u'?'};
    const int length = JoinPath(out, 260, c.pieces);
    EXPECT_EQ(std::u16string(out), c.expected) << qvtest::U8(c.expected);
    EXPECT_EQ(length, static_cast<int>(std::u16string(c.expected).size()));
  }
}

TEST(JoinPath, RefusesWhatDoesNotFit) {
  char16_t out[8];
  // "ab\cd\e" is 7 units and fits with its terminator.
  EXPECT_EQ(JoinPath(out, 8, {u"ab", u"cd", u"e"}), 7);
  EXPECT_EQ(std::u16string(out), u"ab\\cd\\e");
  // The trailing backslash that is dropped again does not need room.
  EXPECT_EQ(JoinPath(out, 5, {u"ab", u"c\\"}), 4);
  EXPECT_EQ(JoinPath(out, 7, {u"ab", u"cd", u"e"}), 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(JoinPath(out, 8, {}), 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(JoinPath(nullptr, 8, {u"a"}), 0);
}

TEST(GetParentPath, Cases) {
  struct Case {
    const char16_t* path;
    int result;
    const char16_t* parent;
  } cases[] = {
      {u"C:\\a\\b.txt", 1, u"C:\\a"},
      {u"C:\\a\\", 1, u"C:\\a"},
      {u"C:/a/b", 1, u"C:/a"},
      {u"a\\b/c", 1, u"a\\b"},
      {u"C:\\", 1, u"C:"},
      {u"name", 0, u""},
      {u"\\name", 0, u""},
      {u"/name", 0, u""},
      {u"", 0, u""},
      {nullptr, 0, u""},
  };
  for (const auto& c : cases) {
    char16_t out[260] = {u'?', 0};
    EXPECT_EQ(GetParentPath(c.path, out, 260), c.result);
    EXPECT_EQ(std::u16string(out), c.parent);
  }
  char16_t small[4] = {u'?', 0};
  EXPECT_EQ(GetParentPath(u"abcd\\e", small, 4), 0);
  EXPECT_EQ(small[0], 0);
}

TEST(PathFunctions, WorkInPlace) {
  char16_t path[260] = u"C:\\games\\data\\a.bin";
  EXPECT_EQ(GetParentPath(path, path, 260), 1);
  EXPECT_EQ(std::u16string(path), u"C:\\games\\data");
  EXPECT_EQ(JoinPath(path, 260, {path, u"b.bin"}), 19);
  EXPECT_EQ(std::u16string(path), u"C:\\games\\data\\b.bin");
}

TEST(GetExtension, Cases) {
  EXPECT_EQ(std::u16string(GetExtension(u"a\\b.txt")), u"txt");
  EXPECT_EQ(std::u16string(GetExtension(u"a.b.lst")), u"lst");
  EXPECT_EQ(std::u16string(GetExtension(u"a.b\\c")), u"");
  EXPECT_EQ(std::u16string(GetExtension(u"a.b/c")), u"");
  EXPECT_EQ(std::u16string(GetExtension(u"abc")), u"");
  EXPECT_EQ(std::u16string(GetExtension(u"abc.")), u"");
  EXPECT_EQ(std::u16string(GetExtension(nullptr)), u"");
  const char16_t* path = u"abc";
  EXPECT_EQ(GetExtension(path), path + 3);
}

TEST(GetPathKind, TellsFilesFromFolders) {
  qvtest::ScratchDir dir;
  dir.WriteFile(u"file.bin", "x");
  std::filesystem::create_directory(dir.Native(u"sub"));
  EXPECT_EQ(GetPathKind(dir.Path(u"file.bin").c_str()), 1);
  EXPECT_EQ(GetPathKind(dir.Path(u"sub").c_str()), 2);
  EXPECT_EQ(GetPathKind(dir.Path(u"missing").c_str()), 0);
  EXPECT_EQ(GetPathKind(nullptr), 0);
}

TEST(CreateDirectoryTree, CreatesMissingLevels) {
  qvtest::ScratchDir dir;
  EXPECT_EQ(CreateDirectoryTree(dir.Path(u"a\\b\\c").c_str(), 0), 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir.Native(u"a\\b\\c")));
  // Existing folder: nothing to do.
  EXPECT_EQ(CreateDirectoryTree(dir.Path(u"a\\b").c_str(), 0), 1);
  // File form: only the folders above the file are made.
  EXPECT_EQ(CreateDirectoryTree(dir.Path(u"x\\y\\file.bin").c_str(), 1), 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir.Native(u"x\\y")));
  EXPECT_FALSE(std::filesystem::exists(dir.Native(u"x\\y\\file.bin")));
  // A trailing separator still names the folder.
  EXPECT_EQ(CreateDirectoryTree(dir.Path(u"t\\u\\").c_str(), 0), 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir.Native(u"t\\u")));
}

TEST(CreateDirectoryTree, FailsWhenAFileIsInTheWay) {
  qvtest::ScratchDir dir;
  dir.WriteFile(u"block", "x");
  EXPECT_EQ(CreateDirectoryTree(dir.Path(u"block").c_str(), 0), 0);
  EXPECT_EQ(CreateDirectoryTree(dir.Path(u"block\\below").c_str(), 0), 0);
  EXPECT_EQ(CreateDirectoryTree(dir.Path(u"block\\below\\f.txt").c_str(), 1), 0);
  EXPECT_FALSE(std::filesystem::is_directory(dir.Native(u"block")));
}

TEST(CreateDirectoryTree, TrivialPaths) {
  EXPECT_EQ(CreateDirectoryTree(u"C:", 0), 1);
  EXPECT_EQ(CreateDirectoryTree(u"z:", 0), 1);
  EXPECT_EQ(CreateDirectoryTree(u"C:\\file.txt", 1), 1);
  EXPECT_EQ(CreateDirectoryTree(u"file.txt", 1), 1);
  EXPECT_EQ(CreateDirectoryTree(nullptr, 0), 0);
  // Longer than a path buffer.
  std::u16string deep(300, u'a');
  EXPECT_EQ(CreateDirectoryTree(deep.c_str(), 0), 0);
}

}  // namespace
