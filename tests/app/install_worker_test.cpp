#include "app/install_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "os/fault.h"
#include "os/file.h"
#include "os/thread.h"
#include "support/fence.h"
#include "support/links.h"
#include "support/pe_writer.h"
#include "system/caps.h"
#include "base/private_heap.h"
#include "test_support.h"
#include "support/debug_log_capture.h"

namespace {

using qvtest::ScratchDir;
namespace fs = std::filesystem;

constexpr std::uint64_t kBufferedCapacity = 2u << 20;

// What one callback saw.
struct Seen {
  int finished = 0;
  int failed = 0;
  std::uint64_t current_size = 0;
  std::uint64_t current_written = 0;
  std::uint64_t total_size = 0;
  std::uint64_t total_done = 0;
  std::u16string source;
  std::u16string destination;
  std::u16string message;
  bool IsProgress() const { return !finished && !failed; }
};

// Collects the reports of one run; the callback may come from any of the
// worker's threads.
class Recorder {
 public:
  Recorder() : lock_(os::CreateCriticalSection()), done_(os::CreateEvent(true, false)) {}
  ~Recorder() {
    os::DeleteCriticalSection(lock_);
    os::CloseEvent(done_);
  }

  // Called with the report count so far; its result goes back to the worker.
  std::function<int(const Seen&, std::size_t)> answer = [](const Seen&, std::size_t) {
    return 1;
  };

  static std::int32_t Callback(void* user, WorkerStatus* status) {
    auto* self = static_cast<Recorder*>(user);
    Seen seen{status->finished, status->failed, status->current_size,
              status->current_written, status->total_size, status->total_done,
              status->source, status->destination, status->message};
    os::EnterCriticalSection(self->lock_);
    self->reports_.push_back(seen);
    const std::size_t index = self->reports_.size() - 1;
    os::LeaveCriticalSection(self->lock_);
    const int result = self->answer(seen, index);
    if (seen.finished) os::SetEvent(self->done_);
    return result;
  }

  // Runs the worker to its finished report and destroys it.
  void Run(InstallWorker* worker, WorkerDataHook hook = nullptr) {
    ASSERT_EQ(worker->Start(Callback, this, hook), 1);
    ASSERT_EQ(os::WaitForEvent(done_, 120000), os::WaitResult::kSignalled)
        << "the worker never sent its finished report";
    delete worker;
  }

  const std::vector<Seen>& reports() const { return reports_; }

  // "P" progress, "F" failed, "E" finished (end).
  std::string Sequence() const {
    std::string out;
    for (const Seen& s : reports_) out += s.finished ? 'E' : s.failed ? 'F' : 'P';
    return out;
  }

 private:
  os::CriticalSection* lock_;
  os::Event* done_;
  std::vector<Seen> reports_;
};

std::string Pattern(std::size_t size, unsigned seed) {
  std::string out(size, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (char& c : out) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  return out;
}

std::string VersionedExe(const char16_t* file_version) {
  qvtest::PeVersionLayout layout;
  layout.strings = {{u"FileVersion", file_version}};
  return qvtest::MakePeFile(layout);
}

class WorkerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CreatePrivateHeap(10u << 20);
    // Unbuffered reads are available when the capabilities say so.
    static qvCaps caps(QVCAPS_OS, 0);
  }

  void SetUp() override { ASSERT_EQ(tree_.Open(dir_.Path().c_str(), {}), confine::Rule::kOk); }

  InstallWorker* NewWorker(int buffered_only = 1) {
    auto* worker = new InstallWorker(3, buffered_only);
    worker->SetVersionCheck(1);
    worker->SetDestinationTree(&tree_);
    return worker;
  }
  // Names in the destination folder: no temporary file may be left.
  std::vector<std::string> Destinations() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.Native(u"dst")))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::u16string Src(const char16_t* name) { return dir_.Path(std::u16string(u"src\\") + name); }
  std::u16string Dst(const char16_t* name) { return dir_.Path(std::u16string(u"dst\\") + name); }

  ScratchDir dir_;
  confine::Tree tree_;
  Recorder recorder_;
};

