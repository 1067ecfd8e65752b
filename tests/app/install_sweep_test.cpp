// The install under every I/O failure and every crash, in the style of
// SQLite's I/O-error and crash tests: a sample patch is installed once per
// file operation with that operation failing, and once per operation with
// the process "dying" there followed by the recovery of the next start.
// Each time the game folder must be exactly the old tree or exactly the new
// one (bytes and last-write times of every file, every folder), install.log
// with it, and nothing outside the game folder may change.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "app/install_session.h"
#include "os/fault.h"
#include "support/pe_writer.h"
#include "system/caps.h"
#include "system/private_heap.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

struct Entry {
  bool folder = false;
  std::string bytes;
  fs::file_time_type written;
  friend bool operator==(const Entry&, const Entry&) = default;
};
using Snapshot = std::map<std::string, Entry>;

// `game` (the install folder as install.log names it) stands as "<game>" in
// the bytes, so that sandboxes in different folders compare.
Snapshot Take(const fs::path& root, const std::string& game = "") {
  Snapshot snapshot;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    Entry entry;
    entry.folder = item.is_directory();
    if (!entry.folder) {
      std::ifstream in(item.path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      entry.bytes = bytes.str();
      for (std::size_t at; !game.empty() && (at = entry.bytes.find(game)) != std::string::npos;)
        entry.bytes.replace(at, game.size(), "<game>");
      // install.log is written anew by every install: its bytes tell.
      if (item.path().filename() != "install.log") entry.written = item.last_write_time();
    }
    snapshot[fs::relative(item.path(), root).generic_string()] = entry;
  }
  return snapshot;
}

std::string Pe(std::uint16_t major, const std::string& tail) {
  qvtest::PeVersionLayout layout;
  layout.dll = true;
  layout.strings = {{u"FileVersion", qvtest::U16(std::to_string(major) + ".0.0.0")}};
  return qvtest::MakePeFile(layout) + tail;
}

const std::vector<std::u16string> kCopyList = {u"a.txt", u"sub\\b.txt", u"new\\c\\d.txt", u"e.txt",
                                               u"engine.dll"};
const std::vector<std::u16string> kDeleteList = {u"old.txt", u"cache", u"missing.txt"};

// A game with replacements, additions in new folders, deleted files and
// folders, a newer library that stays, and an install.log with a line that
// is not UTF-8.
class Sandbox {
 public:
  Sandbox() {
    static const fs::file_time_type base = fs::file_time_type::clock::now();
    int stamp = 0;
    auto write = [&](const fs::path& path, const std::string& bytes) {
      fs::create_directories(path.parent_path());
      std::ofstream(path, std::ios::binary) << bytes;
      // Distinct times, the same in every sandbox, so that a file restored
      // with another's time shows.
      fs::last_write_time(path, base - std::chrono::hours(100 + ++stamp));
    };
    write(Game() / "a.txt", "old a");
    write(Game() / "keep.txt", "untouched");
    write(Game() / "sub" / "b.txt", "old b");
    write(Game() / "engine.dll", Pe(2, "installed"));
    write(Game() / "old.txt", "deleted file");
    write(Game() / "cache" / "x.bin", "deleted folder");
    write(Game() / "cache" / "y" / "z.bin", "deeper");
    write(Game() / "install.log", "\"C:\\old\\line\"\r\n\"\xff\xfe broken \x80\"\r\n");
    write(Data() / "a.txt", "new a");
    write(Data() / "sub" / "b.txt", "new b");
    write(Data() / "new" / "c" / "d.txt", "new d");
    write(Data() / "e.txt", "");
    write(Data() / "engine.dll", Pe(1, "patch"));
    write(dir_.Native(u"outside.txt"), "outside");
  }
  fs::path Game() const { return dir_.Native(u"game"); }
  fs::path Data() const { return dir_.Native(u"patch\\data"); }
  fs::path Root() const { return dir_.Native(); }
  std::u16string GamePath() const { return dir_.Path(u"game"); }
  std::u16string DataPath() const { return dir_.Path(u"patch\\data"); }
  std::u16string PatchPath() const { return dir_.Path(u"patch"); }
  std::string GameText() const { return qvtest::U8(GamePath()); }

