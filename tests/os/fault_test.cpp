#include "os/fault.h"
#include "os/find.h"
#include "os/folders.h"
#include "os/times.h"
#include "os/tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "os/durable.h"
#include "os/file.h"
#include "os/locks.h"
#include "os/process.h"
#include "os/volume.h"
#include "os_test_util.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using ostest::ErrorOf;
using qvtest::ScratchDir;

// Files and handles for issuing every kind of operation three times; made
// before the seam is armed, with std::filesystem where it can be, so that
// nothing here is counted.
class SeamBench {
 public:
  SeamBench() {
    dir_.WriteFile(u"file.txt", "0123456789");
    dir_.WriteFile(u"written.bin", "");
    for (int i = 0; i < 3; ++i) {
      dir_.WriteFile(Name(u"doomed", i), "d");
      dir_.WriteFile(Name(u"moving", i), "m");
      fs::create_directories(dir_.Native(Name(u"empty", i)));
    }
    reader_ = ostest::Open(Path(u"file.txt"), os::kAccessRead, os::kShareRead, os::kOpenExisting);
    writer_ = ostest::Open(Path(u"written.bin"), os::kAccessWrite, os::kShareRead, os::kOpenExisting);
  }
  ~SeamBench() {
    os::CloseFile(reader_);
    os::CloseFile(writer_);
  }

  std::u16string Path(std::u16string_view relative) const { return dir_.Path(relative); }
  static std::u16string Name(std::u16string_view stem, int i) {
    return std::u16string(stem) + static_cast<char16_t>(u'0' + i);
  }
  // The path of stem + i, and whether it exists (a link counts itself).
  std::u16string Path(std::u16string_view stem, int i) const { return Path(Name(stem, i)); }
  bool Exists(std::u16string_view stem, int i) const {
    return fs::exists(fs::symlink_status(dir_.Native(Name(stem, i))));
  }
  const ScratchDir& dir() const { return dir_; }
  os::Handle writer() const { return writer_; }
  // One byte through the bench's own handles; `done` is what moved.
  bool Write(char byte, std::uint32_t* done = nullptr) const {
    std::uint32_t moved = 0;
    return os::WriteFile(writer_, &byte, 1, done ? done : &moved);
  }
  bool Read() const {
    char byte = 0;
    std::uint32_t done = 0;
    return os::ReadFile(reader_, &byte, 1, &done) && done == 1;
  }

 private:
  ScratchDir dir_;
  os::Handle reader_ = os::kInvalidHandle;
  os::Handle writer_ = os::kInvalidHandle;
};

// One kind of operation: call `i` (0, 1, 2) and, where the disk shows it,
// whether call `i` took effect.
struct KindCase {
  os::FileOp op;
  std::function<bool(SeamBench&, int)> call;
  std::function<bool(SeamBench&, int)> took_effect;
};

