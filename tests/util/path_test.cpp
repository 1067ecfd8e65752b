#include "util/path.h"

#include <gtest/gtest.h>

#include <string>

#include "os/fault.h"
#include "test_support.h"

namespace {

std::u16string Join(std::size_t capacity, std::initializer_list<const char16_t*> pieces) {
  char16_t out[64] = {u'?'};
  const int length = JoinPath(out, capacity, pieces);
  EXPECT_EQ(length, static_cast<int>(std::u16string(out).size()));
  return out;
}

TEST(JoinPath, TrimsAndJoins) {
  EXPECT_EQ(Join(64, {u"C:\\games\\", u"data", u"a.bin"}), u"C:\\games\\data\\a.bin");
  EXPECT_EQ(Join(64, {u"C:\\\\"}), u"C:");
  EXPECT_EQ(Join(64, {u"x", u"", u"y"}), u"x\\y");
  EXPECT_EQ(Join(64, {u"x", u"\\y"}), u"x\\\\y");
  EXPECT_EQ(Join(64, {u"x", u"y\\\\"}), u"x\\y\\");
  EXPECT_EQ(Join(64, {u"x/", u"..", nullptr}), u"x/\\..");
  // Exactly fitting, then one unit short; a dropped backslash needs no room.
  EXPECT_EQ(Join(8, {u"ab", u"cd", u"e"}), u"ab\\cd\\e");
  EXPECT_EQ(Join(7, {u"ab", u"cd", u"e"}), u"");
  EXPECT_EQ(Join(5, {u"ab", u"c\\"}), u"ab\\c");
  EXPECT_EQ(Join(8, {}), u"");
}

TEST(PathParts, ParentExtensionAndInPlaceUse) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"C:\\a\\b.txt", u"C:\\a"}, {u"C:\\a\\", u"C:\\a"}, {u"a\\b/c", u"a\\b"},
      {u"C:\\", u"C:"},            {u"name", nullptr},     {u"\\name", nullptr},
      {u"", nullptr},              {nullptr, nullptr},
  };
  for (const auto& [path, parent] : cases) {
    char16_t out[260] = {u'?', 0};
    EXPECT_EQ(GetParentPath(path, out, 260), parent ? 1 : 0);
    EXPECT_EQ(std::u16string(out), parent ? parent : u"");
  }
  char16_t small[4] = {u'?', 0};
  EXPECT_EQ(GetParentPath(u"abcd\\e", small, 4), 0);
  EXPECT_EQ(small[0], 0);
  // In place, as callers use them.
  char16_t path[260] = u"C:\\games\\data\\a.bin";
  EXPECT_EQ(GetParentPath(path, path, 260), 1);
  EXPECT_EQ(JoinPath(path, 260, {path, u"b.bin"}), 19);
  EXPECT_EQ(std::u16string(path), u"C:\\games\\data\\b.bin");
  EXPECT_EQ(std::u16string(GetExtension(u"a\\b.c.txt")), u"txt");
  EXPECT_EQ(std::u16string(GetExtension(u"a.b\\c")), u"");
  EXPECT_EQ(std::u16string(GetExtension(u"a.b/c")), u"");
  EXPECT_EQ(std::u16string(GetExtension(nullptr)), u"");
}

TEST(CreateDirectoryTree, CreatesMissingLevelsAndFindsThem) {
  qvtest::ScratchDir dir;
  EXPECT_EQ(CreateDirectoryTree(dir.Path(u"a\\b\\c").c_str(), 0), 1);
  EXPECT_EQ(GetPathKind(dir.Path(u"a\\b\\c").c_str()), 2);
  os::ArmFaults({});  // an existing folder is found, not made again
  EXPECT_EQ(CreateDirectoryTree(dir.Path(u"a\\b").c_str(), 0), 1);
  os::DisarmFaults();
  EXPECT_EQ(os::FaultCallCount(os::FileOp::kCreateFolder), 0u);
  // File form: only the folders above the file are made.
  EXPECT_EQ(CreateDirectoryTree(dir.Path(u"x\\y\\f.bin").c_str(), 1), 1);
  EXPECT_EQ(GetPathKind(dir.Path(u"x\\y").c_str()), 2);
  EXPECT_EQ(GetPathKind(dir.Path(u"x\\y\\f.bin").c_str()), 0);
  EXPECT_EQ(CreateDirectoryTree(dir.Path(u"t\\u\\").c_str(), 0), 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir.Native(u"t\\u")));
  // Nothing to make.
  os::ArmFaults({});
  for (const char16_t* drive : {u"A:", u"Z:", u"a:", u"z:"})
    EXPECT_EQ(CreateDirectoryTree(drive, 0), 1);
  EXPECT_EQ(CreateDirectoryTree(u"f.txt", 1), 1);
  os::DisarmFaults();
  EXPECT_EQ(os::FaultCallCount(os::FileOp::kCreateFolder), 0u);
  EXPECT_EQ(CreateDirectoryTree(std::u16string(300, u'a').c_str(), 0), 0);
  // A file in the way fails.
  dir.WriteFile(u"block", "x");
  EXPECT_EQ(GetPathKind(dir.Path(u"block").c_str()), 1);
  EXPECT_EQ(CreateDirectoryTree(dir.Path(u"block").c_str(), 0), 0);
  EXPECT_EQ(CreateDirectoryTree(dir.Path(u"block\\below\\f.txt").c_str(), 1), 0);
  EXPECT_EQ(GetPathKind(dir.Path(u"block").c_str()), 1);
}

}  // namespace
