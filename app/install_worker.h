// InstallWorker: copies a queue of files in the background. A main thread
// walks the queue; per file a reader and a writer thread stream it through
// a ring of large buffers, so reading and writing overlap. Executables and
// libraries that are already installed in a newer version are left alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "file/confined_file.h"
#include "os/file.h"

class qvThread;

inline constexpr std::size_t kWorkerPathCapacity = 260;
inline constexpr std::size_t kWorkerMessageCapacity = 514;

struct CopyJob {
  char16_t source[kWorkerPathCapacity];
  char16_t destination[kWorkerPathCapacity];
  std::uint32_t flag;
};

// One transfer buffer. `state` is 1 while the reader may fill it and 0
// while the writer may write it; the other fields are handed over with it.
struct BufferSlot {
  std::int32_t state = 1;
  std::int32_t end_mark = 0;
  void* data = nullptr;
  std::uint32_t capacity = 0;
  std::uint32_t length = 0;
};

// What the callback sees. Counters and flags change while other threads
// run; the callback reads them as they are at the moment of the report.
struct WorkerStatus {
  char16_t source[kWorkerPathCapacity];
  char16_t destination[kWorkerPathCapacity];
  std::uint64_t current_size;
  std::uint64_t current_written;
  std::uint64_t total_size;
  std::uint64_t total_done;
  std::int32_t finished;
  std::int32_t failed;
  std::uint32_t flag;
  char16_t message[kWorkerMessageCapacity];
};

// 0 stops the worker.
using WorkerCallback = std::int32_t (*)(void* user, WorkerStatus* status);
// Sees every buffer before it is written.
using WorkerDataHook = void (*)(void* user, const void* buffer, std::uint64_t offset,
                                std::uint32_t length, WorkerStatus* status);

class InstallWorker {
 public:
  // How file data moves. kSystem lets the system copy between the two
  // files (where it can and no data hook needs the bytes; the main worker
  // thread then copies and reports per buffer-sized chunk); kBuffered and
  // kUnbuffered stream through the ring of buffers, reading through the
  // system's cache or past it where the volume allows. QV_COPY_MODE
  // ("system", "buffered", "unbuffered") overrides the default, kSystem.
  enum class CopyMode { kSystem, kBuffered, kUnbuffered };

  InstallWorker(int buffer_count, int buffered_only);
  InstallWorker(const InstallWorker&) = delete;
  InstallWorker& operator=(const InstallWorker&) = delete;
  // Waits for the main worker thread to end; it stops early when the
  // worker is destroyed before its finished report.
  ~InstallWorker();

  // 1: keep an installed executable or library whose version is newer.
  void SetVersionCheck(int mode);
  // The folder every destination must lie in (not owned; it outlives the
  // run). Destinations are reached below it without links and written
  // under a temporary name that is renamed over them once complete; a
  // destination outside it fails as an output file that cannot be opened.
  void SetDestinationTree(const confine::Tree* tree);
  // A folder below the tree (relative, '\\' separated) where every copied
  // file is written instead of its destination: job n (from 0, in queue
  // order) becomes the file named n in decimal there, complete and with the
  // source's times. The staged files are flushed together after the last
  // job, before the finished report of a run without failure. The destination is still what the version
  // check looks at and what reports name. Empty (the default): files are
  // written over their destinations.
  void SetStagingFolder(std::u16string_view folder);
  // The staging file of job `index`: its name in the staging folder, and
  // its path below the tree.
  static std::u16string StagedName(std::size_t index);
  static std::u16string StagingPath(std::u16string_view folder, std::size_t index);
  // Queues a job before Start. A path of kWorkerPathCapacity units or more
  // is refused (0); the run then fails at its start with a report.
  int Add(const char16_t* source, const char16_t* destination, std::uint32_t flag);
  // Starts the main worker thread and returns at once.
  int Start(WorkerCallback callback, void* user, WorkerDataHook hook);

  // Drops the "$id$" in front of a message format.
  static const char16_t* StripMessageId(const char16_t* text);

 private:
  static void MainProc(qvThread* thread, void* self);
  static void ReaderProc(qvThread* thread, void* self);
  static void WriterProc(qvThread* thread, void* self);

  void RunMain();
  // The loop of the reader and of the writer: per file the main thread
  // starts, `transfer`, then a wake-up of the partner thread and of the
  // main thread's `done_event`.
  void ServeFiles(qvThread* self, qvThread* partner, std::uint32_t done_event,
                  void (InstallWorker::*transfer)());
  // Streams the current file through the slots. A failure is reported and
  // sets the error flag; a stop leaves the abort flag set.
  void ReadOneFile();
  void WriteOneFile();
  // Has the system copy the current file, reporting per chunk; ends as
  // the two above.
  void CopyInSystem();
  // Makes the staged files durable; a failure has been reported when it
  // returns false.
  bool FlushStagedFiles();
  bool CopyOne(const CopyJob& job, std::size_t index);
  // A job whose source is a folder: the folder is made below the tree.
  bool CopyFolder(const CopyJob& job, std::u16string_view relative);
  void Finish();