// --- sizes and contents ------------------------------------------------------

// Each way of moving the data: the system's copy where it has one, and the
// ring of buffers through the cache and past it.
class WorkerSizes : public WorkerTest, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    WorkerTest::SetUp();
    qvtest::SetEnvironment("QV_COPY_MODE", GetParam());
  }
  void TearDown() override { qvtest::SetEnvironment("QV_COPY_MODE", nullptr); }
};

TEST_P(WorkerSizes, CopiesEverySizeByteForByte) {
  const std::vector<std::uint64_t> sizes = {
      0, 1, 4095, 1049088, 1052672, kBufferedCapacity, 3 * kBufferedCapacity + 1};
  InstallWorker* worker = NewWorker(0);
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const std::u16string name = u"f" + qvtest::U16(std::to_string(i)) + u".bin";
    dir_.WriteFile(u"src\\" + name, Pattern(sizes[i], static_cast<unsigned>(i)));
    ASSERT_EQ(worker->Add(Src(name.c_str()).c_str(), Dst(name.c_str()).c_str(), 0), 1);
    total += sizes[i];
  }
  recorder_.Run(worker);

  const auto& reports = recorder_.reports();
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(recorder_.Sequence().find_first_not_of('P'), reports.size() - 1)
      << recorder_.Sequence();
  const Seen& last = reports.back();
  EXPECT_EQ(last.finished, 1);
  EXPECT_EQ(last.failed, 0);
  EXPECT_EQ(last.total_size, total);
  EXPECT_EQ(last.total_done, total);

  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const std::u16string name = u"f" + qvtest::U16(std::to_string(i)) + u".bin";
    EXPECT_EQ(dir_.ReadFile(u"dst\\" + name), Pattern(sizes[i], static_cast<unsigned>(i)))
        << "size " << sizes[i];
  }
  // The last progress report of each file has all of it written.
  std::uint64_t previous_done = 0;
  for (const Seen& s : reports) {
    if (!s.IsProgress()) continue;
    EXPECT_LE(s.current_written, s.current_size);
    EXPECT_GE(s.total_done, previous_done);
    previous_done = s.total_done;
  }
}

TEST_P(WorkerSizes, FullDiskIsAWriteFailureWithTheSystemText) {
  dir_.WriteFile(u"src\\big.bin", Pattern(3 * kBufferedCapacity, 5));
  dir_.WriteFile(u"src\\after.txt", "after");
  InstallWorker* worker = NewWorker(0);
  worker->Add(Src(u"big.bin").c_str(), Dst(u"big.bin").c_str(), 0);
  worker->Add(Src(u"after.txt").c_str(), Dst(u"after.txt").c_str(), 0);
  struct Disarm {
    ~Disarm() { os::DisarmFaults(); }
  } disarm;
  os::ArmFaults({os::FileOp::kWrite, 2, os::kErrorDiskFull});
  recorder_.Run(worker);
  os::DisarmFaults();

  ASSERT_EQ(recorder_.Sequence(), "PFE");
  char16_t text[512] = {};
  ASSERT_GT(os::GetErrorText(os::kErrorDiskFull, text, 512), 0u);
  EXPECT_EQ(recorder_.reports()[1].message, text);
  // The staged copy is dropped: nothing half-written is left behind.
  std::error_code ignored;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Native(u"dst"), ignored),
                          fs::directory_iterator()),
            0);
}

INSTANTIATE_TEST_SUITE_P(CopyModes, WorkerSizes,
                         ::testing::Values("system", "buffered", "unbuffered"));

