#include "app/install_worker.h"

#include <gtest/gtest.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "base/private_heap.h"
#include "os/error.h"
#include "os/fault.h"
#include "os/file.h"
#include "os/folders.h"
#include "os/times.h"
#include "support/pe_writer.h"
#include "system/caps.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

constexpr std::uint64_t kBufferedCapacity = 2u << 20;

// Collects the reports of one run; the callback may come from any of the
// worker's threads.
class Recorder {
 public:
  // Called with the report count so far; its result goes back to the worker.
  std::function<int(std::size_t)> answer = [](std::size_t) { return 1; };

  static std::int32_t Callback(void* user, WorkerStatus* status) {
    auto* self = static_cast<Recorder*>(user);
    std::unique_lock<std::mutex> guard(self->lock_);
    self->reports.push_back(*status);
    const std::size_t index = self->reports.size() - 1;
    guard.unlock();
    const int result = self->answer(index);
    guard.lock();
    if (status->finished) self->finished_ = true;
    self->done_.notify_all();
    return result;
  }

  // Runs the worker to its finished report and destroys it.
  void Run(InstallWorker* worker, WorkerDataHook hook = nullptr) {
    ASSERT_EQ(worker->Start(Callback, this, hook), 1);
    std::unique_lock<std::mutex> guard(lock_);
    ASSERT_TRUE(done_.wait_for(guard, std::chrono::minutes(2), [this] { return finished_; }))
        << "the worker never sent its finished report";
    guard.unlock();
    delete worker;
  }

  std::u16string Message(std::size_t index) const { return reports.at(index).message; }

  // "P" progress, "F" failed, "E" finished (end).
  std::string Sequence() const {
    std::string out;
    for (const WorkerStatus& s : reports) out += s.finished ? 'E' : s.failed ? 'F' : 'P';
    return out;
  }

  std::vector<WorkerStatus> reports;  // copies of what the worker sent

 private:
  std::mutex lock_;
  std::condition_variable done_;
  bool finished_ = false;
};

// Disarms the fault seam however the test ends.
struct Faults {
  explicit Faults(const os::FaultPlan& plan) { os::ArmFaults(plan); }
  ~Faults() { os::DisarmFaults(); }
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

std::u16string Numbered(int i, const char16_t* suffix = u".bin") {
  return u"f" + qvtest::U16(std::to_string(i)) + suffix;
}

std::string VersionedExe(const char16_t* file_version) {
  qvtest::PeVersionLayout layout;
  layout.strings = {{u"FileVersion", file_version}};
  return qvtest::MakePeFile(layout);
}

// The system's own text for `error`.
std::u16string SystemText(std::uint32_t error) {
  char16_t text[512] = {};
  EXPECT_GT(os::GetErrorText(error, text, 512), 0u);
  return text;
}

std::vector<std::pair<std::uint64_t, std::uint32_t>> g_hook_calls;

void RecordHook(void*, const void*, std::uint64_t offset, std::uint32_t length, WorkerStatus*) {
  g_hook_calls.emplace_back(offset, length);
}

class WorkerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CreatePrivateHeap(10u << 20);
    // Unbuffered reads are available when the capabilities say so.
    static qvCaps caps(QVCAPS_OS, 0);
  }

  void SetUp() override { ASSERT_EQ(tree_.Open(dir_.Path().c_str(), {}), confine::Rule::kOk); }

  // A worker staging into `staging` (made here) when one is given.
  InstallWorker* NewWorker(int buffered_only = 1, int version_check = 1,
                           const char16_t* staging = nullptr) {
    auto* worker = new InstallWorker(3, buffered_only);
    worker->SetVersionCheck(version_check);
    worker->SetDestinationTree(&tree_);
    if (staging) {
      EXPECT_TRUE(fs::create_directories(dir_.Native(staging)));
      worker->SetStagingFolder(staging);
    }
    return worker;
  }
  // Queues src\NAME for dst\TARGET (NAME when empty).
  void Add(InstallWorker* worker, const std::u16string& name, const std::u16string& target = {}) {
    ASSERT_EQ(worker->Add(Src(name).c_str(), Dst(target.empty() ? name : target).c_str(), 0), 1);
  }
  // Writes src\NAME with `bytes` and queues it.
  void Queue(InstallWorker* worker, const std::u16string& name, const std::string& bytes,
             const std::u16string& target = {}) {
    dir_.WriteFile(u"src\\" + name, bytes);
    Add(worker, name, target);
  }
  // Names of the files below `folder` (the folders' too with `folders`):
  // no temporary file may be left.
  Names Below(const char16_t* folder, bool folders = true) const {
    Names names;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.Native(folder), ignored))
      if (folders || !entry.is_directory()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::u16string Src(const std::u16string& name) const { return dir_.Path(u"src\\" + name); }
  std::u16string Dst(const std::u16string& name) const { return dir_.Path(u"dst\\" + name); }
  bool DstHas(const std::u16string& name) const { return fs::exists(dir_.Native(u"dst\\" + name)); }
  // Expects the sequence of reports, then the failure's message to start
  // with `prefix`.
  void ExpectFailure(const std::string& sequence, const std::u16string& prefix) {
    ASSERT_EQ(recorder_.Sequence(), sequence);
    const std::u16string message = recorder_.Message(sequence.find('F'));
    EXPECT_EQ(message.substr(0, prefix.size()), prefix);
  }
  // The first buffer's length tells how a file was read: whole sectors past
  // the cache (1 MiB and one sector), or through the cache (2 MiB).
  std::uint32_t FirstBufferLength(Recorder& recorder, InstallWorker* worker) {
    g_hook_calls.clear();
    recorder.Run(worker, RecordHook);
    return g_hook_calls.empty() ? 0 : g_hook_calls.front().second;
  }

  qvtest::ScratchDir dir_;
  confine::Tree tree_;
  Recorder recorder_;
};