 private:
  qvtest::ScratchDir dir_;
};

// Waits for the worker's finished report and remembers a failure.
struct Reports {
  std::mutex lock;
  std::condition_variable changed;
  bool finished = false;
  bool failed = false;

  static std::int32_t Callback(void* user, WorkerStatus* status) {
    auto* reports = static_cast<Reports*>(user);
    std::lock_guard<std::mutex> guard(reports->lock);
    if (status->failed) reports->failed = true;
    if (status->finished) reports->finished = true;
    reports->changed.notify_all();
    return status->failed ? 0 : 1;
  }
  void WaitForTheEnd() {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [&] { return finished; });
  }
};

enum class Ran { kRefused, kApplied, kRolledBack, kNotRestored };

// What the updater does from the start to the end, without its windows.
Ran Install(const Sandbox& box) {
  InstallSession session;
  if (session.OpenInstallFolder(box.GamePath().c_str(), box.PatchPath().c_str()) !=
          confine::Rule::kOk ||
      !session.LockInstallFolder())
    return Ran::kRefused;
  install::Failure failure;
  if (session.RecoverInterrupted(&failure) == install::Recovery::kFailed) return Ran::kRefused;
  if (session.Check(box.DataPath(), kCopyList, kDeleteList).kind != install::Refusal::Kind::kNone)
    return Ran::kRefused;
  Reports reports;
  if (!session.Start(box.DataPath(), kCopyList, kDeleteList, &Reports::Callback, &reports)) {
    return session.Finish(true) == InstallSession::Outcome::kRolledBack ? Ran::kRolledBack
                                                                        : Ran::kNotRestored;
  }
  reports.WaitForTheEnd();
  switch (session.Finish(reports.failed)) {
    case InstallSession::Outcome::kApplied: return Ran::kApplied;
    case InstallSession::Outcome::kRolledBack: return Ran::kRolledBack;
    default: return Ran::kNotRestored;
  }
}

// The next start after a crash: only the recovery.
install::Recovery Recover(const Sandbox& box) {
  InstallSession session;
  if (session.OpenInstallFolder(box.GamePath().c_str(), box.PatchPath().c_str()) !=
          confine::Rule::kOk ||
      !session.LockInstallFolder())
    return install::Recovery::kFailed;
  install::Failure failure;
  return session.RecoverInterrupted(&failure);
}

class InstallSweep : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CreatePrivateHeap(10u << 20);
    static qvCaps caps(QVCAPS_OS, 0);
  }

  // The game before and after a clean install, and everything around it.
  void SetUp() override {
    Sandbox box;
    old_game_ = Take(box.Game(), box.GameText());
    outside_ = Outside(box);
    ASSERT_EQ(Install(box), Ran::kApplied);
    new_game_ = Take(box.Game(), box.GameText());
  }

  Snapshot Outside(const Sandbox& box) {
    Snapshot all = Take(box.Root());
    std::erase_if(all, [](const auto& item) { return item.first.rfind("game", 0) == 0; });
    return all;
  }

  // "old", "new" or "mixed".
  std::string Judge(const Sandbox& box) {
    EXPECT_EQ(Outside(box), outside_) << "something outside the game folder changed";
    Snapshot game = Take(box.Game(), box.GameText());
    if (game == old_game_) return "old";
    if (game == new_game_) return "new";
    std::string differences;
    for (const auto& [path, entry] : game)
      if (!old_game_.count(path) || !(old_game_.at(path) == entry)) differences += " +" + path;
    for (const auto& [path, entry] : old_game_)
      if (!game.count(path)) differences += " -" + path;
    differences += "; against the new game:";
    for (const auto& [path, entry] : game)
      if (!new_game_.count(path) || !(new_game_.at(path) == entry)) differences += " +" + path;
    for (const auto& [path, entry] : new_game_)
      if (!game.count(path)) differences += " -" + path;
    return "mixed (against the old game:" + differences + ")";
  }

  static std::uint32_t ErrorFor(os::FileOp kind) {
    return kind == os::FileOp::kWrite ? os::kErrorDiskFull : os::kFaultDefaultError;
  }

  Snapshot old_game_, new_game_, outside_;
};

