// InstallWorker: copies a queue of files in the background. A main thread
// walks the queue and opens each file; a reader and a writer thread stream
// the files through a ring of large buffers, the reader running ahead into
// the next files while the writer finishes the current one, so reading and
// writing overlap within a file and across files. When the system copies
// the data, the reader alone copies and completes each file the main
// thread has opened, while that thread opens the next ones. Executables and
// libraries that are already installed in a newer version are left alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "file/confined_file.h"
#include "os/file.h"
#include "os/times.h"

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
// Files pass through the ring one after another in queue order: the slot
// with `end_mark` holds the last bytes of its file (none for an empty
// one), and the next full slot begins the next file. A slot with
// `read_failed` holds no bytes and ends its file: the source could not be
// read (`read_error` is the system's code, 0 when the file ended early).
struct BufferSlot {
  std::int32_t state = 1;
  std::int32_t end_mark = 0;
  std::int32_t read_failed = 0;
  std::uint32_t read_error = 0;
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
  // files (where it can and no data hook needs the bytes; the reader thread
  // then copies and reports per buffer-sized chunk); kBuffered and
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
  // Where in the staging folder each job goes instead, by job index: a
  // '\\'-separated path whose folders are made as needed (a job whose
  // source is a folder makes that folder there rather than below the tree).
  // An empty path, or none, keeps the default above.
  void SetStagedPaths(std::vector<std::u16string> paths);
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
  // A file on its way to the disk: opened by the main worker thread, read
  // by the reader, then written, given its times and committed by the
  // writer (or copied and committed by the reader when the system copies).
  struct FileInFlight {
    std::size_t job = 0;
    os::Handle source = os::kInvalidHandle;
    confine::StagedFile destination;
    std::uint64_t size = 0;
    os::FileTime created, accessed, written;
    bool unbuffered = false;
  };
  // A folder below the staging folder that staged files are begun in.
  struct StagedFolder {
    std::u16string path;
    os::Handle handle = os::kInvalidHandle;
    std::uint64_t last_used = 0;
  };
  // One of the worker's threads, and whether it sleeps until another
  // wakes it: a thread that changes what the other waits for signals it
  // only then, so the threads do not wake each other for nothing.
  struct Sleeper {
    qvThread* thread = nullptr;
    std::int32_t waiting = 0;
  };

  static void MainProc(qvThread* thread, void* self);
  static void ReaderProc(qvThread* thread, void* self);
  static void WriterProc(qvThread* thread, void* self);

  void RunMain();
  // Prepares job `index` and hands it on, or deals with it here (a kept
  // file, a folder, a failure); false when the run ends with it.
  bool CopyOne(const CopyJob& job, std::size_t index);
  // A job whose source is a folder: the folder is made below the tree, or
  // at job `index`'s staged path.
  bool CopyFolder(const CopyJob& job, std::u16string_view relative, std::size_t index);
  // Makes the staged files durable; a failure has been reported when it
  // returns false.
  bool FlushStagedFiles();
  void Finish();

  // Waits until every file handed to the reader is complete; false when
  // the run stopped first.
  bool Settle();
  // What the main worker thread reports about `job` comes after every
  // report about the files before it: settles, then names `job` in the
  // status. False when the run stopped meanwhile: nothing is to be
  // reported then, as the job would never have begun.
  bool TakeTurn(const CopyJob& job);
  // The file the main worker thread prepares next, once the writer (the
  // reader when the system copies) has made room; null when the run stopped first.
  FileInFlight* NextFile();
  void NameInStatus(const CopyJob& job);
  // Names the file about to be written in the status, with its size.
  void StartInStatus(const FileInFlight& file);
  // The written file gets its times and is committed. A failure stops the
  // run and is reported.
  bool CompleteFile(FileInFlight& file);
  // Closes the source and drops a destination not committed; false when
  // that staged file is still there.
  static bool CloseFile(FileInFlight& file);
  // The files that did not complete, oldest first. A staged file left
  // behind would be taken for a complete one, so one that cannot be
  // removed fails the run.
  void DropUnfinishedFiles();

  // The reader's and the writer's loops over the files in queue order,
  // until the run stops or Finish ends them.
  void ReadFiles();
  void WriteFiles();
  // Streams `file` into the ring from slot `slot` on, leaving `slot` after
  // its last; false when the reader ends: the run stopped, or the source
  // failed, which the writer reports in its turn.
  bool ReadOneFile(const FileInFlight& file, std::size_t& slot);
  // Writes the slot's bytes whole; a failure is reported.
  bool WriteSlot(const BufferSlot& slot, os::Handle destination);
  // Has the system copy the file, reporting per chunk; true when all of it
  // was copied (a stop asked for on the last report still keeps it).
  bool CopyInSystem(FileInFlight& file);
  // The reader's loop when the system copies: each file handed on is
  // copied, given its times, committed and closed in queue order, until
  // the run stops or Finish ends it.
  void CopyFiles();