// Staged files reach the disk together after the last copy, not one by one;
// a failure of that flush fails the run with the system's text.
TEST_F(WorkerTest, StagedFilesAreFlushedTogetherOnce) {
  ASSERT_TRUE(fs::create_directories(dir_.Native(u"stage")));
  InstallWorker* worker = NewWorker();
  worker->SetStagingFolder(u"stage");
  for (int i = 0; i < 20; ++i) {
    const std::u16string name = u"f" + qvtest::U16(std::to_string(i)) + u".txt";
    dir_.WriteFile(u"src\\" + name, Pattern(100 + i, i));
    worker->Add(Src(name.c_str()).c_str(), Dst(name.c_str()).c_str(), 0);
  }
  struct Disarm {
    ~Disarm() { os::DisarmFaults(); }
  } disarm;
  os::ArmFaults({os::FileOp::kFlush, 0});
  recorder_.Run(worker);
  EXPECT_EQ(os::FaultCallCount(os::FileOp::kFlush), 1u);
  os::DisarmFaults();
  EXPECT_EQ(recorder_.Sequence(), std::string(20, 'P') + "E");
  EXPECT_EQ(dir_.ReadFile(u"stage\\19"), Pattern(119, 19));

  Recorder failing;
  ASSERT_TRUE(fs::create_directories(dir_.Native(u"stage2")));
  worker = NewWorker();
  worker->SetStagingFolder(u"stage2");
  worker->Add(Src(u"f0.txt").c_str(), Dst(u"f0.txt").c_str(), 0);
  os::ArmFaults({os::FileOp::kFlush, 1, os::kErrorDiskFull});
  failing.Run(worker);
  os::DisarmFaults();
  ASSERT_EQ(failing.Sequence(), "PFE");
  EXPECT_NE(failing.reports()[1].message.find(Dst(u"f0.txt")), std::u16string::npos);
}

TEST_F(WorkerTest, OneReportPerBufferAndNoEmptyExtraSlot) {
  struct Case {
    std::uint64_t size;
    std::size_t reports;
  } cases[] = {{0, 1}, {1, 1}, {kBufferedCapacity, 1}, {2 * kBufferedCapacity, 2},
               {3 * kBufferedCapacity + 1, 4}};
  for (const Case& c : cases) {
    Recorder recorder;
    dir_.WriteFile(u"src\\one.bin", Pattern(c.size, 7));
    InstallWorker* worker = NewWorker();
    worker->Add(Src(u"one.bin").c_str(), Dst(u"one.bin").c_str(), 0);
    recorder.Run(worker);
    EXPECT_EQ(recorder.Sequence(), std::string(c.reports, 'P') + "E") << c.size;
    const Seen& last_progress = recorder.reports()[c.reports - 1];
    EXPECT_EQ(last_progress.current_written, c.size);
    EXPECT_EQ(last_progress.current_size, c.size);
  }
}

std::vector<std::pair<std::uint64_t, std::uint32_t>> g_hook_calls;

void RecordHook(void*, const void*, std::uint64_t offset, std::uint32_t length, WorkerStatus*) {
  g_hook_calls.emplace_back(offset, length);
}

TEST_F(WorkerTest, DataHookSeesEveryBufferInOrder) {
  const std::uint64_t size = 2 * kBufferedCapacity + 5;
  dir_.WriteFile(u"src\\h.bin", Pattern(size, 3));
  g_hook_calls.clear();
  InstallWorker* worker = NewWorker();
  worker->Add(Src(u"h.bin").c_str(), Dst(u"h.bin").c_str(), 0);
  recorder_.Run(worker, RecordHook);
  using Call = std::pair<std::uint64_t, std::uint32_t>;
  const std::vector<Call> expected = {Call{0, kBufferedCapacity},
                                      Call{kBufferedCapacity, kBufferedCapacity},
                                      Call{2 * kBufferedCapacity, 5}};
  EXPECT_EQ(g_hook_calls, expected);
}

// The buffer size tells how a file was read: whole sectors past the cache
// (1 MiB and one sector), or through the cache (2 MiB).
std::uint32_t FirstBufferLength(Recorder& recorder, InstallWorker* worker,
                                const std::u16string& source, const std::u16string& target) {
  g_hook_calls.clear();
  worker->Add(source.c_str(), target.c_str(), 0);
  recorder.Run(worker, RecordHook);
  return g_hook_calls.empty() ? 0 : g_hook_calls.front().second;
}