constexpr os::FileOp kKinds[] = {
    os::FileOp::kOpen,          os::FileOp::kRead,         os::FileOp::kWrite,
    os::FileOp::kFlush,         os::FileOp::kSetTimes,     os::FileOp::kSetAttributes,
    os::FileOp::kRename,        os::FileOp::kDelete,       os::FileOp::kCreateFolder,
    os::FileOp::kRemoveFolder,  os::FileOp::kFind,         os::FileOp::kLock,
    os::FileOp::kQuery};

TEST_F(InstallSweep, TheNewGameIsWhatTheFilesSay) {
  EXPECT_EQ(new_game_.at("a.txt").bytes, "new a");
  EXPECT_EQ(new_game_.at("new/c/d.txt").bytes, "new d");
  EXPECT_EQ(new_game_.at("engine.dll").bytes, Pe(2, "installed"));
  EXPECT_EQ(new_game_.at("keep.txt"), old_game_.at("keep.txt"));
  EXPECT_FALSE(new_game_.count("old.txt") || new_game_.count("cache") || new_game_.count("~qvupdate"));
  const std::string& log = new_game_.at("install.log").bytes;
  EXPECT_NE(log.find("\"\xff\xfe broken \x80\"\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\\new\\c\\d.txt\"\r\n"), std::string::npos) << log;
}

TEST_F(InstallSweep, EveryFailingOperationLeavesTheOldOrTheNewGame) {
  std::uint64_t total = 0;
  for (os::FileOp kind : kKinds) {
    std::uint64_t calls = 0;
    {
      Sandbox box;
      os::ArmFaults({kind, 0});
      Install(box);
      calls = os::FaultCallCount(kind);
      os::DisarmFaults();
    }
    total += calls;
    for (std::uint64_t n = 1; n <= calls; ++n) {
      SCOPED_TRACE(std::string(os::FileOpName(kind)) + " #" + std::to_string(n));
      Sandbox box;
      os::ArmFaults({kind, n, ErrorFor(kind), os::FaultAction::kFailOnce});
      const Ran ran = Install(box);
      os::DisarmFaults();
      const std::string state = Judge(box);
      EXPECT_TRUE(state == "old" || state == "new") << state;
      EXPECT_EQ(state == "new", ran == Ran::kApplied) << state;
    }
  }
  std::printf("operations failed one by one: %llu\n", static_cast<unsigned long long>(total));
}

TEST_F(InstallSweep, ACrashAtEveryOperationIsPutInOrderAtTheNextStart) {
  std::uint64_t total = 0;
  for (os::FileOp kind : kKinds) {
    std::uint64_t calls = 0;
    {
      Sandbox box;
      os::ArmFaults({kind, 0});
      Install(box);
      calls = os::FaultCallCount(kind);
      os::DisarmFaults();
    }
    total += calls;
    for (std::uint64_t n = 1; n <= calls; ++n) {
      SCOPED_TRACE(std::string(os::FileOpName(kind)) + " #" + std::to_string(n));
      Sandbox box;
      os::ArmFaults({kind, n, ErrorFor(kind), os::FaultAction::kCrash});
      Install(box);
      os::DisarmFaults();
      EXPECT_NE(Recover(box), install::Recovery::kFailed);
      const std::string state = Judge(box);
      EXPECT_TRUE(state == "old" || state == "new") << state;
    }
  }
  std::printf("crash points: %llu\n", static_cast<unsigned long long>(total));
}

}  // namespace
