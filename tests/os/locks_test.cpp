#include "os/locks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "os/file.h"
#include "os/tree.h"
#include "support/child_process.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using qvtest::ScratchDir;

struct Unlock {
  void operator()(os::FolderLock* lock) const { os::UnlockFolder(lock); }
};
using LockPtr = std::unique_ptr<os::FolderLock, Unlock>;

struct Release {
  void operator()(os::NamedMutex* mutex) const { os::ReleaseNamedMutex(mutex); }
};
using MutexPtr = std::unique_ptr<os::NamedMutex, Release>;

// The holder of a lock or mutex in another process (tests/os/os_holder.cpp).
class Holder {
 public:
  Holder(const std::string& command, const std::string& target)
      : process_(qvtest::ProgramBesideTest("os_holder"),
                 {command, target, qvtest::U8(signals_.Path())}) {
    for (int i = 0; i < 2000 && !Holds() && !process_.Wait(0); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~Holder() { Signal("stop"); }

  bool Holds() const { return fs::exists(signals_.Native(u"held")); }
  // Ends the holder; its exit code.
  std::optional<int> Signal(const char* what) {
    std::ofstream(signals_.Native() / what) << what;
    return process_.Wait(20000);
  }
  std::optional<int> Refusal() { return process_.Wait(20000); }

 private:
  ScratchDir signals_;
  qvtest::ChildProcess process_;
};

class Locks : public ::testing::Test {
 protected:
  // A mutex name no other run of these tests uses.
  std::u16string UniqueName(std::u16string_view stem) const {
    return std::u16string(stem) + dir_.Native().filename().u16string();
  }
  ScratchDir dir_;
};

TEST_F(Locks, AnExistingFolderIsLockedByOneHolderAtATime) {
  fs::create_directories(dir_.Native(u"game\\sub"));
  fs::create_directories(dir_.Native(u"other"));
  LockPtr lock(os::LockFolder(dir_.Path(u"game").c_str()));
  ASSERT_TRUE(lock);
  for (const std::u16string& spelling :
       {dir_.Path(u"game"), dir_.Path(u"game\\"), dir_.Path(u"game\\sub\\..")}) {
    SCOPED_TRACE(qvtest::U8(spelling));
    EXPECT_FALSE(LockPtr(os::LockFolder(spelling.c_str())));
    EXPECT_EQ(os::GetLastError(), os::kErrorLockViolation);
  }
#ifdef _WIN32
  std::u16string upper = dir_.Path(u"GAME");
  EXPECT_FALSE(LockPtr(os::LockFolder(upper.c_str()))) << "Windows names are case-blind";
#endif
  EXPECT_TRUE(LockPtr(os::LockFolder(dir_.Path(u"other").c_str())));
  EXPECT_TRUE(LockPtr(os::LockFolder(dir_.Path(u"game\\sub").c_str())));
  lock.reset();
  EXPECT_TRUE(LockPtr(os::LockFolder(dir_.Path(u"game").c_str())));
  // Only folders that exist are locked.
  dir_.WriteFile(u"file.txt", "x");
  EXPECT_FALSE(LockPtr(os::LockFolder(dir_.Path(u"missing").c_str())));
  EXPECT_EQ(os::GetLastError(), os::kErrorPathNotFound);
  EXPECT_FALSE(LockPtr(os::LockFolder(dir_.Path(u"file.txt").c_str())));
  EXPECT_EQ(os::GetLastError(), os::kErrorDirectory);
}

TEST_F(Locks, AnotherProcessHoldingTheFolderRefusesItUntilItEnds) {
  fs::create_directories(dir_.Native(u"game"));
  const std::u16string game = dir_.Path(u"game");
  // A holder that crashed keeps nothing either.
  for (auto [signal, exit_code] : {std::pair{"stop", 0}, std::pair{"crash", 9}}) {
    SCOPED_TRACE(signal);
    {
      Holder holder("lock", qvtest::U8(game));
      ASSERT_TRUE(holder.Holds());
      EXPECT_FALSE(LockPtr(os::LockFolder(game.c_str())));
      EXPECT_EQ(os::GetLastError(), os::kErrorLockViolation);
      EXPECT_EQ(holder.Signal(signal), exit_code);
    }
    EXPECT_TRUE(LockPtr(os::LockFolder(game.c_str())));
  }

  LockPtr lock(os::LockFolder(game.c_str()));
  Holder refused("lock", qvtest::U8(game));
  EXPECT_EQ(refused.Refusal(), static_cast<int>(os::kErrorLockViolation));
}

TEST_F(Locks, ANamedMutexIsSeenWhileItIsHeld) {
  const std::u16string name = UniqueName(u"QvTestGame-");
  bool exists = true;
  ASSERT_TRUE(os::NamedMutexExists(name.c_str(), &exists));
  EXPECT_FALSE(exists);
  {
    MutexPtr held(os::HoldNamedMutex(name.c_str()));
    ASSERT_TRUE(held);
    ASSERT_TRUE(os::NamedMutexExists(name.c_str(), &exists));
    EXPECT_TRUE(exists);
    ASSERT_TRUE(os::NamedMutexExists((u"Local\\" + name).c_str(), &exists));
    EXPECT_TRUE(exists) << "a name without a namespace is a local one";
    EXPECT_FALSE(MutexPtr(os::HoldNamedMutex(name.c_str())));
    EXPECT_EQ(os::GetLastError(), os::kErrorAlreadyExists);
  }
  ASSERT_TRUE(os::NamedMutexExists(name.c_str(), &exists));
  EXPECT_FALSE(exists);
  EXPECT_TRUE(MutexPtr(os::HoldNamedMutex(name.c_str())));

  EXPECT_FALSE(os::NamedMutexExists(u"", &exists));
  EXPECT_EQ(os::GetLastError(), os::kErrorInvalidParameter);
  EXPECT_FALSE(MutexPtr(os::HoldNamedMutex(u"")));
}

// Japanese and a slash as a game's name may have them; 259 characters, the
// most Windows takes; a Japanese name whose escaped form is four times as
// long as a file name may be.
TEST_F(Locks, TheProbeSeesTheMutexOfAnotherProgramByAnyName) {
  const std::u16string unique = UniqueName(u"-");
  // The last game crashes: one that crashed runs no more.
  const struct {
    std::u16string name;
    const char* signal;
    int exit_code;
  } games[] = {{u"空灯籠/QvTestGame" + unique, "stop", 0},
               {std::u16string(259 - unique.size(), u'm') + unique, "stop", 0},
               {std::u16string(100, u'灯') + unique, "stop", 0},
               {u"QvTestGame" + unique, "crash", 9}};
  for (const auto& [name, signal, exit_code] : games) {
    SCOPED_TRACE(testing::Message() << name.size() << " " << signal);
    std::u16string other = name;
    other[other.size() - 1] = u'x';
    bool exists = false;
    {
      Holder game("mutex", qvtest::U8(name));
      ASSERT_TRUE(game.Holds());
      ASSERT_TRUE(os::NamedMutexExists(name.c_str(), &exists));
      EXPECT_TRUE(exists);
      EXPECT_FALSE(MutexPtr(os::HoldNamedMutex(name.c_str())));
      ASSERT_TRUE(os::NamedMutexExists(other.c_str(), &exists));
      EXPECT_FALSE(exists) << "names that differ only at their end are two mutexes";
      EXPECT_EQ(game.Signal(signal), exit_code);
    }
    ASSERT_TRUE(os::NamedMutexExists(name.c_str(), &exists));
    EXPECT_FALSE(exists);
  }
}

}  // namespace