// --- sizes and contents ------------------------------------------------------

// Each way of moving the data: the system's copy where it has one, and the
// ring of buffers through the cache and past it.
class WorkerSizes : public WorkerTest, public ::testing::WithParamInterface<const char*> {
 protected:
  // The `n`-th moving of a file's data fails: a read of the ring, or the
  // system's copy, which reads and writes in one call.
  static os::FaultPlan DataFault(std::uint64_t n) {
    const bool system = std::string(GetParam()) == "system";
    return {system ? os::FileOp::kWrite : os::FileOp::kRead, n, os::kErrorSharingViolation};
  }

  qvtest::ScopedEnv mode_{"QV_COPY_MODE", GetParam()};
};

TEST_P(WorkerSizes, CopiesEverySizeByteForByte) {
  const std::uint64_t sizes[] = {
      0, 1, 4095, 1049088, 1052672, kBufferedCapacity, 3 * kBufferedCapacity + 1};
  InstallWorker* worker = NewWorker(0);
  std::uint64_t total = 0;
  for (int i = 0; i < 7; ++i) {
    Queue(worker, Numbered(i), Pattern(sizes[i], i));
    total += sizes[i];
  }
  recorder_.Run(worker);

  const auto& reports = recorder_.reports;
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(recorder_.Sequence().find_first_not_of('P'), reports.size() - 1)
      << recorder_.Sequence();
  EXPECT_EQ(reports.back().finished, 1);
  EXPECT_EQ(reports.back().failed, 0);
  EXPECT_EQ(reports.back().total_size, total);
  EXPECT_EQ(reports.back().total_done, total);
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(dir_.ReadFile(u"dst\\" + Numbered(i)), Pattern(sizes[i], i)) << sizes[i];
  // Progress reports name the file they are about.
  EXPECT_EQ(reports.front().source, Src(Numbered(0)));
  EXPECT_EQ(reports.front().destination, Dst(Numbered(0)));
  EXPECT_EQ(reports[reports.size() - 2].destination, Dst(Numbered(6)));
  std::uint64_t previous_done = 0;
  for (std::size_t i = 0; i + 1 < reports.size(); ++i) {
    EXPECT_LE(reports[i].current_written, reports[i].current_size);
    EXPECT_GE(reports[i].total_done, previous_done);
    previous_done = reports[i].total_done;
  }
}

TEST_P(WorkerSizes, FullDiskIsAWriteFailureWithTheSystemText) {
  InstallWorker* worker = NewWorker(0);
  Queue(worker, u"big.bin", Pattern(3 * kBufferedCapacity, 5));
  Queue(worker, u"after.txt", "after");
  {
    Faults faults({os::FileOp::kWrite, 2, os::kErrorDiskFull});
    recorder_.Run(worker);
  }
  ASSERT_EQ(recorder_.Sequence(), "PFE");
  EXPECT_EQ(recorder_.Message(1), SystemText(os::kErrorDiskFull));
  EXPECT_EQ(recorder_.reports[2].failed, 1);
  // The staged copy is dropped: nothing half-written is left behind.
  EXPECT_TRUE(Below(u"dst").empty());
}

