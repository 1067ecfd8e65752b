// The install under every I/O failure and every crash, in the style of
// SQLite's I/O-error and crash tests: a sample patch is installed once per
// file operation with that operation failing, and once per operation with
// the process "dying" there followed by the recovery of the next start.
// Each time the game folder must be exactly the old tree or exactly the new
// one (bytes and last-write times of every file, every folder), install.log
// with it, and nothing outside the game folder may change.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>

#include "app/install_session.h"
#include "os/fault.h"
#include "support/pe_writer.h"
#include "system/caps.h"
#include "base/private_heap.h"
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
      entry.bytes = qvtest::ReadBytes(item.path());
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

// New folders move in whole: "new" (with a folder job inside) and
// "sub\\fresh" beside files of the game; "cache" is deleted and made anew.
const std::vector<std::u16string> kCopyList = {
    u"a.txt",  u"sub\\b.txt",    u"new\\c\\d.txt", u"new\\empty", u"sub\\fresh\\f.txt",
    u"e.txt", u"cache\\n.txt", u"engine.dll"};
const std::vector<std::u16string> kDeleteList = {u"old.txt", u"cache", u"missing.txt"};

// A game with replacements, additions in new folders, deleted files and
// folders, a folder deleted and filled anew, a newer library that stays,
// and an install.log with a line that is not UTF-8.
class Sandbox {
 public:
  Sandbox() {
    static const fs::file_time_type base = fs::file_time_type::clock::now();
    int stamp = 0;
    auto write = [&](const fs::path& path, const std::string& bytes) {
      qvtest::WriteBytes(path, bytes);
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
    fs::create_directories(Data() / "new" / "empty");
    write(Data() / "sub" / "fresh" / "f.txt", "new f");
    write(Data() / "cache" / "n.txt", "new n");
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
  qvtest::ScratchDir dir_{qvtest::MemoryTempFolder()};
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

// Counts the calls of `kind` that `run` makes, without failing any.
template <typename Run>
std::uint64_t CountCalls(os::FileOp kind, Run run) {
  os::ArmFaults({kind, 0});
  run();
  const std::uint64_t calls = os::FaultCallCount(kind);
  os::DisarmFaults();
  return calls;
}

// The errors a failing operation gives, in turn: a full disk, a refused
// access, a file held by another program.
constexpr std::uint32_t kErrors[] = {os::kErrorDiskFull, os::kErrorAccessDenied,
                                     os::kErrorSharingViolation};
std::uint32_t ErrorFor(std::uint64_t n) { return kErrors[n % std::size(kErrors)]; }

// Kinds whose calls may change what is on the disk (an open may create,
// and a flush decides what a power cut would keep). A crash at any other
// call leaves the disk exactly as a crash at the next call of these kinds
// does, so the crash sweeps stop at these and lose no state.
constexpr os::FileOp kChangingKinds[] = {
    os::FileOp::kOpen,          os::FileOp::kWrite,        os::FileOp::kFlush,
    os::FileOp::kSetTimes,      os::FileOp::kSetAttributes, os::FileOp::kRename,
    os::FileOp::kDelete,        os::FileOp::kCreateFolder, os::FileOp::kRemoveFolder};

constexpr os::FileOp kKinds[] = {
    os::FileOp::kOpen,          os::FileOp::kRead,         os::FileOp::kWrite,
    os::FileOp::kFlush,         os::FileOp::kSetTimes,     os::FileOp::kSetAttributes,
    os::FileOp::kRename,        os::FileOp::kDelete,       os::FileOp::kCreateFolder,
    os::FileOp::kRemoveFolder,  os::FileOp::kFind,         os::FileOp::kLock,
    os::FileOp::kQuery};

// Handles open in this process, where the system tells (else 0): one left
// open by an install keeps Windows from removing its folder.
std::size_t OpenHandles() {
#ifdef __linux__
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
#else
  return 0;
#endif
}

std::string Trace(os::FileOp kind, std::uint64_t n) {
  return std::string(os::FileOpName(kind)) + " #" + std::to_string(n);
}

class InstallSweep : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CreatePrivateHeap(10u << 20);
    static qvCaps caps(QVCAPS_OS, 0);
    // Each flush still counts and fails in turn; only the wait for the disk
    // goes, which a crash of the seam (not a power cut) cannot tell.
    os::SetFlushesReachDisk(false);
  }
  static void TearDownTestSuite() { os::SetFlushesReachDisk(true); }

  // The game before and after a clean install, and everything around it.
  void SetUp() override {
    Sandbox box;
    old_game_ = Take(box.Game(), box.GameText());
    outside_ = Outside(box);
    const std::size_t handles = OpenHandles();
    ASSERT_EQ(Install(box), Ran::kApplied);
    EXPECT_EQ(OpenHandles(), handles);
    new_game_ = Take(box.Game(), box.GameText());
  }

  Snapshot Outside(const Sandbox& box) {
    Snapshot all = Take(box.Root());
    std::erase_if(all, [](const auto& item) { return item.first.rfind("game", 0) == 0; });
    return all;
  }

  // "old", "new" or "mixed (...)" with what differs from each. The work
  // folder, install.log and every file's bytes and times take part.
  std::string Judge(const Sandbox& box) {
    EXPECT_EQ(Outside(box), outside_) << "something outside the game folder changed";
    Snapshot game = Take(box.Game(), box.GameText());
    if (game == old_game_) return "old";
    if (game == new_game_) return "new";
    auto against = [&](const Snapshot& expected) {
      std::string differences;
      for (const auto& [path, entry] : game)
        if (!expected.count(path) || !(expected.at(path) == entry)) differences += " +" + path;
      for (const auto& [path, entry] : expected)
        if (!game.count(path)) differences += " -" + path;
      return differences;
    };
    return "mixed (against the old game:" + against(old_game_) +
           "; against the new game:" + against(new_game_) + ")";
  }

  // What the recovery after a crash did, and how many operations it took.
  struct Recovered {
    install::Recovery outcome = install::Recovery::kFailed;
    std::uint64_t calls[os::kFileOpKinds] = {};  // by kind
  };

  // A crash at the `n`-th call of `kind` during the install, then the
  // recovery of the next start.
  Recovered CrashThenRecover(const Sandbox& box, os::FileOp kind, std::uint64_t n) {
    os::ArmFaults({kind, n, ErrorFor(n), os::FaultAction::kCrash});
    Install(box);
    os::DisarmFaults();
    Recovered recovered;
    os::ArmFaults({os::FileOp::kAny, 0});
    recovered.outcome = Recover(box);
    for (os::FileOp counted : kKinds)
      recovered.calls[static_cast<int>(counted)] = os::FaultCallCount(counted);
    os::DisarmFaults();
    EXPECT_NE(recovered.outcome, install::Recovery::kFailed);
    return recovered;
  }

  Snapshot old_game_, new_game_, outside_;
};

TEST_F(InstallSweep, TheNewGameIsWhatTheFilesSay) {
  EXPECT_EQ(new_game_.at("a.txt").bytes, "new a");
  EXPECT_EQ(new_game_.at("new/c/d.txt").bytes, "new d");
  EXPECT_TRUE(new_game_.at("new/empty").folder);
  EXPECT_EQ(new_game_.at("sub/fresh/f.txt").bytes, "new f");
  EXPECT_EQ(new_game_.at("engine.dll").bytes, Pe(2, "installed"));
  EXPECT_EQ(new_game_.at("keep.txt"), old_game_.at("keep.txt"));
  EXPECT_EQ(new_game_.at("cache/n.txt").bytes, "new n");
  EXPECT_FALSE(new_game_.count("old.txt") || new_game_.count("cache/x.bin") ||
               new_game_.count("~qvupdate"));
  const std::string& log = new_game_.at("install.log").bytes;
  EXPECT_NE(log.find("\"\xff\xfe broken \x80\"\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\\new\\c\\d.txt\"\r\n"), std::string::npos) << log;
  // A file kept for its newer version is still named: the log records what
  // the update installs.
  EXPECT_NE(log.find("\\engine.dll\"\r\n"), std::string::npos) << log;
}

// One kind of operation per test, so that the sweeps run side by side.
class FailureSweep : public InstallSweep, public ::testing::WithParamInterface<os::FileOp> {};
class CrashSweep : public InstallSweep, public ::testing::WithParamInterface<os::FileOp> {};

std::string KindName(const ::testing::TestParamInfo<os::FileOp>& info) {
  std::string name = os::FileOpName(info.param);
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

TEST_P(FailureSweep, EveryFailingOperationLeavesTheOldOrTheNewGame) {
  const os::FileOp kind = GetParam();
  const std::uint64_t calls = CountCalls(kind, [] { Install(Sandbox()); });
  for (std::uint64_t n = 1; n <= calls; ++n) {
    SCOPED_TRACE(Trace(kind, n));
    Sandbox box;
    const std::size_t handles = OpenHandles();
    os::ArmFaults({kind, n, ErrorFor(n), os::FaultAction::kFailOnce});
    const Ran ran = Install(box);
    os::DisarmFaults();
    EXPECT_EQ(OpenHandles(), handles);
    const std::string state = Judge(box);
    EXPECT_TRUE(state == "old" || state == "new") << state;
    EXPECT_EQ(state == "new", ran == Ran::kApplied) << state;
    EXPECT_NE(ran, Ran::kNotRestored) << "one failure is always undone";
  }
  std::printf("%s operations failed one by one: %llu\n", os::FileOpName(kind),
              static_cast<unsigned long long>(calls));
}
INSTANTIATE_TEST_SUITE_P(Kinds, FailureSweep, ::testing::ValuesIn(kKinds), KindName);

TEST_P(CrashSweep, ACrashAtEveryOperationIsPutInOrderAtTheNextStart) {
  const os::FileOp kind = GetParam();
  const std::uint64_t calls = CountCalls(kind, [] { Install(Sandbox()); });
  for (std::uint64_t n = 1; n <= calls; ++n) {
    SCOPED_TRACE(Trace(kind, n));
    Sandbox box;
    CrashThenRecover(box, kind, n);
    const std::string state = Judge(box);
    EXPECT_TRUE(state == "old" || state == "new") << state;
  }
  std::printf("%s crash points: %llu\n", os::FileOpName(kind),
              static_cast<unsigned long long>(calls));
}
INSTANTIATE_TEST_SUITE_P(Kinds, CrashSweep, ::testing::ValuesIn(kChangingKinds), KindName);

// The commit point's rename fails, so that everything moved goes back; then
// each rename of that rollback fails in turn. The player must hear that the
// game was not restored, and the next start puts the old game back.
TEST_F(InstallSweep, AFailureDuringTheRollbackReportsThatTheGameWasNotRestored) {
  const std::uint64_t first = CountCalls(os::FileOp::kRename, [] { Install(Sandbox()); });
  os::ArmFaults({os::FileOp::kRename, first, os::kErrorAccessDenied});
  ASSERT_EQ(Install(Sandbox()), Ran::kRolledBack);
  const std::uint64_t renames = os::FaultCallCount(os::FileOp::kRename);
  os::DisarmFaults();
  ASSERT_GT(renames, first + 1);
  for (std::uint64_t n = first + 1; n <= renames; ++n) {
    SCOPED_TRACE(Trace(os::FileOp::kRename, n));
    Sandbox box;
    os::ArmFaults({os::FileOp::kRename, first, os::kErrorAccessDenied, os::FaultAction::kFailOnce,
                   os::FileOp::kRename, n});
    EXPECT_EQ(Install(box), Ran::kNotRestored);
    os::DisarmFaults();
    EXPECT_EQ(Recover(box), install::Recovery::kRolledBack);
    EXPECT_EQ(Judge(box), "old");
  }
}

// A second crash during the recovery, at each of its operations that may
// change the disk, then a third start. Every such operation of two recoveries: the longest one (a crash
// at the last rename, the commit point's: everything moved goes back) and
// one after the commit point (a crash at the first deletion of the clean-up:
// the clean-up is finished).
TEST_F(InstallSweep, ACrashDuringTheRecoveryIsPutInOrderAtTheStartAfter) {
  struct FirstCrash {
    os::FileOp kind;
    std::uint64_t n;
    const char* state;
  };
  std::vector<FirstCrash> firsts;
  const std::uint64_t renames = CountCalls(os::FileOp::kRename, [] { Install(Sandbox()); });
  firsts.push_back({os::FileOp::kRename, renames, "old"});
  const std::uint64_t deletes = CountCalls(os::FileOp::kDelete, [] { Install(Sandbox()); });
  for (std::uint64_t n = 1; n <= deletes && firsts.size() == 1; ++n) {
    Sandbox box;
    if (CrashThenRecover(box, os::FileOp::kDelete, n).outcome == install::Recovery::kFinished &&
        Judge(box) == "new")
      firsts.push_back({os::FileOp::kDelete, n, "new"});
  }
  ASSERT_EQ(firsts.size(), 2u) << "no crash point after the commit";

  std::uint64_t total = 0;
  for (const FirstCrash& first : firsts) {
    const Recovered recovered = CrashThenRecover(Sandbox(), first.kind, first.n);
    for (os::FileOp kind : kChangingKinds) {
      const std::uint64_t calls = recovered.calls[static_cast<int>(kind)];
      total += calls;
      for (std::uint64_t m = 1; m <= calls; ++m) {
        SCOPED_TRACE(Trace(first.kind, first.n) + ", then " + Trace(kind, m));
        Sandbox box;
        os::ArmFaults({first.kind, first.n, ErrorFor(first.n), os::FaultAction::kCrash});
        Install(box);
        os::ArmFaults({kind, m, ErrorFor(m), os::FaultAction::kCrash});
        Recover(box);
        os::DisarmFaults();
        EXPECT_NE(Recover(box), install::Recovery::kFailed);
        EXPECT_EQ(Judge(box), first.state);
      }
    }
  }
  std::printf("crash points in recoveries: %llu\n", static_cast<unsigned long long>(total));
}

}  // namespace
