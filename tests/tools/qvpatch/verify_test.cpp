// qvpatch verify: an installed game against the manifest of its patch.
#include <gtest/gtest.h>

#include <filesystem>

#include "os/error.h"
#include "os/fault.h"
#include "qvpatch_fixture.h"
#include "tools/qvpatch/json_reader.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;

class QvpatchVerify : public testing::Test {
 protected:
  void SetUp() override {
    trees_.Write("old/a.txt", "old a");
    trees_.Write("old/gone/x.txt", "x");
    trees_.Write("old/Case.TXT", "c");
    trees_.Write("new/a.txt", "new a");
    trees_.Write("new/sub/b.txt", "b");
    trees_.Write("new/case.txt", "c");
    ASSERT_EQ(trees_.Make().status, 0);
  }

  ToolRun Verify(const std::string& game, bool json = false) {
    std::vector<std::string> arguments = {"verify", "--game", trees_.Arg(game), "--manifest",
                                          trees_.Arg("patch/patch-manifest.json")};
    if (json) arguments.push_back("--json");
    return trees_.Run(arguments);
  }

  PatchTrees trees_;
};

// A matching game's report is checked on the installed demo patch
// (QvpatchEndToEnd).
TEST_F(QvpatchVerify, TheOldTreeDoesNotAndEveryProblemIsNamed) {
  trees_.Write("old/sub/b.txt", "B");  // same size, other content
  const ToolRun run = Verify("old");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "differs      a.txt (content)\n"
            "differs      sub\\b.txt (content)\n"
            "not deleted  gone\n"
            "the game does not match the manifest: 3 problems, 3 files\n");
}

// Names match without regard to case as on Windows, but a leftover old
// name is still told from the new one where the system keeps both.
TEST_F(QvpatchVerify, LetterCaseAsTheGameSeesIt) {
  trees_.Write("game/A.TXT", "new a");
  trees_.Write("game/SUB/b.txt", "b");
  trees_.Write("game/case.txt", "c");
  EXPECT_EQ(Verify("game").status, 0) << Verify("game").out;
#ifndef _WIN32
  trees_.Write("game/Case.TXT", "c");
  const ToolRun run = Verify("game");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "not deleted  Case.TXT\nthe game does not match the manifest: 1 problem, 3 files\n");
#endif
}

TEST_F(QvpatchVerify, MissingFilesSizesAndJson) {
  trees_.Write("game/a.txt", "new a, longer");
  trees_.MakeFolder("game/case.txt");
  trees_.Write("game/gone/x.txt", "x");
  const ToolRun run = Verify("game", true);
  EXPECT_EQ(run.status, 1);
  JsonValue report;
  std::string error;
  ASSERT_TRUE(ParseJson(run.out, &report, &error)) << error << run.out;
  EXPECT_FALSE(report.Member("matches")->boolean);
  EXPECT_EQ(report.Member("files")->count, 3u);
  ASSERT_EQ(report.Member("missing")->items.size(), 1u);
  EXPECT_EQ(report.Member("missing")->items[0].text, "sub\\b.txt");
  ASSERT_EQ(report.Member("differs")->items.size(), 2u);
  EXPECT_EQ(report.Member("differs")->items[0].Member("reason")->text, "size 13, expected 5");
  EXPECT_EQ(report.Member("differs")->items[1].Member("reason")->text, "not a file");
  EXPECT_EQ(report.Member("not_deleted")->items[0].text, "gone");
  EXPECT_EQ(report.Member("error")->kind, JsonValue::Kind::kNull);
}

// A game file that cannot be read is a problem, never a match.
TEST_F(QvpatchVerify, AFileThatCannotBeReadIsNamed) {
  os::ArmFaults({});  // count only
  ASSERT_EQ(Verify("new").status, 0);
  const std::uint64_t reads = os::FaultCallCount(os::FileOp::kRead);
  os::ArmFaults({os::FileOp::kRead, reads, os::kErrorAccessDenied});
  const ToolRun run = Verify("new");
  os::DisarmFaults();
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out.starts_with("differs      sub\\b.txt (\"sub\\b.txt\" cannot be read: ") &&
              run.out.ends_with(")\nthe game does not match the manifest: 1 problem, 3 files\n"))
      << run.out;
}

TEST_F(QvpatchVerify, AHostileManifestIsRefusedBeforeAnythingIsRead) {
  trees_.Write("evil.json",
               R"({"format": "qvpatch-manifest", "version": 1, "hash": "sha256", "files": [], )"
               R"("delete": ["..\\old"]})");
  const ToolRun run = trees_.Run({"verify", "--game", trees_.Arg("new"), "--manifest", trees_.Arg("evil.json")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("the manifest names \"..\\old\""), std::string::npos) << run.err;
  EXPECT_EQ(trees_.Run({"verify", "--game", trees_.Arg("new"), "--manifest", trees_.Arg("none.json")}).status, 1);
  EXPECT_EQ(trees_.Run({"verify", "--manifest", trees_.Arg("evil.json")}).status, 2);
}

}  // namespace
}  // namespace qvtest