TEST_F(WorkerTest, LocalSourcesAreReadInWholeSectorsPastTheCache) {
  const std::string content = Pattern(3 * kBufferedCapacity, 4);
  dir_.WriteFile(u"src\\u.bin", content);
  const std::uint32_t length =
      FirstBufferLength(recorder_, NewWorker(0), Src(u"u.bin"), Dst(u"u.bin"));
  const std::uint32_t sector = length - (1u << 20);
  EXPECT_GT(length, 1u << 20);
  EXPECT_LT(length, kBufferedCapacity);
  EXPECT_EQ(sector & (sector - 1), 0u) << "not one sector beyond 1 MiB: " << length;
  EXPECT_EQ(dir_.ReadFile(u"dst\\u.bin"), content);

  Recorder buffered;
  EXPECT_EQ(FirstBufferLength(buffered, NewWorker(1), Src(u"u.bin"), Dst(u"b.bin")),
            kBufferedCapacity);
}

#ifndef _WIN32
// "//" starts a network path; here it reaches the same local file.
TEST_F(WorkerTest, NetworkPathsAreReadThroughTheCache) {
  const std::string content = Pattern(3 * kBufferedCapacity, 6);
  dir_.WriteFile(u"src\\n.bin", content);
  const std::u16string network = u"/" + dir_.Native(u"src\\n.bin").u16string();
  ASSERT_EQ(network.substr(0, 2), u"//");
  EXPECT_EQ(FirstBufferLength(recorder_, NewWorker(0), network, Dst(u"n.bin")),
            kBufferedCapacity);
  EXPECT_EQ(dir_.ReadFile(u"dst\\n.bin"), content);
}
#endif

// --- times, attributes, folders ------------------------------------------------

TEST_F(WorkerTest, CopiesTimesAndLeavesOnlyTheArchiveAttribute) {
  dir_.WriteFile(u"src\\t.txt", "times");
  const auto stamp = fs::file_time_type::clock::now() - std::chrono::hours(50) +
                     std::chrono::nanoseconds(123456700);
  fs::last_write_time(dir_.Native(u"src\\t.txt"), stamp);
  ASSERT_TRUE(os::SetFileAttributes(Src(u"t.txt").c_str(), os::kAttrReadOnly));

  InstallWorker* worker = NewWorker();
  worker->Add(Src(u"t.txt").c_str(), Dst(u"t.txt").c_str(), 0);
  recorder_.Run(worker);
  EXPECT_EQ(recorder_.Sequence(), "PE");

  os::Handle source = os::OpenFile(Src(u"t.txt").c_str(), os::kAccessRead, os::kShareRead,
                                   os::kOpenExisting, 0, 0);
  os::Handle copy = os::OpenFile(Dst(u"t.txt").c_str(), os::kAccessRead, os::kShareRead,
                                 os::kOpenExisting, 0, 0);
  ASSERT_NE(source, os::kInvalidHandle);
  ASSERT_NE(copy, os::kInvalidHandle);
  os::FileTime source_write, copy_write, source_access, copy_access;
  ASSERT_TRUE(os::GetFileTimes(source, nullptr, &source_access, &source_write));
  ASSERT_TRUE(os::GetFileTimes(copy, nullptr, &copy_access, &copy_write));
  os::CloseFile(source);
  os::CloseFile(copy);
  EXPECT_EQ(copy_write.ticks, source_write.ticks);  // to the 100 ns
  EXPECT_EQ(copy_write.ticks % 10000000, source_write.ticks % 10000000);
  EXPECT_EQ(os::GetFileAttributes(Dst(u"t.txt").c_str()), os::kAttrArchive);
}

TEST_F(WorkerTest, CreatesTheDestinationFolderChainAndQueuedFolders) {
  dir_.WriteFile(u"src\\a\\b\\c\\deep.txt", "deep");
  fs::create_directories(dir_.Native(u"src\\empty"));
  InstallWorker* worker = NewWorker();
  worker->Add(Src(u"a\\b\\c\\deep.txt").c_str(), Dst(u"x\\y\\z\\deep.txt").c_str(), 0);
  worker->Add(Src(u"empty").c_str(), Dst(u"new\\folder").c_str(), 0);
  recorder_.Run(worker);
  EXPECT_EQ(recorder_.Sequence(), "PE");
  EXPECT_EQ(dir_.ReadFile(u"dst\\x\\y\\z\\deep.txt"), "deep");
  EXPECT_TRUE(fs::is_directory(dir_.Native(u"dst\\new\\folder")));
}