// Many small and empty files in a row: while one is written the next ones
// are already read, yet each lands whole in its own file with its own times,
// and the reports follow the queue, one per file.
TEST_P(WorkerSizes, ManySmallFilesEachArriveWholeInOrderWithTheirTimes) {
  constexpr int kFiles = 24;
  InstallWorker* worker = NewWorker(0, 1, u"stage");
  auto size_of = [](int i) { return i % 3 == 0 ? 0 : 100 * i + 1; };
  // Whole seconds, which every system keeps exactly.
  const auto now = std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now());
  for (int i = 0; i < kFiles; ++i) {
    Queue(worker, Numbered(i), Pattern(size_of(i), i));
    fs::last_write_time(dir_.Native(u"src\\" + Numbered(i)), now - std::chrono::hours(i + 1));
  }
  recorder_.Run(worker);

  ASSERT_EQ(recorder_.Sequence(), std::string(kFiles, 'P') + "E");
  std::uint64_t total = 0;
  for (int i = 0; i < kFiles; ++i) {
    SCOPED_TRACE(i);
    const std::u16string staged = u"stage\\" + InstallWorker::StagedName(i);
    EXPECT_EQ(dir_.ReadFile(staged), Pattern(size_of(i), i));
    EXPECT_EQ(fs::last_write_time(dir_.Native(staged)), now - std::chrono::hours(i + 1));
    const WorkerStatus& report = recorder_.reports[i];
    total += size_of(i);
    EXPECT_EQ(report.source, Src(Numbered(i)));
    EXPECT_EQ(report.destination, Dst(Numbered(i)));
    EXPECT_EQ(report.current_size, static_cast<std::uint64_t>(size_of(i)));
    EXPECT_EQ(report.current_written, report.current_size);
    EXPECT_EQ(report.total_done, total);
  }
}

// Staged paths put jobs into folders of the staging folder, made as they
// are needed, and a folder job makes its folder there; jobs without one
// keep their numbered files.
TEST_P(WorkerSizes, StagedPathsPutFilesAndFoldersIntoStagedFolders) {
  fs::create_directories(dir_.Native(u"src\\empty"));
  InstallWorker* worker = NewWorker(0, 1, u"stage");
  worker->SetStagedPaths({u"t0\\c\\d.txt", u"", u"t0\\e.txt", u"t0\\c\\empty", u"t1"});
  Queue(worker, u"d.txt", "d", u"new\\c\\d.txt");
  Queue(worker, u"a.txt", "a");
  Queue(worker, u"e.txt", Pattern(3 * kBufferedCapacity + 1, 3), u"new\\e.txt");
  Add(worker, u"empty", u"new\\c\\empty");
  Add(worker, u"empty", u"other");
  recorder_.Run(worker);

  EXPECT_EQ(recorder_.Sequence().back(), 'E');
  EXPECT_EQ(recorder_.Sequence().find('F'), std::string::npos) << recorder_.Sequence();
  EXPECT_EQ(dir_.ReadFile(u"stage\\t0\\c\\d.txt"), "d");
  EXPECT_EQ(dir_.ReadFile(u"stage\\1"), "a");
  EXPECT_EQ(dir_.ReadFile(u"stage\\t0\\e.txt"), Pattern(3 * kBufferedCapacity + 1, 3));
  EXPECT_TRUE(fs::is_directory(dir_.Native(u"stage\\t0\\c\\empty")));
  EXPECT_TRUE(fs::is_directory(dir_.Native(u"stage\\t1")));
  // Nothing is written below the tree itself.
  EXPECT_FALSE(fs::exists(dir_.Native(u"dst")));
}

// Files in flight, several of them opened ahead of the one being copied:
// through the ring, the reader is files ahead of the writer; with the
// system's copy, the main worker thread opens the next files while the
// reader copies.

// The data of a file fails to move while later files are already open:
// the failure is still reported after every report of the files before,
// for the file that failed, and no file after it is left staged.
TEST_P(WorkerSizes, AFailureMidRunIsReportedForItsFileInTurn) {
  InstallWorker* worker = NewWorker(0, 1, u"stage");
  // One read per file and none for an empty one: the third read is f3's.
  const int sizes[] = {4096, 1, 0, 4096, 5000, 0, 300};
  for (int i = 0; i < 7; ++i) Queue(worker, Numbered(i), Pattern(sizes[i], i));
  {
    Faults faults(DataFault(3));
    recorder_.Run(worker);
  }
  ASSERT_EQ(recorder_.Sequence(), "PPPFE");
  const WorkerStatus& failure = recorder_.reports[3];
  EXPECT_EQ(failure.source, Src(Numbered(3)));
  EXPECT_EQ(failure.current_size, 4096u);
  EXPECT_EQ(failure.total_done, 4097u);
  EXPECT_EQ(recorder_.Message(3), SystemText(os::kErrorSharingViolation));
  EXPECT_EQ(Below(u"stage", false), (Names{"0", "1", "2"}));
}

