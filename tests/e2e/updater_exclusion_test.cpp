// The updater end to end against what else may use the game at the same
// time: the running game (its named mutexes, held by another program) and a
// second updater started on the same install folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "support/child_process.h"
#include "updater_run.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;

constexpr int kTimeoutMs = 60000;

const std::string kRunning =
    "ゲームが起動しています。ゲームをすべて終了してから OK を、更新をやめるにはキャンセルを押してください。";
const std::string kBusy =
    "別のアップデーターがこのゲームを更新しています。終わってからもう一度起動してください。";
const std::string kRecovered =
    "前回のアップデートが途中で中断されていたため、ゲームのファイルを元の状態に整えました。";

// An OK/Cancel box of the main window as the transcript shows it before it
// is answered.
std::string Question(const std::string& text) {
  return BoxLine("main", kTitle, text, "okcancel", "");
}

// One updater process, answered box by box as its transcript goes.
class DrivenUpdater {
 public:
  explicit DrivenUpdater(const UpdaterSandbox& box) : process_(box.Start()) {}

  // Waits until the box `question` is asked (again, after what was seen).
  bool Await(const std::string& question) {
    const std::optional<std::size_t> end = process_->WaitForOutput(question, seen_, kTimeoutMs);
    if (end) seen_ = *end;
    return end.has_value();
  }
  bool Say(const std::string& answer) { return process_->Send(answer + "\n"); }
  bool Answer(const std::string& question, const std::string& answer) {
    return Await(question) && Say(answer);
  }
  // Lets it run to its end (any further box is answered OK); the exit code,
  // or -1 when it did not end.
  int End() {
    process_->CloseInput();
    process_->ReadToEnd(kTimeoutMs);
    return process_->Wait(kTimeoutMs).value_or(-1);
  }
  std::vector<std::string> Transcript() const { return TranscriptLines(process_->Output()); }

 private:
  std::unique_ptr<ChildProcess> process_;
  std::size_t seen_ = 0;
};

// The game, running: tests/e2e/running_game.cpp holds its mutex.
class RunningGame {
 public:
  explicit RunningGame(const std::string& mutex)
      : process_(ProgramBesideTest("running_game"), {mutex}, ChildOptions{{}, true}) {}
  // "held" and a line end, which Windows writes as CR LF.
  bool Holds() { return process_.WaitForOutput("held", 0, kTimeoutMs).has_value(); }
  // The player closes the game; its exit code.
  std::optional<int> Quit() {
    process_.CloseInput();
    return process_.Wait(kTimeoutMs);
  }

 private:
  ChildProcess process_;
};

// A mutex name of this test's own, with what the POSIX mapping must
// escape: Japanese, a space and a slash; `long_form` makes it too long for
// a file name once escaped.
std::string MutexName(const UpdaterSandbox& box, const std::string& stem, bool long_form) {
  std::string name = "空灯籠/" + stem + " " + Native8(box.Root().filename());
  for (int i = 0; long_form && i < 40; ++i) name += "設定";
  return name;
}

TEST(UpdaterExclusion, ARunningGameIsAskedToCloseUntilItHasEnded) {
  for (const std::string element : {"mutex", "confmutex"}) {
    SCOPED_TRACE(element);
    UpdaterSandbox box;
    const std::string name = MutexName(box, element, element == "confmutex");
    box.AddToDescription("  <" + element + ">" + name + "</" + element + ">\n");
    box.WriteDescription();
    box.WriteRecordForGame();
    box.WriteData("a.bin", "alpha");
    box.WriteGame("a.bin", "the old alpha");
    RunningGame game(name);
    ASSERT_TRUE(game.Holds());

    DrivenUpdater cancelled(box);
    ASSERT_TRUE(cancelled.Answer(Question(kIntoro), "ok"));
    ASSERT_TRUE(cancelled.Answer(Question(kRunning), "cancel"));
    EXPECT_EQ(cancelled.End(), 2);
    const std::vector<std::string> refused = {kWindowLine, Question(kIntoro) + "ok",
                                              Question(kRunning) + "cancel", "exit code=2"};
    EXPECT_EQ(cancelled.Transcript(), refused);
    EXPECT_EQ(box.ReadGame("a.bin"), "the old alpha");
    EXPECT_FALSE(box.GameHas("install.log"));
    EXPECT_FALSE(box.GameHas("~qvupdate"));

    DrivenUpdater waiting(box);
    ASSERT_TRUE(waiting.Answer(Question(kIntoro), "ok"));
    ASSERT_TRUE(waiting.Answer(Question(kRunning), "ok"));
    // Asked again while the game still runs; the player closes it then.
    ASSERT_TRUE(waiting.Await(Question(kRunning)));
    EXPECT_EQ(game.Quit(), 0);
    ASSERT_TRUE(waiting.Say("ok"));
    EXPECT_EQ(waiting.End(), 0);
    const std::vector<std::string> installed = {
        kWindowLine,  Question(kIntoro) + "ok", Question(kRunning) + "ok",
        Question(kRunning) + "ok", kDialogLine, "progress file=\"a.bin\"",
        "progress done=5 total=5", "dialog hide",
        kSuccessLine, "dialog end result=2",    "exit code=0"};
    EXPECT_EQ(waiting.Transcript(), installed);
    EXPECT_EQ(box.ReadGame("a.bin"), "alpha");
    EXPECT_EQ(box.ReadGame("install.log"), "\"" + box.GameText() + "\\a.bin\"\r\n");
    EXPECT_FALSE(box.GameHas("~qvupdate"));
  }
}