// --- failures ------------------------------------------------------------------

TEST_F(WorkerTest, FileInTheWayOfAFolderNamesTheParentFolder) {
  dir_.WriteFile(u"src\\f.txt", "f");
  dir_.WriteFile(u"src\\g.txt", "g");
  dir_.WriteFile(u"dst\\blocker", "a file, not a folder");
  InstallWorker* worker = NewWorker();
  worker->Add(Src(u"f.txt").c_str(), Dst(u"blocker\\sub\\f.txt").c_str(), 0);
  worker->Add(Src(u"g.txt").c_str(), Dst(u"g.txt").c_str(), 0);
  recorder_.Run(worker);
  ASSERT_EQ(recorder_.Sequence(), "FE");
  EXPECT_EQ(recorder_.reports()[0].message,
            u"フォルダ [" + Dst(u"blocker\\sub") + u"] が作成出来ません");
  EXPECT_EQ(recorder_.reports()[1].failed, 1);
  EXPECT_FALSE(fs::exists(dir_.Native(u"dst\\g.txt")));
}

TEST_F(WorkerTest, VanishedSourceStopsTheQueue) {
  dir_.WriteFile(u"src\\first.txt", "first");
  dir_.WriteFile(u"src\\later.txt", "later");
  InstallWorker* worker = NewWorker();
  worker->Add(Src(u"first.txt").c_str(), Dst(u"first.txt").c_str(), 0);
  worker->Add(Src(u"gone.txt").c_str(), Dst(u"gone.txt").c_str(), 0);
  worker->Add(Src(u"later.txt").c_str(), Dst(u"later.txt").c_str(), 0);
  recorder_.Run(worker);
  ASSERT_EQ(recorder_.Sequence(), "PFE");
  const std::u16string prefix = u"ソースファイル [" + Src(u"gone.txt") + u"] がオープン出来ません。 : ";
  const std::u16string& message = recorder_.reports()[1].message;
  EXPECT_EQ(message.substr(0, prefix.size()), prefix);
  EXPECT_GT(message.size(), prefix.size()) << "the system's text is missing";
  EXPECT_EQ(dir_.ReadFile(u"dst\\first.txt"), "first");
  EXPECT_FALSE(fs::exists(dir_.Native(u"dst\\later.txt")));
}

TEST_F(WorkerTest, ReadOnlyDestinationFailsOnTheOutputSide) {
  dir_.WriteFile(u"src\\r.txt", "new");
  dir_.WriteFile(u"dst\\r.txt", "old");
  ASSERT_TRUE(os::SetFileAttributes(Dst(u"r.txt").c_str(), os::kAttrReadOnly));
  // Wine run by root maps the attribute to permission bits that root ignores.
  const os::Handle probe = os::OpenFile(Dst(u"r.txt").c_str(), os::kAccessWrite, os::kShareNone,
                                        os::kOpenExisting, 0, 0);
  if (probe != os::kInvalidHandle) {
    os::CloseFile(probe);
    GTEST_SKIP() << "this system lets the read-only file be written";
  }
  InstallWorker* worker = NewWorker();
  worker->Add(Src(u"r.txt").c_str(), Dst(u"r.txt").c_str(), 0);
  recorder_.Run(worker);
  ASSERT_EQ(recorder_.Sequence(), "FE");
  const std::u16string prefix = u"出力ファイル [" + Dst(u"r.txt") + u"] がオープン出来ません。 : ";
  EXPECT_EQ(recorder_.reports()[0].message.substr(0, prefix.size()), prefix);
  EXPECT_EQ(dir_.ReadFile(u"dst\\r.txt"), "old");
}