  // Readies the ring for `job`'s source: 1 unbuffered, 0 buffered, -1
  // when the buffers cannot be had. Buffers stay allocated from file to
  // file until ReleaseBuffers, at the end of the run; buffers of another
  // size are made once the files before have left the ring.
  int PrepareBuffers(const CopyJob& job);
  void ReleaseBuffers();
  // Opens the source of job `index` for reading, or takes it when it was
  // opened ahead; false (not reported) when it cannot be.
  bool OpenSource(FileInFlight& file, std::size_t index, bool unbuffered);
  // Opens the sources of the jobs after `index` ahead of their turn and
  // asks the system to read their first bytes meanwhile, so that the reads
  // of many small files from the disk overlap instead of waiting one by one.
  void ReadAhead(std::size_t index);
  void CloseOpenedAhead();
  // Stages the destination (`relative` below the tree, or job `index`'s
  // file in the staging folder) for writing, and reports what failed of
  // the pair: the folder first, then the source (not open, for
  // `source_error`), then the destination. False when something failed.
  bool OpenDestination(FileInFlight& file, const CopyJob& job, std::u16string_view relative,
                       std::size_t index, bool source_open, std::uint32_t source_error);
  bool BeginStaged(confine::StagedFile& staged, std::u16string_view relative, std::size_t index);
  // Job `index`'s path in the staging folder, empty for the default.
  std::u16string_view StagedPathOf(std::size_t index) const;
  // The staging folder, made when missing and then held for the run;
  // kInvalidHandle when that fails.
  os::Handle StagingFolder();
  // The folder `folder` below the staging folder, made when missing and
  // held while files in flight may need it; kInvalidHandle when it fails.
  os::Handle StagedSubfolder(std::u16string_view folder);
  void CloseStagedFolders();
  // The version check of mode 1: an installed .exe or .dll (reached without
  // links, not a link itself) whose version is newer than the patch's is
  // kept. A version that cannot be read fails the job (reported): a file
  // that was not read is never taken for one without a version. kFailed
  // is also the answer, unreported, when the run stopped before the check.
  enum class VersionVerdict { kCopy, kKeep, kFailed };
  VersionVerdict CheckVersions(const CopyJob& job, std::u16string_view relative);

  // Sleeps until `ready` holds (true) or the run stops (false).
  template <typename Ready>
  bool SleepUntil(Sleeper& self, Ready ready);
  // Signals `other` when it sleeps; called after what it waits for changed.
  static void Wake(Sleeper& other);
  void WakeAll();
  // Gives slot `index` to the other thread with `state`.
  void HandOver(std::size_t index, std::int32_t state, Sleeper& other);
  bool Stopped();
  // Sets the abort flag and wakes every thread, which then leaves what it
  // waits for.
  void StopRun();
  // Stops the run for a failed transfer and reports it once.
  void FailTransfer(std::uint32_t error_code, const char16_t* fallback_format);
  // Stops the run for `job`'s file, reported with the system's text.
  bool FailFile(const CopyJob& job, std::uint32_t code);
  void FailJob(const char16_t* format, const char16_t* argument, const char16_t* detail);
  // FailJob with the system's text for `code` as the detail.
  void FailJobWithCode(const char16_t* format, const char16_t* argument, std::uint32_t code);
  void ReportFailure();
  std::int32_t Report();

  std::size_t count_;
  BufferSlot* slots_;
  std::vector<CopyJob> queue_;
  std::int32_t finishing_ = 0;  // set by Finish alone: the reader and writer end
  Sleeper main_, reader_, writer_;
  const confine::Tree* tree_ = nullptr;
  os::Handle staging_handle_ = os::kInvalidHandle;  // the staging folder, once reached
  // Files opened and not yet complete: the writer's current one, those the
  // reader has run ahead into, and the one the main worker thread opens
  // (when the system copies: the reader's current one and those waiting).
  static constexpr std::size_t kFilesInFlight = 4;
  // When the system copies, how many files a wake-up of either thread
  // brings it at least, short of the end of the run.
  static constexpr std::size_t kWakeBatch = 2;
  FileInFlight files_[kFilesInFlight];
  std::size_t files_opened_ = 0;  // handed to the reader (main worker thread)
  std::size_t files_closed_ = 0;  // complete, their places free (writer, or reader)
  // The folders staged files are begun in, held by the main worker thread.
  // A file in flight may still need its folder (a file that does not
  // complete is removed from it), and the files in flight, fewer than
  // kFilesInFlight, were begun in the folders used last: the folder used
  // longest ago is the one to close. Jobs come folder by folder, so a
  // folder is opened once for a run of files in it.
  StagedFolder staged_folders_[kFilesInFlight];
  std::uint64_t staged_folder_uses_ = 0;
  WorkerCallback callback_ = nullptr;
  WorkerDataHook hook_ = nullptr;
  void* user_ = nullptr;
  WorkerStatus status_{};
  std::int32_t abort_ = 0;
  std::int32_t version_check_ = 0;
  std::int32_t unbuffered_capable_ = 0;
  std::uint32_t sector_size_ = 0;  // of the ring's buffers, 0 for buffered reads
  char16_t sector_volume_[kWorkerPathCapacity] = {};  // volume last asked
  std::uint32_t volume_sector_ = 0;                   // and its answer
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
  std::vector<std::u16string> staged_paths_;
};