// Large enough that two copies overlap in time.
std::string Payload(char patch, std::size_t size) {
  std::string bytes(size, patch);
  for (std::size_t i = 0; i < size; i += 4096) bytes[i] = static_cast<char>(i >> 12);
  return bytes;
}

TEST(UpdaterExclusion, TwoUpdatersStartedTogetherInstallOnePatchWhole) {
  constexpr std::size_t kBig = 4u << 20;
  for (int round = 0; round < 4; ++round) {
    const bool same_patch = round % 2 == 0;
    SCOPED_TRACE(same_patch ? "one patch twice" : "two patches");
    UpdaterSandbox box;
    box.WriteRecordForGame();
    box.WriteGame("big.bin", Payload('o', kBig / 2));
    box.WriteGame("old.txt", "deleted by both patches");
    box.WriteGame("install.log", "\"old line\"\r\n");
    for (const char patch : {'a', 'b'}) {
      box.UsePatch(std::string("patch-") + patch);
      box.WriteDescription({"old.txt"});
      box.WriteData("big.bin", Payload(patch, kBig));
      box.WriteData("sub/small.txt", std::string("small of ") + patch);
    }
    box.UsePatch(same_patch ? "patch-b" : "patch-a");
    DrivenUpdater first(box);
    box.UsePatch("patch-b");
    DrivenUpdater second(box);
    ASSERT_TRUE(first.Say("ok") && second.Say("ok"));
    const int codes[] = {first.End(), second.End()};

    // One applies its patch; the other is refused at once or, when it only
    // came after the first had ended, applies its own after it.
    for (int i = 0; i < 2; ++i) {
      const int other = codes[1 - i];
      EXPECT_TRUE(codes[i] == 0 || (codes[i] == 2 && other == 0)) << codes[0] << " " << codes[1];
      const std::vector<std::string> transcript = (i == 0 ? first : second).Transcript();
      if (codes[i] == 2) {
        EXPECT_NE(std::find(transcript.begin(), transcript.end(),
                            BoxLine("main", kTitle, kBusy, "ok")),
                  transcript.end());
      }
    }
    const std::string big = box.ReadGame("big.bin");
    ASSERT_EQ(big.size(), kBig);
    const char patch = big[1];
    EXPECT_TRUE(big == Payload(patch, kBig)) << "a file mixes both patches";
    EXPECT_EQ(box.ReadGame("sub/small.txt"), std::string("small of ") + patch);
    EXPECT_FALSE(box.GameHas("old.txt"));
    EXPECT_EQ(box.ReadGame("install.log"), "\"" + box.GameText() + "\\big.bin\"\r\n\"" +
                                               box.GameText() + "\\sub\\small.txt\"\r\n" +
                                               "\"old line\"\r\n");
    EXPECT_FALSE(box.GameHas("~qvupdate"));
  }
}

TEST(UpdaterExclusion, AnUpdaterThatWaitedForTheLockPutsAKilledInstallInOrderFirst) {
  UpdaterSandbox box;
  box.WriteDescription({"old.txt"});
  box.WriteRecordForGame();
  box.WriteData("a.bin", "new a");
  box.WriteData("sub/b.bin", "new b");
  box.WriteGame("a.bin", "old a");
  box.WriteGame("sub/b.bin", "old b");
  box.WriteGame("old.txt", "old");
  // The first updater holds the folder from its start and is killed half-way
  // through its switch (the seventh rename: a.bin is new, sub/b.bin still old).
  box.SetFault("rename:7:crash");
  DrivenUpdater killed(box);
  ASSERT_TRUE(killed.Await(Question(kIntoro)));
  box.SetFault("");
  // The second starts meanwhile and finds the folder taken.
  DrivenUpdater waited(box);
  ASSERT_TRUE(waited.Await(Question(kIntoro)));
  ASSERT_TRUE(killed.Say("ok"));
  ASSERT_EQ(killed.End(), 137);
  ASSERT_EQ(box.ReadGame("a.bin"), "new a") << "no longer killed half-way through the switch";
  ASSERT_EQ(box.ReadGame("sub/b.bin"), "old b") << "no longer killed half-way through the switch";

  ASSERT_TRUE(waited.Say("ok"));
  EXPECT_EQ(waited.End(), 0);
  const std::vector<std::string> expected = {
      kWindowLine,  Question(kIntoro) + "ok", BoxLine("main", kTitle, kRecovered, "ok"),
      kDialogLine,  "progress file=\"a.bin\"", "progress file=\"sub\\\\b.bin\"",
      "progress done=10 total=10", "dialog hide", kSuccessLine,
      "dialog end result=2", "exit code=0"};
  EXPECT_EQ(waited.Transcript(), expected);
  EXPECT_EQ(box.ReadGame("a.bin"), "new a");
  EXPECT_EQ(box.ReadGame("sub/b.bin"), "new b");
  EXPECT_FALSE(box.GameHas("old.txt"));
  EXPECT_EQ(box.ReadGame("install.log"), "\"" + box.GameText() + "\\a.bin\"\r\n\"" +
                                             box.GameText() + "\\sub\\b.bin\"\r\n");
  EXPECT_FALSE(box.GameHas("~qvupdate"));
}

}  // namespace
}  // namespace qvtest