TEST_F(WorkerTest, OverlongPathIsRefusedAndNothingIsCopied) {
  dir_.WriteFile(u"src\\ok.txt", "ok");
  InstallWorker* worker = NewWorker();
  ASSERT_EQ(worker->Add(Src(u"ok.txt").c_str(), Dst(u"ok.txt").c_str(), 0), 1);
  const std::u16string longest = Dst(u"") + std::u16string(259 - Dst(u"").size(), u'n');
  ASSERT_EQ(longest.size(), 259u);
  EXPECT_EQ(worker->Add(Src(u"ok.txt").c_str(), longest.c_str(), 0), 1);
  const std::u16string too_long = longest + u"x";
  EXPECT_EQ(worker->Add(Src(u"ok.txt").c_str(), too_long.c_str(), 0), 0);
  recorder_.Run(worker);
  ASSERT_EQ(recorder_.Sequence(), "FE");
  EXPECT_EQ(recorder_.reports()[0].message, u"パスが長すぎます [" + too_long + u"]");
  EXPECT_FALSE(fs::exists(dir_.Native(u"dst\\ok.txt")));
}

#ifndef _WIN32
// The source is opened shared for reading only, so only a system without
// share modes lets the test cut it while it is being copied.
TEST_F(WorkerTest, SourceThatShrinksDuringTheCopyIsAReadFailure) {
  const std::uint64_t size = 10 * kBufferedCapacity;
  const std::string content = Pattern(size, 11);
  dir_.WriteFile(u"src\\s.bin", content);
  dir_.WriteFile(u"src\\next.bin", "next");
  dir_.WriteFile(u"dst\\s.bin", "installed");
  recorder_.answer = [&](const Seen& seen, std::size_t index) {
    // The reader is at most three buffers ahead of this first report.
    if (index == 0) fs::resize_file(dir_.Native(u"src\\s.bin"), kBufferedCapacity);
    return 1;
  };
  InstallWorker* worker = NewWorker();
  worker->Add(Src(u"s.bin").c_str(), Dst(u"s.bin").c_str(), 0);
  worker->Add(Src(u"next.bin").c_str(), Dst(u"next.bin").c_str(), 0);
  recorder_.Run(worker);
  const std::string sequence = recorder_.Sequence();
  ASSERT_GE(sequence.size(), 3u);
  EXPECT_EQ(sequence.substr(sequence.size() - 2), "FE") << sequence;
  EXPECT_EQ(sequence.find('F'), sequence.size() - 2) << sequence;
  EXPECT_EQ(recorder_.reports()[sequence.size() - 2].message,
            u"ソースファイル [" + Src(u"s.bin") + u"] を最後まで読み込めません。");
  // The installed file stays whole; the part that was copied is dropped.
  EXPECT_EQ(dir_.ReadFile(u"dst\\s.bin"), "installed");
  EXPECT_EQ(Destinations(), std::vector<std::string>{"s.bin"});
}

#endif

// --- stopping through the callback -------------------------------------------

TEST_F(WorkerTest, CallbackZeroDuringTransferStopsAfterTheCurrentBuffer) {
  const std::string content = Pattern(3 * kBufferedCapacity + 1, 9);
  dir_.WriteFile(u"src\\big.bin", content);
  dir_.WriteFile(u"src\\after.txt", "after");
  recorder_.answer = [](const Seen& seen, std::size_t index) { return index == 0 ? 0 : 1; };
  InstallWorker* worker = NewWorker(0);
  worker->Add(Src(u"big.bin").c_str(), Dst(u"big.bin").c_str(), 0);
  worker->Add(Src(u"after.txt").c_str(), Dst(u"after.txt").c_str(), 0);
  recorder_.Run(worker);
  EXPECT_EQ(recorder_.Sequence(), "PE");
  EXPECT_EQ(recorder_.reports()[1].failed, 0);
  EXPECT_LT(recorder_.reports()[0].current_written, content.size());
  // A file stopped half-way is not installed at all.
  EXPECT_TRUE(!fs::exists(dir_.Native(u"dst")) || Destinations().empty());
}

// --- version check -------------------------------------------------------------