  // Readies the slots for a file: 1 unbuffered, 0 buffered, -1 when the
  // buffers cannot be allocated. Buffers stay allocated from file to file
  // until ReleaseBuffers, at the end of the run.
  int PrepareBuffers(const char16_t* source);
  void ReleaseBuffers();
  // Opens the source of job `index` for reading, or takes it when it was
  // opened ahead; false (not reported) when it cannot be.
  bool OpenSource(std::size_t index, bool unbuffered);
  // Opens the sources of the jobs after `index` ahead of their turn and
  // asks the system to read their first bytes meanwhile, so that the reads
  // of many small files from the disk overlap instead of waiting one by one.
  void ReadAhead(std::size_t index);
  void CloseOpenedAhead();
  // Stages the destination (`relative` below the tree, or job `index`'s
  // file in the staging folder) for writing, and reports what failed of
  // the pair: the folder first, then the source (not open, for
  // `source_error`), then the destination. False when something failed.
  bool OpenDestination(const CopyJob& job, std::u16string_view relative, std::size_t index,
                       bool source_open, std::uint32_t source_error);
  bool BeginStaged(std::u16string_view relative, std::size_t index);
  // Closes the source and drops a staged destination that was not
  // committed.
  void ClosePair();
  // The version check of mode 1: an installed .exe or .dll (reached without
  // links, not a link itself) whose version is newer than the patch's is
  // kept. A version that cannot be read fails the job (reported): a file
  // that was not read is never taken for one without a version.
  enum class VersionVerdict { kCopy, kKeep, kFailed };
  VersionVerdict CheckVersions(const CopyJob& job, std::u16string_view relative);

  // Blocks until slot `index` has `state`, or the worker stops; true when
  // the state was reached.
  bool WaitForSlot(std::size_t index, std::int32_t state, qvThread* self);
  void SetSlotState(std::size_t index, std::int32_t state, qvThread* other);
  // Sets the error and abort flags and reports the failure once.
  void FailTransfer(std::uint32_t error_code, const char16_t* fallback_format);
  void FailJob(const char16_t* format, const char16_t* argument, const char16_t* detail);
  // FailJob with the system's text for `code` as the detail.
  void FailJobWithCode(const char16_t* format, const char16_t* argument, std::uint32_t code);
  void ReportFailure();
  // Wakes every thread that may wait for a slot.
  void WakeSlotWaiters();
  std::int32_t Report();

  std::size_t count_;
  BufferSlot* slots_;
  std::vector<CopyJob> queue_;
  std::int32_t finishing_ = 0;  // set by Finish alone: the reader and writer end
  qvThread* main_thread_ = nullptr;
  qvThread* reader_thread_ = nullptr;
  qvThread* writer_thread_ = nullptr;
  const confine::Tree* tree_ = nullptr;
  confine::StagedFile staged_;
  os::Handle staging_handle_ = os::kInvalidHandle;  // the staging folder, once reached
  os::Handle source_ = os::kInvalidHandle;
  os::Handle destination_ = os::kInvalidHandle;  // the staged file
  WorkerCallback callback_ = nullptr;
  WorkerDataHook hook_ = nullptr;
  void* user_ = nullptr;
  WorkerStatus status_{};
  std::int32_t abort_ = 0;
  std::int32_t error_ = 0;  // a transfer failed (set together with abort_)
  std::int32_t version_check_ = 0;
  std::int32_t unbuffered_capable_ = 0;
  std::uint32_t sector_size_ = 0;
  char16_t sector_volume_[kWorkerPathCapacity] = {};  // volume last asked
  std::uint32_t volume_sector_ = 0;                   // and its answer
  std::int32_t unbuffered_ = 0;
  CopyMode copy_mode_ = CopyMode::kSystem;
  std::size_t staged_files_ = 0;
  struct OpenedAhead {
    std::size_t job = 0;
    os::Handle handle = os::kInvalidHandle;
  };
  static constexpr std::size_t kReadAheadFiles = 8;
  OpenedAhead ahead_[kReadAheadFiles];
  std::size_t ahead_end_ = 0;  // the job after the last one opened ahead
  std::int32_t report_taken_ = 0;  // a failure has been reported
  std::u16string refused_path_;    // first job path that did not fit
  std::u16string staging_folder_;
};
