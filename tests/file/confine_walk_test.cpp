// The walk of a patch's data folder: real trees with links, names Windows
// cannot hold, case collisions and long paths; nothing is followed and
// nothing hangs.
#include "file/confine_walk.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "support/fence.h"
#include "support/links.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using confine::Rule;
using qvtest::U16;
using qvtest::U8;

class WalkTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const fs::path& link : links_) qvtest::RemoveLink(link);
  }
  std::u16string Data() const { return dir_.Path(u"data"); }
  void Write(const char* relative) const {
    dir_.WriteFile(U16(std::string("data\\") + relative), relative);
  }
  bool Link(const char* relative, const fs::path& target, bool folder) {
    fs::path link = dir_.Native(U16(std::string("data\\") + relative));
    fs::create_directories(link.parent_path());
    if (!qvtest::MakeLink(link, target, folder)) return false;
    links_.push_back(link);
    return true;
  }
  static std::vector<std::string> Files(const confine::WalkResult& result) {
    std::vector<std::string> out;
    for (const auto& file : result.files) out.push_back(U8(file));
    return out;
  }
  static std::vector<std::string> Findings(const confine::WalkResult& result) {
    std::vector<std::string> out;
    for (const auto& finding : result.findings)
      out.push_back(std::string(confine::RuleCode(finding.rule)) + " " + U8(finding.path));
    return out;
  }

  qvtest::ScratchDir dir_;
  std::vector<fs::path> links_;
};

TEST_F(WalkTest, ListsFilesDepthFirstWhereTheirFolderIsMet) {
  Write("b.bin");
  Write("a\\z.bin");
  Write("a\\deeper\\y.bin");
  Write("c.bin");
  Write(".hidden");
  fs::create_directories(dir_.Native(u"data\\empty"));
  confine::WalkResult result = confine::WalkTree(Data().c_str(), {});
  EXPECT_TRUE(result.findings.empty()) << ::testing::PrintToString(Findings(result));
  std::vector<std::string> files = Files(result);
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{".hidden", "a\\deeper\\y.bin", "a\\z.bin", "b.bin",
                                             "c.bin"}));
  // A folder's files come together, right where the folder is listed.
  auto at = [&](const char* name) {
    return std::find(result.files.begin(), result.files.end(), U16(name)) - result.files.begin();
  };
  EXPECT_EQ(at("a\\z.bin") - at("a\\deeper\\y.bin"), 1);
}

TEST_F(WalkTest, LinksAreFoundAndNeverFollowed) {
  qvtest::Fence fence(dir_.Native(u"outside"));
  Write("ok.bin");
  if (!Link("linked-folder", fence.Root(), true)) GTEST_SKIP() << "this system makes no links";
  ASSERT_TRUE(Link("sub\\loop", dir_.Native(u"data"), true));
  ASSERT_TRUE(Link("self", ".", true));
  confine::WalkResult result = confine::WalkTree(Data().c_str(), {});
  std::vector<std::string> findings = Findings(result);
  for (const char* link : {"data-link linked-folder", "data-link sub\\loop", "data-link self"})
    EXPECT_NE(std::find(findings.begin(), findings.end(), link), findings.end()) << link;
  EXPECT_EQ(Files(result), std::vector<std::string>{"ok.bin"});
  if (!qvtest::RunningUnderWine()) {  // Wine shows a link to a file as a file
    ASSERT_TRUE(Link("linked-file", fence.File(), false));
    result = confine::WalkTree(Data().c_str(), {});
    findings = Findings(result);
    EXPECT_NE(std::find(findings.begin(), findings.end(), "data-link linked-file"), findings.end());
  }
}

TEST_F(WalkTest, TheFolderItselfMustBeThereAndNotALink) {
  qvtest::Fence fence(dir_.Native(u"outside"));
  EXPECT_EQ(Findings(confine::WalkTree(Data().c_str(), {})), std::vector<std::string>{"folder-missing "});
  if (!qvtest::MakeLink(dir_.Native(u"data"), fence.Root(), true)) GTEST_SKIP();
  links_.push_back(dir_.Native(u"data"));
  confine::WalkResult result = confine::WalkTree(Data().c_str(), {});
  EXPECT_EQ(Findings(result), std::vector<std::string>{"data-link "});
  EXPECT_TRUE(result.files.empty());
}

#ifndef _WIN32
// Only a system that allows these names can hold such a patch.
TEST_F(WalkTest, NamesWindowsCannotHoldAreFoundAndNotEntered) {
  Write("ok.txt");
  fs::create_directories(dir_.Native(u"data"));
  std::ofstream(dir_.Native(u"data") / "x\\..\\..\\evil.txt") << "one name with backslashes";
  Write("stream:name");
  Write("CON");
  Write("trailing.");
  Write("bad?folder\\inner.txt");
  Write("Readme.txt");
  Write("README.TXT");
  confine::WalkResult result = confine::WalkTree(Data().c_str(), {});
  std::vector<std::string> findings = Findings(result);
  std::sort(findings.begin(), findings.end());
  EXPECT_EQ(findings, (std::vector<std::string>{
                          "name-case Readme.txt", "name-character bad?folder",
                          "name-character stream:name", "name-character x\\..\\..\\evil.txt",
                          "name-reserved CON", "name-trailing trailing."}));
  std::vector<std::string> files = Files(result);
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"README.TXT", "ok.txt"}));
}

TEST_F(WalkTest, PipesAndDevicesAreRefusedLikeLinks) {
  fs::create_directories(dir_.Native(u"data"));
  ASSERT_EQ(mkfifo(dir_.Native(u"data\\pipe").c_str(), 0600), 0);
  EXPECT_EQ(Findings(confine::WalkTree(Data().c_str(), {})), std::vector<std::string>{"data-link pipe"});
}
#endif

TEST_F(WalkTest, PathsMustFitBelowTheTargetAndTheSource) {
  const std::string folder(100, 'f');
  const std::string name(100, 'n');
  Write((folder + "\\" + name).c_str());  // 201 units
  Write("short.bin");
  auto findings = [&](std::size_t target, std::size_t source) {
    return Findings(confine::WalkTree(Data().c_str(), {target, source}));
  };
  const std::vector<std::string> too_long = {"path-length " + folder + "\\" + name};
  EXPECT_TRUE(findings(57, 0).empty());  // 57 + 1 + 201 = 259
  EXPECT_EQ(findings(58, 0), too_long);
  EXPECT_EQ(findings(4, 150), too_long);  // the folder itself still fits
  // By default the target is the shortest install folder, C:\a.
  const std::string longest = folder + "\\" + std::string(153, 'm');  // 4 + 1 + 254 = 259
  Write(longest.c_str());
  EXPECT_EQ(Findings(confine::WalkTree(Data().c_str(), {})), std::vector<std::string>{});
  EXPECT_EQ(findings(5, 0), std::vector<std::string>{"path-length " + longest});
}

}  // namespace