// Files in flight were begun in staged folders that later files no longer
// use: those folders stay open until the files are complete or dropped, so
// a failure still removes every unfinished file from its own folder.
TEST_P(WorkerSizes, AFailureDropsTheUnfinishedFilesOfEveryStagedFolder) {
  InstallWorker* worker = NewWorker(0, 1, u"stage");
  // A folder of its own for each file, more than there are files in
  // flight, and back to the first ones.
  std::vector<std::u16string> paths;
  for (int i = 0; i < 14; ++i) {
    paths.push_back(u"t" + qvtest::U16(std::to_string(i % 7)) + u"\\" + Numbered(i));
    Queue(worker, Numbered(i), Pattern(100 + i, i));
  }
  worker->SetStagedPaths(paths);
  {
    Faults faults(DataFault(9));
    recorder_.Run(worker);
  }
  ASSERT_EQ(recorder_.Sequence(), "PPPPPPPPFE");
  EXPECT_EQ(Below(u"stage", false), (Names{"f0.bin", "f1.bin", "f2.bin", "f3.bin", "f4.bin",
                                           "f5.bin", "f6.bin", "f7.bin"}));
}

// A stop asked for on the report that ends a small file keeps that file and
// those before it, and nothing of the files already opened after it.
TEST_P(WorkerSizes, AStopMidRunKeepsTheWholeFilesAndDropsThoseOpenedAfter) {
  recorder_.answer = [](std::size_t index) { return index == 3 ? 0 : 1; };
  InstallWorker* worker = NewWorker(0, 1, u"stage");
  for (int i = 0; i < 10; ++i) Queue(worker, Numbered(i), Pattern(100 + i, i));
  recorder_.Run(worker);
  ASSERT_EQ(recorder_.Sequence(), "PPPPE");
  EXPECT_EQ(recorder_.reports[3].source, Src(Numbered(3)));
  EXPECT_EQ(recorder_.reports[4].failed, 0);
  EXPECT_EQ(Below(u"stage", false), (Names{"0", "1", "2", "3"}));
  EXPECT_EQ(dir_.ReadFile(u"stage\\3"), Pattern(103, 3));
}


TEST_F(WorkerTest, SourcesReadAheadOnceEachAndFailedHintsCostNothing) {
  if (!os::SystemCopiesFileData()) GTEST_SKIP() << "sources are read ahead for the system's copy";
  qvtest::ScopedEnv mode("QV_COPY_MODE", "system");
  InstallWorker* worker = NewWorker(0);
  // More files than are opened ahead at once, and a folder among them,
  // which does not open as a file.
  for (int i = 0; i < 12; ++i) Queue(worker, Numbered(i), Pattern(1000 * i, i));
  ASSERT_TRUE(fs::create_directories(dir_.Native(u"src\\sub")));
  Add(worker, u"sub");
  Queue(worker, u"last.bin", Pattern(5000, 12));
  {
    Faults hints({os::FileOp::kRead, 1, os::kFaultDefaultError, os::FaultAction::kFailOnward});
    recorder_.Run(worker);
    // Every source after the first, the folder excepted.
    EXPECT_EQ(os::FaultCallCount(os::FileOp::kRead), 12u);
  }
  EXPECT_EQ(recorder_.Sequence(), std::string(13, 'P') + "E");
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(dir_.ReadFile(u"dst\\" + Numbered(i)), Pattern(1000 * i, i)) << i;
  EXPECT_TRUE(fs::is_directory(dir_.Native(u"dst\\sub")));
  EXPECT_EQ(dir_.ReadFile(u"dst\\last.bin"), Pattern(5000, 12));
}

// Staged files reach the disk together after the last copy, not one by one;
// a failure of that flush fails the run with the system's text.
TEST_F(WorkerTest, StagedFilesAreFlushedTogetherOnce) {
  InstallWorker* worker = NewWorker(1, 1, u"stage");
  for (int i = 0; i < 20; ++i) Queue(worker, Numbered(i, u".txt"), Pattern(100 + i, i));
  {
    Faults count({os::FileOp::kFlush, 0});
    recorder_.Run(worker);
    EXPECT_EQ(os::FaultCallCount(os::FileOp::kFlush), 1u);
  }
  EXPECT_EQ(recorder_.Sequence(), std::string(20, 'P') + "E");
  EXPECT_EQ(dir_.ReadFile(u"stage\\19"), Pattern(119, 19));

  Recorder failing;
  worker = NewWorker(1, 1, u"stage2");
  Add(worker, u"f0.txt");
  {
    Faults faults({os::FileOp::kFlush, 1, os::kErrorDiskFull});
    failing.Run(worker);
  }
  ASSERT_EQ(failing.Sequence(), "PFE");
  EXPECT_NE(failing.Message(1).find(Dst(u"f0.txt")), std::u16string::npos);
}