struct VersionCase {
  const char16_t* name;
  const char16_t* installed;  // null: plain bytes without version data
  const char16_t* offered;
  int mode;
  bool copied;
};

class WorkerVersionCheck : public WorkerTest,
                           public ::testing::WithParamInterface<VersionCase> {};

TEST_P(WorkerVersionCheck, KeepsOnlyNewerInstalledProgramsAndLibraries) {
  const VersionCase& c = GetParam();
  const std::string installed = c.installed ? VersionedExe(c.installed) : "plain old bytes";
  const std::string offered = c.offered ? VersionedExe(c.offered) : "plain new bytes!";
  dir_.WriteFile(std::u16string(u"src\\") + c.name, offered);
  dir_.WriteFile(std::u16string(u"dst\\") + c.name, installed);
  dir_.WriteFile(u"src\\after.txt", "after");

  auto* worker = new InstallWorker(3, 1);
  worker->SetVersionCheck(c.mode);
  worker->SetDestinationTree(&tree_);
  worker->Add(Src(c.name).c_str(), Dst(c.name).c_str(), 0);
  worker->Add(Src(u"after.txt").c_str(), Dst(u"after.txt").c_str(), 0);
  recorder_.Run(worker);

  EXPECT_EQ(dir_.ReadFile(std::u16string(u"dst\\") + c.name), c.copied ? offered : installed);
  EXPECT_EQ(dir_.ReadFile(u"dst\\after.txt"), "after");
  ASSERT_EQ(recorder_.Sequence(), "PPE");
  const Seen& first = recorder_.reports()[0];
  // A skip report counts the file as done without writing it.
  EXPECT_EQ(first.current_size, offered.size());
  EXPECT_EQ(first.current_written, c.copied ? offered.size() : 0u);
  EXPECT_EQ(first.total_done, offered.size());
  EXPECT_EQ(recorder_.reports()[2].total_done, offered.size() + 5);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WorkerVersionCheck,
    ::testing::Values(
        VersionCase{u"game.exe", u"2, 0, 0, 10", u"1, 9, 9, 99", 1, false},
        VersionCase{u"GAME.EXE", u"1.0.0.2", u"1.0.0.1", 1, false},
        VersionCase{u"engine.Dll", u"3.0.0.0", u"2.9.0.0", 1, false},
        VersionCase{u"game.exe", u"1.0.0.1", u"1.0.0.1", 1, true},
        VersionCase{u"game.exe", u"1.0.0.1", u"1.0.0.2", 1, true},
        VersionCase{u"notes.txt", u"9.0.0.0", u"1.0.0.0", 1, true},
        VersionCase{u"game.exe", nullptr, u"1.0.0.0", 1, true},
        VersionCase{u"game.exe", u"9.0.0.0", nullptr, 1, true},
        VersionCase{u"game.exe", u"9.0.0.0", u"1.0.0.0", 0, true}));

TEST_F(WorkerTest, CallbackZeroOnASkipReportStopsBeforeTheNextJob) {
  dir_.WriteFile(u"src\\game.exe", VersionedExe(u"1.0.0.0"));
  dir_.WriteFile(u"dst\\game.exe", VersionedExe(u"2.0.0.0"));
  dir_.WriteFile(u"src\\after.txt", "after");
  recorder_.answer = [](const Seen&, std::size_t) { return 0; };
  InstallWorker* worker = NewWorker();
  worker->Add(Src(u"game.exe").c_str(), Dst(u"game.exe").c_str(), 0);
  worker->Add(Src(u"after.txt").c_str(), Dst(u"after.txt").c_str(), 0);
  recorder_.Run(worker);
  EXPECT_EQ(recorder_.Sequence(), "PE");
  EXPECT_FALSE(fs::exists(dir_.Native(u"dst\\after.txt")));
}

// --- the destination tree -----------------------------------------------------