std::vector<KindCase> KindCases() {
  using os::FileOp;
  return {
      {FileOp::kOpen,
       [](SeamBench& b, int) {
         os::Handle file = ostest::Open(b.Path(u"file.txt"), os::kAccessRead, os::kShareRead,
                                        os::kOpenExisting);
         if (file == os::kInvalidHandle) return false;
         os::CloseFile(file);
         return true;
       },
       nullptr},
      {FileOp::kRead, [](SeamBench& b, int) { return b.Read(); }, nullptr},
      {FileOp::kWrite,
       [](SeamBench& b, int i) {
         std::uint32_t done = 0;
         return b.Write(static_cast<char>('a' + i), &done) && done == 1;
       },
       [](SeamBench& b, int i) {
         return b.dir().ReadFile(u"written.bin").find(static_cast<char>('a' + i)) != std::string::npos;
       }},
      {FileOp::kFlush, [](SeamBench& b, int) { return os::FlushFile(b.writer()); }, nullptr},
      {FileOp::kSetTimes,
       [](SeamBench& b, int i) {
         const os::FileTime when{132000000000000000ull + static_cast<std::uint64_t>(i) * 10000000};
         return os::SetFileTimes(b.writer(), nullptr, nullptr, &when);
       },
       nullptr},
      {FileOp::kSetAttributes,
       [](SeamBench& b, int i) { return os::SetFileAttributes(b.Path(u"doomed", i).c_str(), os::kAttrReadOnly); },
       [](SeamBench& b, int i) {
         return (os::GetFileAttributes(b.Path(u"doomed", i).c_str()) & os::kAttrReadOnly) != 0;
       }},
      {FileOp::kRename,
       [](SeamBench& b, int i) { return os::Rename(b.Path(u"moving", i).c_str(), b.Path(u"moved", i).c_str()); },
       [](SeamBench& b, int i) { return b.Exists(u"moved", i); }},
      {FileOp::kDelete, [](SeamBench& b, int i) { return os::DeleteFile(b.Path(u"doomed", i).c_str()); },
       [](SeamBench& b, int i) { return !b.Exists(u"doomed", i); }},
      {FileOp::kCreateFolder,
       [](SeamBench& b, int i) { return os::CreateDirectory(b.Path(u"made", i).c_str()); },
       [](SeamBench& b, int i) { return b.Exists(u"made", i); }},
      {FileOp::kRemoveFolder,
       [](SeamBench& b, int i) { return os::RemoveDirectory(b.Path(u"empty", i).c_str()); },
       [](SeamBench& b, int i) { return !b.Exists(u"empty", i); }},
      {FileOp::kFind,
       [](SeamBench& b, int) {
         os::FindData data;
         os::Handle search = os::FindFirst(b.Path(u"*.*").c_str(), &data);
         os::FindClose(search);
         return search != os::kInvalidHandle;
       },
       nullptr},
      {FileOp::kLock,
       [](SeamBench& b, int) {
         os::FolderLock* lock = os::LockFolder(b.Path(u"").c_str());
         os::UnlockFolder(lock);
         return lock != nullptr;
       },
       nullptr},
      {FileOp::kQuery,
       [](SeamBench& b, int) { return os::GetFileAttributes(b.Path(u"file.txt").c_str()) != os::kInvalidAttributes; },
       nullptr},
  };
}

void PrintTo(const KindCase& c, std::ostream* out) { *out << os::FileOpName(c.op); }

class FaultSeam : public ::testing::Test {
 protected:
  void TearDown() override { os::DisarmFaults(); }
};

class FaultKind : public FaultSeam, public ::testing::WithParamInterface<KindCase> {};

TEST_P(FaultKind, FailsTheNthCallWithTheChosenErrorAndNothingElse) {
  const KindCase& c = GetParam();
  SeamBench bench;
  const std::uint32_t error = 1000 + static_cast<std::uint32_t>(c.op);
  os::ArmFaults({c.op, 2, error});
  EXPECT_TRUE(c.call(bench, 0));
  EXPECT_FALSE(os::FaultFired());
  os::SetLastError(0);
  EXPECT_EQ(ErrorOf(c.call(bench, 1)), error);
  EXPECT_TRUE(os::FaultFired());
  EXPECT_TRUE(c.call(bench, 2)) << "a single fault fails one call only";
  os::DisarmFaults();

  EXPECT_EQ(os::FaultCallCount(c.op), 3u);
  EXPECT_EQ(os::FaultCallCount(os::FileOp::kAny), 3u) << "no call of another kind was counted";
  if (c.took_effect) {
    EXPECT_TRUE(c.took_effect(bench, 0));
    EXPECT_FALSE(c.took_effect(bench, 1)) << "the failed call reached the disk";
    EXPECT_TRUE(c.took_effect(bench, 2));
  }
}