TEST_F(WorkerTest, OneReportPerBufferAndNoEmptyExtraSlot) {
  const std::pair<std::uint64_t, std::size_t> cases[] = {
      {0, 1}, {1, 1}, {kBufferedCapacity, 1}, {2 * kBufferedCapacity, 2},
      {3 * kBufferedCapacity + 1, 4}};
  for (const auto& [size, count] : cases) {
    Recorder recorder;
    InstallWorker* worker = NewWorker();
    Queue(worker, u"one.bin", Pattern(size, 7));
    recorder.Run(worker);
    EXPECT_EQ(recorder.Sequence(), std::string(count, 'P') + "E") << size;
    EXPECT_EQ(recorder.reports[count - 1].current_written, size);
    EXPECT_EQ(recorder.reports[count - 1].current_size, size);
  }
}

TEST_F(WorkerTest, DataHookSeesEveryBufferInOrder) {
  g_hook_calls.clear();
  InstallWorker* worker = NewWorker();
  Queue(worker, u"h.bin", Pattern(2 * kBufferedCapacity + 5, 3));
  Queue(worker, u"next.bin", Pattern(7, 4));
  recorder_.Run(worker, RecordHook);
  using Call = std::pair<std::uint64_t, std::uint32_t>;
  const std::vector<Call> expected = {Call{0, kBufferedCapacity},
                                      Call{kBufferedCapacity, kBufferedCapacity},
                                      Call{2 * kBufferedCapacity, 5}, Call{0, 7}};
  EXPECT_EQ(g_hook_calls, expected);
}

TEST_F(WorkerTest, LocalSourcesAreReadInWholeSectorsPastTheCache) {
  const std::string content = Pattern(3 * kBufferedCapacity, 4);
  dir_.WriteFile(u"src\\u.bin", content);
  InstallWorker* worker = NewWorker(0);
  Add(worker, u"u.bin");
  const std::uint32_t length = FirstBufferLength(recorder_, worker);
  const std::uint32_t sector = length - (1u << 20);
  EXPECT_GT(length, 1u << 20);
  EXPECT_LT(length, kBufferedCapacity);
  EXPECT_EQ(sector & (sector - 1), 0u) << "not one sector beyond 1 MiB: " << length;
  EXPECT_EQ(dir_.ReadFile(u"dst\\u.bin"), content);

#ifndef _WIN32
  // "//" starts a network path; here it reaches the same local file.
  const std::u16string network = u"/" + dir_.Native(u"src\\u.bin").u16string();
  ASSERT_EQ(network.substr(0, 2), u"//");
  Recorder remote;
  worker = NewWorker(0);
  worker->Add(network.c_str(), Dst(u"n.bin").c_str(), 0);
  EXPECT_EQ(FirstBufferLength(remote, worker), kBufferedCapacity);
  EXPECT_EQ(dir_.ReadFile(u"dst\\n.bin"), content);
#endif
}

// --- times and attributes ------------------------------------------------

TEST_F(WorkerTest, CopiesTimesAndLeavesOnlyTheArchiveAttribute) {
  InstallWorker* worker = NewWorker();
  Queue(worker, u"t.txt", "times");
  fs::last_write_time(dir_.Native(u"src\\t.txt"), fs::file_time_type::clock::now() -
                                                      std::chrono::hours(50) +
                                                      std::chrono::nanoseconds(123456700));
  ASSERT_TRUE(os::SetFileAttributes(Src(u"t.txt").c_str(), os::kAttrReadOnly));
  recorder_.Run(worker);
  EXPECT_EQ(recorder_.Sequence(), "PE");

  auto written = [](const std::u16string& path) {
    os::Handle file = os::OpenFile(path.c_str(), os::kAccessRead, os::kShareRead,
                                   os::kOpenExisting, 0, 0);
    os::FileTime time{};
    EXPECT_TRUE(file != os::kInvalidHandle && os::GetFileTimes(file, nullptr, nullptr, &time));
    os::CloseFile(file);
    return time.ticks;
  };
  EXPECT_EQ(written(Dst(u"t.txt")), written(Src(u"t.txt")));  // to the 100 ns
  EXPECT_EQ(os::GetFileAttributes(Dst(u"t.txt").c_str()), os::kAttrArchive);
}