// Links below the destination folder to a fenced tree that must not change.
class WorkerLinkTest : public WorkerTest {
 protected:
  void SetUp() override {
    WorkerTest::SetUp();
    before_ = fence_.Digest();
    fs::create_directories(dir_.Native(u"dst"));
  }
  void TearDown() override {
    EXPECT_EQ(fence_.Digest(), before_);
    for (const fs::path& link : links_) qvtest::RemoveLink(link);
  }
  // `relative` below the destination folder links to the fence's folder or
  // file; false where the system makes no links.
  bool LinkOutside(const char16_t* relative, bool to_folder) {
    fs::path link = dir_.Native(std::u16string(u"dst\\") + relative);
    if (!qvtest::MakeLink(link, to_folder ? fence_.Root() : fence_.File(), to_folder)) return false;
    links_.push_back(link);
    return true;
  }

  qvtest::Fence fence_{dir_.Native(u"outside")};
  std::string before_;
  std::vector<fs::path> links_;
};

TEST_F(WorkerLinkTest, ADestinationThatIsALinkIsReplacedAndItsTargetStays) {
  if (!LinkOutside(u"readme.txt", false)) GTEST_SKIP() << "this system makes no links";
  dir_.WriteFile(u"src\\readme.txt", "new readme");
  InstallWorker* worker = NewWorker();
  worker->Add(Src(u"readme.txt").c_str(), Dst(u"readme.txt").c_str(), 0);
  recorder_.Run(worker);
  EXPECT_EQ(recorder_.Sequence(), "PE");
  EXPECT_EQ(dir_.ReadFile(u"dst\\readme.txt"), "new readme");
  EXPECT_EQ(Destinations(), std::vector<std::string>{"readme.txt"});
}

TEST_F(WorkerLinkTest, ADestinationBehindALinkedFolderFailsAsItsFolder) {
  if (!LinkOutside(u"system", true)) GTEST_SKIP() << "this system makes no links";
  dir_.WriteFile(u"src\\new.dll", "new");
  dir_.WriteFile(u"src\\secret.txt", "overwrite");
  InstallWorker* worker = NewWorker();
  worker->Add(Src(u"secret.txt").c_str(), Dst(u"system\\secret.txt").c_str(), 0);
  worker->Add(Src(u"new.dll").c_str(), Dst(u"system\\new.dll").c_str(), 0);
  recorder_.Run(worker);
  ASSERT_EQ(recorder_.Sequence(), "FE");
  EXPECT_EQ(recorder_.reports()[0].message, u"フォルダ [" + Dst(u"system") + u"] が作成出来ません");
}

TEST_F(WorkerTest, ADestinationOutsideTheTreeIsRefused) {
  dir_.WriteFile(u"src\\a.txt", "a");
  InstallWorker* worker = NewWorker();
  confine::Tree inner;
  fs::create_directories(dir_.Native(u"dst"));
  ASSERT_EQ(inner.Open(dir_.Path(u"dst").c_str(), {}), confine::Rule::kOk);
  worker->SetDestinationTree(&inner);
  worker->Add(Src(u"a.txt").c_str(), dir_.Path(u"elsewhere\\a.txt").c_str(), 0);
  recorder_.Run(worker);
  ASSERT_EQ(recorder_.Sequence(), "FE");
  const std::u16string prefix = u"出力ファイル [" + dir_.Path(u"elsewhere\\a.txt") + u"]";
  EXPECT_EQ(recorder_.reports()[0].message.substr(0, prefix.size()), prefix);
  EXPECT_FALSE(fs::exists(dir_.Native(u"elsewhere")));
}

TEST(StripMessageId, DropsTheLeadingIdentifierOnly) {
  EXPECT_EQ(std::u16string(InstallWorker::StripMessageId(u"$1010-0171$text")), u"text");
  EXPECT_EQ(std::u16string(InstallWorker::StripMessageId(u"$$x")), u"x");
  EXPECT_EQ(std::u16string(InstallWorker::StripMessageId(u"no id $1$")), u"no id $1$");
  EXPECT_EQ(std::u16string(InstallWorker::StripMessageId(u"$unclosed")), u"$unclosed");
  EXPECT_EQ(std::u16string(InstallWorker::StripMessageId(u"")), u"");
}

}  // namespace