TEST_P(FaultKind, FailsAfterACrashElsewhereUntilDisarmed) {
  const KindCase& c = GetParam();
  SeamBench bench;
  os::ArmFaults({os::FileOp::kAny, 1, 21, os::FaultAction::kCrash});
  EXPECT_EQ(os::GetFileAttributes(bench.Path(u"file.txt").c_str()), os::kInvalidAttributes);
  os::SetLastError(0);
  EXPECT_EQ(ErrorOf(c.call(bench, 0)), 21u);
  EXPECT_EQ(os::FaultCallCount(os::FileOp::kAny), 1u) << "a crashed process counts nothing";

  os::DisarmFaults();
  if (c.took_effect) {
    EXPECT_FALSE(c.took_effect(bench, 0));
  }
  EXPECT_TRUE(c.call(bench, 1)) << "recovery runs as a new process";
}

INSTANTIATE_TEST_SUITE_P(EveryKind, FaultKind, ::testing::ValuesIn(KindCases()),
                         [](const ::testing::TestParamInfo<KindCase>& info) {
                           std::string name = os::FileOpName(info.param.op);
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// The operations the table above leaves out, each under its kind.
TEST_F(FaultSeam, FoldersVolumesAndMutexesHaveFaultPoints) {
  SeamBench bench;
  const std::u16string folder = bench.Path(u"");
  // The bench holds its own files open; the flushed folder has none.
  const std::u16string staged = bench.Path(u"staged");
  ASSERT_TRUE(os::CreateDirectory(staged.c_str()));
  const os::Handle tree_folder = os::OpenTreeRoot(staged.c_str());
  ASSERT_NE(tree_folder, os::kInvalidHandle);
  struct Case {
    os::FileOp op;
    std::function<bool()> call;
  } cases[] = {
      {os::FileOp::kFlush, [&] { return os::FlushFolder(folder.c_str()); }},
      {os::FileOp::kFlush, [&] { return os::FlushTreeFiles(tree_folder); }},
      {os::FileOp::kFlush, [&] { return os::FlushTreeFolders(&tree_folder, 1); }},
      {os::FileOp::kQuery,
       [&] {
         std::uint64_t free = 0;
         return os::GetFreeDiskSpace(folder.c_str(), &free);
       }},
      {os::FileOp::kLock,
       [] {
         bool exists = false;
         return os::NamedMutexExists(u"QvTestNeverHeld", &exists);
       }},
      {os::FileOp::kLock,
       [] {
         os::NamedMutex* mutex = os::HoldNamedMutex(u"QvTestNeverHeld");
         os::ReleaseNamedMutex(mutex);
         return mutex != nullptr;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(os::FileOpName(c.op));
    os::ArmFaults({c.op, 1, 1234});
    EXPECT_EQ(ErrorOf(c.call()), 1234u);
    EXPECT_TRUE(c.call());
    EXPECT_EQ(os::FaultCallCount(c.op), 2u);
    EXPECT_EQ(os::FaultCallCount(os::FileOp::kAny), 2u);
  }
  os::DisarmFaults();
  os::CloseTreeFolder(tree_folder);
}

TEST_F(FaultSeam, OnwardFailsEveryLaterCallOfTheKindOnly) {
  SeamBench bench;
  os::ArmFaults({os::FileOp::kWrite, 2, os::kErrorDiskFull, os::FaultAction::kFailOnward});
  EXPECT_TRUE(bench.Write('x'));
  for (int i = 0; i < 3; ++i) {
    std::uint32_t done = 1;
    EXPECT_EQ(ErrorOf(bench.Write('x', &done)), os::kErrorDiskFull);
    EXPECT_EQ(done, 0u);
  }
  EXPECT_TRUE(bench.Read());
  os::DisarmFaults();
  EXPECT_EQ(bench.dir().ReadFile(u"written.bin"), "x");
}

// The second fault of a plan: a failure in the clean-up of the first.
TEST_F(FaultSeam, ASecondCallOfItsOwnKindFailsOnceToo) {
  SeamBench bench;
  os::ArmFaults({os::FileOp::kWrite, 1, os::kErrorDiskFull, os::FaultAction::kFailOnce,
                 os::FileOp::kRead, 2});
  EXPECT_FALSE(bench.Write('x'));
  EXPECT_TRUE(bench.Read());
  os::SetLastError(0);
  EXPECT_EQ(ErrorOf(bench.Read()), os::kErrorDiskFull);
  EXPECT_TRUE(bench.Read());
  EXPECT_TRUE(bench.Write('x'));
}

// Four threads query at once; every call is counted once, and exactly the
// calls before the crashing one succeed.
TEST_F(FaultSeam, CountsExactlyAcrossThreads) {
  SeamBench bench;
  const std::u16string path = bench.Path(u"file.txt");
  constexpr int kThreads = 4, kCalls = 500;
  auto hammer = [&](std::atomic<int>* succeeded) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&] {
        for (int i = 0; i < kCalls; ++i)
          if (os::GetFileAttributes(path.c_str()) != os::kInvalidAttributes) ++*succeeded;
      });
    for (std::thread& thread : threads) thread.join();
  };

  std::atomic<int> succeeded{0};
  os::ArmFaults({os::FileOp::kQuery, 777, 5});
  hammer(&succeeded);
  EXPECT_EQ(os::FaultCallCount(os::FileOp::kQuery), std::uint64_t{kThreads * kCalls});
  EXPECT_EQ(succeeded.load(), kThreads * kCalls - 1);

  succeeded = 0;
  os::ArmFaults({os::FileOp::kQuery, 999, 5, os::FaultAction::kCrash});
  hammer(&succeeded);
  EXPECT_EQ(succeeded.load(), 998);
}

// QV_FAULT arms the seam of a new process. Each child writes five blocks
// and ends with the error of its first failed write (0: none failed).
class FaultEnvironment : public FaultSeam {
 protected:
  void SetUp() override {
    char16_t module[1024] = {};
    os::GetModulePath(module, 1024);
    // The child of a death test never cleans up: a fixed folder is reused.
    file_ = fs::path(std::u16string(module)).parent_path() / "fault_files" / "blocks.txt";
    fs::create_directories(file_.parent_path());
    fs::remove(file_);
  }

  [[noreturn]] void WriteBlocks() const {
    os::Handle file = ostest::Open(file_.u16string(), os::kAccessWrite, os::kShareNone,
                                   os::kCreateAlways);
    std::uint32_t first_error = file == os::kInvalidHandle ? os::GetLastError() : 0;
    for (char block = '1'; block <= '5' && file != os::kInvalidHandle; ++block) {
      std::uint32_t done = 0;
      if (!os::WriteFile(file, &block, 1, &done) && first_error == 0)
        first_error = os::GetLastError();
    }
    std::fflush(nullptr);
    std::_Exit(static_cast<int>(first_error));
  }

  fs::path file_;
};

TEST_F(FaultEnvironment, FailsEndsOrIsIgnoredAsTheVariableSays) {
  struct Case {
    const char* value;
    int exit_code;
    const char* blocks;
    const char* message;
  } cases[] = {
      {"write:3:112", 112, "1245", ""},
      {"write:2+:39", 39, "1", ""},
      {"write:4:crash", 137, "123", ""},
      {"any:2:5", 5, "2345", ""},  // the open is the first call
      {"open:1:5", 5, "", ""},
      {"write:0:112", 0, "12345", "QV_FAULT=write:0:112 ignored"},
      {"write:3+:crash", 0, "12345", "ignored"},
      {"wirte:3:112", 0, "12345", "ignored"},
      {"write:3:", 0, "12345", "ignored"},
      {"write:3:112x", 0, "12345", "ignored"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    {
      qvtest::ScopedEnv fault("QV_FAULT", c.value);
      EXPECT_EXIT(WriteBlocks(), ::testing::ExitedWithCode(c.exit_code), c.message);
    }
    std::ifstream in(file_, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.blocks);
  }
}

}  // namespace