// --- failures ------------------------------------------------------------------

TEST_F(WorkerTest, FileInTheWayOfAFolderNamesTheParentFolder) {
  dir_.WriteFile(u"dst\\blocker", "a file, not a folder");
  InstallWorker* worker = NewWorker();
  Queue(worker, u"f.txt", "f", u"blocker\\sub\\f.txt");
  Queue(worker, u"g.txt", "g");
  recorder_.Run(worker);
  ASSERT_EQ(recorder_.Sequence(), "FE");
  EXPECT_EQ(recorder_.Message(0), u"フォルダ [" + Dst(u"blocker\\sub") + u"] が作成出来ません");
  EXPECT_EQ(recorder_.reports[1].failed, 1);
  EXPECT_FALSE(DstHas(u"g.txt"));
}

TEST_F(WorkerTest, VanishedSourceStopsTheQueue) {
  InstallWorker* worker = NewWorker();
  Queue(worker, u"first.txt", "first");
  Add(worker, u"gone.txt");
  Queue(worker, u"later.txt", "later");
  recorder_.Run(worker);
  const std::u16string prefix = u"ソースファイル [" + Src(u"gone.txt") + u"] がオープン出来ません。 : ";
  ExpectFailure("PFE", prefix);
  EXPECT_GT(recorder_.Message(1).size(), prefix.size()) << "the system's text is missing";
  EXPECT_EQ(dir_.ReadFile(u"dst\\first.txt"), "first");
  EXPECT_FALSE(DstHas(u"later.txt"));
}

// An error the system has no text for still ends the message, with no
// detail after it. Each open of the run fails in turn; those of the staged
// file say so.
TEST_F(WorkerTest, AnErrorWithoutASystemTextLeavesTheDetailEmpty) {
  dir_.WriteFile(u"src\\r.txt", "new");
  const std::u16string message = u"出力ファイル [" + Dst(u"r.txt") + u"] がオープン出来ません。 : ";
  int output_failures = 0;
  for (std::uint64_t n = 1; n <= 8; ++n) {
    SCOPED_TRACE(n);
    Recorder recorder;
    InstallWorker* worker = NewWorker();
    Add(worker, u"r.txt");
#ifdef __GLIBC__
    mallopt(M_PERTURB, 0x5A);  // blocks never written are not zero
#endif
    {
      Faults faults({os::FileOp::kOpen, n, 0xFFFF});
      recorder.Run(worker);
    }
#ifdef __GLIBC__
    mallopt(M_PERTURB, 0);
#endif
    if (recorder.Sequence() != "FE" || !recorder.Message(0).starts_with(u"出力ファイル")) continue;
    ++output_failures;
    EXPECT_EQ(recorder.Message(0), message);
  }
  EXPECT_GT(output_failures, 0) << "no open of the staged file failed";
}

TEST_F(WorkerTest, OverlongPathIsRefusedAndNothingIsCopied) {
  InstallWorker* worker = NewWorker();
  Queue(worker, u"ok.txt", "ok");
  const std::u16string longest = Dst(u"") + std::u16string(259 - Dst(u"").size(), u'n');
  EXPECT_EQ(worker->Add(Src(u"ok.txt").c_str(), longest.c_str(), 0), 1);
  const std::u16string too_long = longest + u"x";
  EXPECT_EQ(worker->Add(Src(u"ok.txt").c_str(), too_long.c_str(), 0), 0);
  recorder_.Run(worker);
  ASSERT_EQ(recorder_.Sequence(), "FE");
  EXPECT_EQ(recorder_.Message(0), u"パスが長すぎます [" + too_long + u"]");
  EXPECT_FALSE(DstHas(u"ok.txt"));
}

#ifndef _WIN32
// The source is opened shared for reading only, so only a system without
// share modes lets the test cut it while it is being copied.
TEST_F(WorkerTest, SourceThatShrinksDuringTheCopyIsAReadFailure) {
  dir_.WriteFile(u"dst\\s.bin", "installed");
  recorder_.answer = [&](std::size_t index) {
    // The reader is at most three buffers ahead of this first report.
    if (index == 0) fs::resize_file(dir_.Native(u"src\\s.bin"), kBufferedCapacity);
    return 1;
  };
  InstallWorker* worker = NewWorker();
  Queue(worker, u"s.bin", Pattern(10 * kBufferedCapacity, 11));
  Queue(worker, u"next.bin", "next");
  recorder_.Run(worker);
  const std::string sequence = recorder_.Sequence();
  ASSERT_GE(sequence.size(), 3u);
  EXPECT_EQ(sequence.find('F'), sequence.size() - 2) << sequence;
  EXPECT_EQ(sequence.back(), 'E');
  EXPECT_EQ(recorder_.Message(sequence.size() - 2),
            u"ソースファイル [" + Src(u"s.bin") + u"] を最後まで読み込めません。");
  // The installed file stays whole; the part that was copied is dropped.
  EXPECT_EQ(dir_.ReadFile(u"dst\\s.bin"), "installed");
  EXPECT_EQ(Below(u"dst"), Names{"s.bin"});
}
#endif

// --- stopping through the callback -------------------------------------------

// A stop on the first report of a large file: the file stopped half-way is
// not installed at all, and the run ends. Left behind, either way of
// staging would pass for a complete file (the temporary one beside its
// destination, the one in the staging folder), so one that cannot be
// removed fails the run.
TEST_P(WorkerSizes, AStopDuringTheTransferInstallsNothingOfTheFile) {
  const struct {
    const char16_t* staging;
    bool removable;
    const char* sequence;
  } cases[] = {{nullptr, true, "PE"}, {nullptr, false, "PFE"}, {u"stage", false, "PFE"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.staging ? "staged" : "beside") + (c.removable ? "" : ", kept"));
    Recorder recorder;
    recorder.answer = [](std::size_t index) { return index == 0 ? 0 : 1; };
    InstallWorker* worker = NewWorker(0, 1, c.staging);
    Queue(worker, u"big.bin", Pattern(3 * kBufferedCapacity + 1, 9));
    Queue(worker, u"after.txt", "after");
    {
      Faults faults({os::FileOp::kDelete, c.removable ? 0u : 1u, os::kErrorAccessDenied});
      recorder.Run(worker);
      EXPECT_EQ(os::FaultFired(), !c.removable);
    }
    ASSERT_EQ(recorder.Sequence(), c.sequence);
    EXPECT_FALSE(DstHas(u"after.txt"));
    if (!c.removable) {
      EXPECT_NE(recorder.Message(1).find(Dst(u"big.bin")), std::u16string::npos);
      continue;
    }
    EXPECT_EQ(recorder.reports[1].failed, 0);
    EXPECT_LT(recorder.reports[0].current_written, 3 * kBufferedCapacity + 1);
    EXPECT_TRUE(Below(u"dst").empty());
  }
}

INSTANTIATE_TEST_SUITE_P(CopyModes, WorkerSizes,
                         ::testing::Values("system", "buffered", "unbuffered"));

// --- version check -------------------------------------------------------------

// What disturbs the check of the installed file's version.
enum class Upset { kNone, kReadFailsOnce, kHeldOpen, kStopOnKeep };

TEST_F(WorkerTest, VersionCheckKeepsOnlyNewerInstalledProgramsAndLibraries) {
  // Through the ring, where the files around the checked one are on their
  // way while it is checked.
  qvtest::ScopedEnv ring("QV_COPY_MODE", "buffered");
  const struct {
    const char16_t* name;
    const char16_t* installed;  // null: plain bytes without version data
    const char16_t* offered;
    int mode;
    bool copied;
    Upset upset = Upset::kNone;
    std::string sequence = "PPPE";
  } cases[] = {
      {u"game.exe", u"2, 0, 0, 10", u"1, 9, 9, 99", 1, false},
      {u"GAME.EXE", u"1.0.0.2", u"1.0.0.1", 1, false},
      {u"engine.Dll", u"3.0.0.0", u"2.9.0.0", 1, false},
      {u"game.exe", u"1.0.0.1", u"1.0.0.1", 1, true},
      {u"game.exe", u"1.0.0.1", u"1.0.0.2", 1, true},
      {u"notes.txt", u"9.0.0.0", u"1.0.0.0", 1, true}, {u"game.exe", nullptr, u"1.0.0.0", 1, true},
      {u"game.exe", u"9.0.0.0", nullptr, 1, true}, {u"game.exe", u"9.0.0.0", u"1.0.0.0", 0, true},
      // A read that fails once (a scanner holding the file) is tried again;
      // one that cannot be made fails the job; a stop on the skip report
      // copies nothing after it.
      {u"game.exe", u"2.0.0.0", u"1.0.0.0", 1, false, Upset::kReadFailsOnce},
      {u"game.exe", u"2.0.0.0", u"1.0.0.0", 1, false, Upset::kHeldOpen, "PFE"},
      {u"game.exe", u"2.0.0.0", u"1.0.0.0", 1, false, Upset::kStopOnKeep, "PPE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(qvtest::U8(c.name) + " " + std::to_string(c.mode) + " " +
                 std::to_string(static_cast<int>(c.upset)));
    const std::string installed = c.installed ? VersionedExe(c.installed) : "plain old bytes";
    const std::string offered = c.offered ? VersionedExe(c.offered) : "plain new bytes!";
    dir_.WriteFile(u"dst\\" + std::u16string(c.name), installed);
    fs::remove(dir_.Native(u"dst\\after.txt"));
    Recorder recorder;
    InstallWorker* worker = NewWorker(1, c.mode);
    // Between two copied files, which pass through the ring meanwhile.
    Queue(worker, u"before.txt", "before");
    Queue(worker, c.name, offered);
    Queue(worker, u"after.txt", "after");
    if (c.upset == Upset::kStopOnKeep) recorder.answer = [](std::size_t i) { return i == 1 ? 0 : 1; };
    // Another program holds it open and shares it with nobody.
    const os::Handle held = c.upset != Upset::kHeldOpen
                                ? os::kInvalidHandle
                                : os::OpenFile(Dst(c.name).c_str(), os::kAccessWrite,
                                               os::kShareNone, os::kOpenExisting, 0, 0);
    {
      // The fifth open reads the installed file's version; 0 only counts.
      Faults once({os::FileOp::kOpen, c.upset == Upset::kReadFailsOnce ? 5u : 0u,
                   os::kErrorSharingViolation});
      recorder.Run(worker);
    }
    if (held != os::kInvalidHandle) os::CloseFile(held);

    EXPECT_EQ(dir_.ReadFile(u"dst\\" + std::u16string(c.name)), c.copied ? offered : installed);
    EXPECT_EQ(DstHas(u"after.txt"), c.sequence == "PPPE");
    ASSERT_EQ(recorder.Sequence(), c.sequence);
    EXPECT_EQ(recorder.reports[0].destination, Dst(u"before.txt"));
    if (c.upset == Upset::kHeldOpen) {
      EXPECT_EQ(recorder.Message(1).find(u"出力ファイル [" + Dst(c.name) + u"] がオープン出来ません。 : "),
                0u);
      continue;
    }
    // A skip report counts the file as done without writing it.
    const WorkerStatus& checked = recorder.reports[1];
    EXPECT_EQ(checked.destination, Dst(c.name));
    EXPECT_EQ(checked.current_size, offered.size());
    EXPECT_EQ(checked.current_written, c.copied ? offered.size() : 0u);
    EXPECT_EQ(checked.total_done, 6 + offered.size());
    if (c.sequence != "PPPE") continue;
    EXPECT_EQ(recorder.reports[2].destination, Dst(u"after.txt"));
    EXPECT_EQ(recorder.reports[2].total_done, 6 + offered.size() + 5);
  }
}

// --- the destination tree -----------------------------------------------------

TEST_F(WorkerTest, ADestinationOutsideTheTreeIsRefused) {
  dir_.WriteFile(u"src\\a.txt", "a");
  fs::create_directories(dir_.Native(u"dst"));
  confine::Tree inner;
  ASSERT_EQ(inner.Open(dir_.Path(u"dst").c_str(), {}), confine::Rule::kOk);
  InstallWorker* worker = NewWorker();
  worker->SetDestinationTree(&inner);
  worker->Add(Src(u"a.txt").c_str(), dir_.Path(u"elsewhere\\a.txt").c_str(), 0);
  // The refusal stops the queue: a job inside the tree after it is not run.
  Add(worker, u"a.txt");
  recorder_.Run(worker);
  ExpectFailure("FE", u"出力ファイル [" + dir_.Path(u"elsewhere\\a.txt") + u"]");
  EXPECT_FALSE(fs::exists(dir_.Native(u"elsewhere")));
  EXPECT_FALSE(DstHas(u"a.txt"));
}

TEST(StripMessageId, DropsTheLeadingIdentifierOnly) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"$1010-0171$text", u"text"}, {u"$$x", u"x"}, {u"no id $1$", u"no id $1$"},
      {u"$unclosed", u"$unclosed"}, {u"", u""}};
  for (const auto& [text, stripped] : cases)
    EXPECT_EQ(std::u16string(InstallWorker::StripMessageId(text)), stripped);
}

}  // namespace
