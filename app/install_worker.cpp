#include "app/install_worker.h"

#include <cstring>
#include <memory>
#include <new>

#include "app/worker_atomics.h"
#include "app/worker_messages.h"
#include "file/native_file.h"
#include "os/process.h"
#include "os/sync.h"
#include "os/times.h"
#include "os/tree.h"
#include "os/version.h"
#include "system/caps.h"
#include "base/private_heap.h"
#include "base/format.h"
#include "util/path.h"
#include "util/thread.h"
#include "util/version_info.h"
#include "base/wide_string.h"

namespace {

// Each of the worker's threads sleeps on its one event until another
// thread has changed what it waits for, or the run stops.
constexpr std::uint32_t kWakeEvent = 0;

// Slot states: the reader may fill an empty slot, the writer write a full one.
constexpr std::int32_t kSlotEmpty = 1;
constexpr std::int32_t kSlotFull = 0;

// Systems from Windows 2000 on can read past the cache.
constexpr std::uint32_t kFirstUnbufferedOs = 64;
constexpr std::uint32_t kSystemTextLimit = 512;
constexpr std::uint32_t kErrorTextCapacity = 4096;
// What the system copies between two progress reports: one buffer's worth.
constexpr std::uint32_t kSystemCopyChunk = 2u << 20;

InstallWorker::CopyMode ChosenCopyMode(bool data_hook) {
  using Mode = InstallWorker::CopyMode;
  const char* setting = os::GetEnvironment("QV_COPY_MODE");
  Mode mode = Mode::kSystem;
  if (setting && std::strcmp(setting, "buffered") == 0) mode = Mode::kBuffered;
  if (setting && std::strcmp(setting, "unbuffered") == 0) mode = Mode::kUnbuffered;
  // A hook sees every buffer, so the bytes must pass through ours.
  if (mode == Mode::kSystem && (data_hook || !os::SystemCopiesFileData())) mode = Mode::kUnbuffered;
  return mode;
}

qvThread* CreateWorkerThread() {
  auto* thread = new (std::nothrow) qvThread;
  if (thread) thread->AddEvent(kWakeEvent, 0, 0);
  return thread;
}

void DestroyWorkerThread(qvThread*& thread) {
  if (!thread) return;
  thread->Destroy();
  delete thread;
  thread = nullptr;
}

// Reads until `length` bytes are in or the file ends, asking for up to
// `request` (which may reach past `length`); false when a read fails.
bool ReadUpTo(os::Handle source, unsigned char* bytes, std::uint32_t length,
              std::uint32_t request, std::uint32_t* got) {
  *got = 0;
  while (*got < length) {
    std::uint32_t step = 0;
    if (!os::ReadFile(source, bytes + *got, request - *got, &step)) return false;
    if (step == 0) break;
    *got += step;
  }
  return true;
}

enum class VersionRead { kRead, kNone, kFailed };

// A read that fails once (a scanner holding the file) is tried again.
VersionRead ReadVersion(const char16_t* path, VersionInfo* info) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (ReadVersionInfo(path, info)) return VersionRead::kRead;
    if (os::GetLastError() == os::kErrorNoVersionResource) return VersionRead::kNone;
  }
  return VersionRead::kFailed;
}

}  // namespace

InstallWorker::InstallWorker(int buffer_count, int buffered_only)
    : count_(buffer_count > 0 ? static_cast<std::size_t>(buffer_count) : 0) {
  const qvCaps* caps = qvCaps::Instance();
  unbuffered_capable_ =
      buffered_only == 0 && caps && caps->os.code >= kFirstUnbufferedOs ? 1 : 0;
  void* memory = count_ ? PrivateAlloc(0, count_ * sizeof(BufferSlot)) : nullptr;
  slots_ = static_cast<BufferSlot*>(memory);
  for (std::size_t i = 0; slots_ && i < count_; ++i) new (&slots_[i]) BufferSlot;
}

InstallWorker::~InstallWorker() {
  if (main_.thread) {
    // The main worker thread sees it at once and stops the others; the
    // thread objects of those belong to it until it ends.
    StoreRelease(abort_, 1);
    Wake(main_);
    main_.thread->WaitForExit();
    DestroyWorkerThread(main_.thread);
  }
  ReleaseBuffers();
  PrivateFree(slots_);
}

void InstallWorker::SetVersionCheck(int mode) { version_check_ = mode; }

void InstallWorker::SetDestinationTree(const confine::Tree* tree) { tree_ = tree; }

void InstallWorker::SetStagingFolder(std::u16string_view folder) { staging_folder_ = folder; }

void InstallWorker::SetStagedPaths(std::vector<std::u16string> paths) {
  staged_paths_ = std::move(paths);
}

std::u16string InstallWorker::StagedName(std::size_t index) {
  const std::string digits = std::to_string(index);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string InstallWorker::StagingPath(std::u16string_view folder, std::size_t index) {
  return std::u16string(folder) + u"\\" + StagedName(index);
}

int InstallWorker::Add(const char16_t* source, const char16_t* destination,
                       std::uint32_t flag) {
  if (WideLength(source) >= kWorkerPathCapacity ||
      WideLength(destination) >= kWorkerPathCapacity) {
    if (refused_path_.empty())
      refused_path_ = WideLength(source) >= kWorkerPathCapacity ? source : destination;
    return 0;
  }
  CopyJob job;
  CopyWide(job.source, kWorkerPathCapacity, source);
  CopyWide(job.destination, kWorkerPathCapacity, destination);
  job.flag = flag;
  queue_.push_back(job);
  return 1;
}

int InstallWorker::Start(WorkerCallback callback, void* user, WorkerDataHook hook) {
  callback_ = callback;
  user_ = user;
  hook_ = hook;
  copy_mode_ = ChosenCopyMode(hook != nullptr);
  if (copy_mode_ == CopyMode::kBuffered) unbuffered_capable_ = 0;
  main_.thread = CreateWorkerThread();
  if (main_.thread && main_.thread->Start(this, MainProc)) return 1;
  DestroyWorkerThread(main_.thread);
  return 0;
}

const char16_t* InstallWorker::StripMessageId(const char16_t* text) {
  if (!text || text[0] != u'$') return text;
  for (const char16_t* p = text + 1; *p != 0; ++p)
    if (*p == u'$') return p + 1;
  return text;
}

InstallWorker::VersionVerdict InstallWorker::CheckVersions(const CopyJob& job,
                                                          std::u16string_view relative) {
  const char16_t* extension = GetExtension(job.destination);
  if (version_check_ != 1 || (CompareWideNoCase(extension, u"exe") != 0 &&
                              CompareWideNoCase(extension, u"dll") != 0))
    return VersionVerdict::kCopy;
  // The installed file is looked at once the files before it are in
  // place, and the verdict's report follows theirs.
  if (!TakeTurn(job)) return VersionVerdict::kFailed;
  std::u16string name;
  os::Handle parent = tree_->OpenParent(relative, false, &name);
  os::EntryInfo entry;
  const bool present = parent != os::kInvalidHandle && os::GetEntryInfo(parent, name.c_str(), &entry);
  const std::uint32_t error = os::GetLastError();
  if (parent != os::kInvalidHandle) os::CloseTreeFolder(parent);
  if (!present) {
    // Nothing is installed there, or only behind a link, which the copy
    // itself refuses.
    if (error == os::kErrorFileNotFound || error == os::kErrorPathNotFound ||
        error == os::kErrorStoppedOnSymlink || error == os::kErrorDirectory)
      return VersionVerdict::kCopy;
    FailJobWithCode(kOutputOpenFailureFormat, job.destination, error);
    return VersionVerdict::kFailed;
  }
  if (entry.kind != os::EntryKind::kFile) return VersionVerdict::kCopy;

  // Two records are too large for the stack of a small worker thread.
  std::unique_ptr<VersionInfo> installed(new (std::nothrow) VersionInfo);
  std::unique_ptr<VersionInfo> offered(new (std::nothrow) VersionInfo);
  if (!installed || !offered) {
    FailJob(kBufferFailureFormat, job.source, nullptr);
    return VersionVerdict::kFailed;
  }
  const VersionRead has = ReadVersion(job.destination, installed.get());
  if (has == VersionRead::kFailed) {
    FailJobWithCode(kOutputOpenFailureFormat, job.destination, os::GetLastError());
    return VersionVerdict::kFailed;
  }
  if (has == VersionRead::kNone) return VersionVerdict::kCopy;
  // The patch's file without a version replaces the installed one.
  const VersionRead offers = ReadVersion(job.source, offered.get());
  if (offers == VersionRead::kFailed) {
    FailJobWithCode(kSourceOpenFailureFormat, job.source, os::GetLastError());
    return VersionVerdict::kFailed;
  }
  return offers == VersionRead::kRead && installed->Number() > offered->Number()
             ? VersionVerdict::kKeep
             : VersionVerdict::kCopy;
}


std::int32_t InstallWorker::Report() {
  return callback_ ? callback_(user_, &status_) : 1;
}

void InstallWorker::ReportFailure() {
  // A reader and a writer failing together still give one failed report.
  if (ExchangeAcqRel(report_taken_, 1) != 0) return;
  StoreRelease(status_.failed, 1);
  Report();
}

void InstallWorker::FailJob(const char16_t* format, const char16_t* argument,
                            const char16_t* detail) {
  FormatWide(status_.message, kWorkerMessageCapacity, StripMessageId(format), argument,
             detail ? detail : u"");
  ReportFailure();
}

void InstallWorker::FailJobWithCode(const char16_t* format, const char16_t* argument,
                                    std::uint32_t code) {
  // The system's texts can be long; the message keeps what fits.
  auto* text = new (std::nothrow) char16_t[kErrorTextCapacity];
  if (text && os::GetErrorText(code, text, kErrorTextCapacity) == 0) text[0] = 0;
  FailJob(format, argument, text);
  delete[] text;
}

bool InstallWorker::FailFile(const CopyJob& job, std::uint32_t code) {
  StopRun();
  FailJobWithCode(kOutputOpenFailureFormat, job.destination, code);
  return false;
}

void InstallWorker::FailTransfer(std::uint32_t error_code, const char16_t* fallback_format) {
  StopRun();
  if (error_code == 0 ||
      os::GetErrorText(error_code, status_.message, kSystemTextLimit) == 0) {
    const bool reading = fallback_format == kShortReadFormat;
    FormatWide(status_.message, kWorkerMessageCapacity, fallback_format,
               reading ? status_.source : status_.destination);
  }
  ReportFailure();
}

// --- waiting and waking --------------------------------------------------------

bool InstallWorker::Stopped() { return LoadAcquire(abort_) || LoadAcquire(finishing_); }

void InstallWorker::StopRun() {
  StoreRelease(abort_, 1);
  WakeAll();
}

template <typename Ready>
bool InstallWorker::SleepUntil(Sleeper& self, Ready ready) {
  for (;;) {
    if (Stopped()) return false;
    if (ready()) return true;
    // Said before the last look: whoever changes what this thread waits
    // for after that look sees that it must wake it.
    StoreRelease(self.waiting, 1);
    FullFence();
    if (!Stopped() && !ready()) self.thread->Wait(kWakeEvent, os::kInfinite);
    StoreRelease(self.waiting, 0);
  }
}

void InstallWorker::Wake(Sleeper& other) {
  FullFence();
  if (ExchangeAcqRel(other.waiting, 0) != 0) other.thread->SetEvent(kWakeEvent);
}

void InstallWorker::WakeAll() {
  for (Sleeper* sleeper : {&main_, &reader_, &writer_}) Wake(*sleeper);
}

void InstallWorker::HandOver(std::size_t index, std::int32_t state, Sleeper& other) {
  StoreRelease(slots_[index].state, state);
  Wake(other);
}

// --- main worker thread -----------------------------------------------------

void InstallWorker::MainProc(qvThread*, void* self) {
  static_cast<InstallWorker*>(self)->RunMain();
}

// The flags start cleared and a worker runs once: a stop asked for before
// this thread began still holds.
void InstallWorker::RunMain() {
  reader_.thread = CreateWorkerThread();
  writer_.thread = CreateWorkerThread();
  const bool threads = reader_.thread && writer_.thread &&
                       reader_.thread->Start(this, ReaderProc) &&
                       writer_.thread->Start(this, WriterProc);

  std::uint64_t total = 0;
  for (const CopyJob& job : queue_) total += qvFile::GetSize64Of(job.source);
  status_.total_size = total;
  ReleaseBuffers();

  if (!threads) {
    FailJob(kThreadFailureFormat, queue_.empty() ? u"" : queue_.front().source, nullptr);
  } else if (!refused_path_.empty()) {
    // Nothing is copied when a path could not be queued whole.
    FailJob(kPathTooLongFormat, refused_path_.c_str(), nullptr);
  } else {
    bool completed = true;
    for (std::size_t index = 0; completed && index < queue_.size(); ++index)
      completed = CopyOne(queue_[index], index);
    // The last files handed on may still be in the ring.
    if (completed && Settle() && staged_files_ > 0) FlushStagedFiles();
  }
  Finish();
}

bool InstallWorker::Settle() {
  // When the system copies, the reader is woken for two files at a time;
  // it may not know of the last one handed on.
  if (copy_mode_ == CopyMode::kSystem) Wake(reader_);
  return SleepUntil(main_, [this] { return LoadAcquire(files_closed_) == files_opened_; });
}

void InstallWorker::NameInStatus(const CopyJob& job) {
  CopyWide(status_.source, kWorkerPathCapacity, job.source);
  CopyWide(status_.destination, kWorkerPathCapacity, job.destination);
  status_.flag = job.flag;
}

bool InstallWorker::TakeTurn(const CopyJob& job) {
  if (!Settle()) return false;
  NameInStatus(job);
  return true;
}

InstallWorker::FileInFlight* InstallWorker::NextFile() {
  const bool room = SleepUntil(
      main_, [this] { return files_opened_ - LoadAcquire(files_closed_) < kFilesInFlight; });
  return room ? &files_[files_opened_ % kFilesInFlight] : nullptr;
}

void InstallWorker::StartInStatus(const FileInFlight& file) {
  NameInStatus(queue_[file.job]);
  StoreRelease(status_.current_size, file.size);
  StoreRelease(status_.current_written, std::uint64_t{0});
}

bool InstallWorker::CopyOne(const CopyJob& job, std::size_t index) {
  std::u16string relative;
  if (!tree_ || !tree_->RelativeOf(job.destination, &relative)) {
    if (TakeTurn(job))
      FailJobWithCode(kOutputOpenFailureFormat, job.destination, os::kErrorAccessDenied);
    return false;
  }

  const VersionVerdict verdict = CheckVersions(job, relative);
  if (verdict == VersionVerdict::kFailed) return false;
  if (verdict == VersionVerdict::kKeep) {
    const std::uint64_t size = qvFile::GetSize64Of(job.source);
    AddAcqRel(status_.total_done, size);
    StoreRelease(status_.current_size, size);
    StoreRelease(status_.current_written, std::uint64_t{0});
    if (Report() == 0) {
      StoreRelease(abort_, 1);
      return false;
    }
    return true;
  }

  FileInFlight* file = NextFile();
  if (!file) return false;
  file->job = index;
  const bool system_copy = copy_mode_ == CopyMode::kSystem;
  const int unbuffered = system_copy ? 0 : PrepareBuffers(job);
  if (unbuffered < 0) {
    if (TakeTurn(job)) FailJob(kBufferFailureFormat, job.source, nullptr);
    return false;
  }
  // A folder does not open as a file; only then is it asked what it is,
  // which costs as much as the open itself.
  const bool source_open = OpenSource(*file, index, unbuffered == 1);
  const std::uint32_t source_error = os::GetLastError();
  if (!source_open && GetPathKind(job.source) == 2)
    return TakeTurn(job) && CopyFolder(job, relative, index);
  if (!OpenDestination(*file, job, relative, index, source_open, source_error)) return false;

  // The times are part of the file; they are taken with the size, before
  // the copy reads the source.
  if (!os::GetFileSizeAndTimes(file->source, &file->size, &file->created, &file->accessed,
                               &file->written)) {
    const std::uint32_t error = os::GetLastError();
    if (TakeTurn(job)) FailJobWithCode(kSourceOpenFailureFormat, job.source, error);
    return false;
  }
  file->unbuffered = unbuffered == 1;

  // The reader has the system copy the file while this thread opens the
  // next ones; the later sources are asked into the cache meanwhile.
  if (system_copy) ReadAhead(index);
  StoreRelease(files_opened_, files_opened_ + 1);
  // A reader that copies faster than files are opened would otherwise be
  // woken for every file; it is woken once two wait, or when this thread
  // waits for it (Settle; NextFile waits only with more in flight).
  if (!system_copy || files_opened_ - LoadAcquire(files_closed_) >= kWakeBatch) Wake(reader_);
  return !Stopped();
}

bool InstallWorker::CopyFolder(const CopyJob& job, std::u16string_view relative,
                               std::size_t index) {
  // A folder with a staged path is made there, inside a folder that is new
  // to the game and moves in whole.
  const std::u16string_view staged = StagedPathOf(index);
  const os::Handle base = staged.empty() ? tree_->Root() : StagingFolder();
  const os::Handle folder =
      base == os::kInvalidHandle
          ? os::kInvalidHandle
          : os::OpenTreeFolder(base, std::u16string(staged.empty() ? relative : staged).c_str(),
                               true);
  if (folder == os::kInvalidHandle) {
    char16_t parent[kWorkerPathCapacity];
    GetParentPath(job.destination, parent, kWorkerPathCapacity);
    FailJob(kFolderFailureFormat, parent, nullptr);
    return false;
  }
  os::CloseTreeFolder(folder);
  if (staged.empty()) {
    std::u16string name;
    os::Handle parent = tree_->OpenParent(relative, false, &name);
    os::SetEntryAttributes(parent, name.c_str(), os::kAttrArchive);
    os::CloseTreeFolder(parent);
  } else {
    const std::size_t cut = staged.rfind(u'\\');
    const os::Handle parent = cut == std::u16string_view::npos
                                  ? StagingFolder()
                                  : StagedSubfolder(staged.substr(0, cut));
    os::SetEntryAttributes(parent, std::u16string(staged.substr(cut + 1)).c_str(),
                           os::kAttrArchive);
  }
  return LoadAcquire(abort_) == 0;
}

bool InstallWorker::CompleteFile(FileInFlight& file) {
  const CopyJob& job = queue_[file.job];
  // A file that cannot be given its times is not installed.
  if (!os::SetFileTimes(file.destination.File(), &file.created, &file.accessed, &file.written))
    return FailFile(job, os::GetLastError());
  // Staged files are flushed together at the end of the run.
  const bool staging = !staging_folder_.empty();
  if (!file.destination.Commit(os::kAttrArchive, !staging))
    return FailFile(job, os::GetLastError());
  if (staging) ++staged_files_;
  CloseFile(file);
  return true;
}

bool InstallWorker::CloseFile(FileInFlight& file) {
  if (file.source != os::kInvalidHandle) os::CloseFile(file.source);
  file.source = os::kInvalidHandle;
  return file.destination.Discard();
}

void InstallWorker::DropUnfinishedFiles() {
  for (std::size_t age = 0; age < kFilesInFlight; ++age) {
    FileInFlight& file = files_[(files_closed_ + age) % kFilesInFlight];
    if (!CloseFile(file))
      FailJobWithCode(kOutputOpenFailureFormat, queue_[file.job].destination, os::GetLastError());
  }
}

bool InstallWorker::FlushStagedFiles() {
  const bool flushed = os::FlushTreeFiles(staging_handle_);
  const std::uint32_t code = os::GetLastError();
  // The status still names the last job, whose output is among those that
  // did not reach the disk.
  if (!flushed) FailJobWithCode(kOutputOpenFailureFormat, status_.destination, code);
  return flushed;
}

void InstallWorker::Finish() {
  StoreRelease(finishing_, 1);
  WakeAll();
  for (Sleeper* sleeper : {&reader_, &writer_}) {
    if (sleeper->thread) sleeper->thread->WaitForExit();
  }
  DestroyWorkerThread(reader_.thread);
  DestroyWorkerThread(writer_.thread);
  ReleaseBuffers();
  DropUnfinishedFiles();
  CloseOpenedAhead();
  CloseStagedFolders();
  StoreRelease(status_.finished, 1);
  Report();
}

// --- reader --------------------------------------------------------------------

void InstallWorker::ReaderProc(qvThread*, void* self) {
  auto* worker = static_cast<InstallWorker*>(self);
  worker->ReadFiles();
  // The others may wait for what this thread no longer does: they look again.
  worker->WakeAll();
}

void InstallWorker::ReadFiles() {
  if (copy_mode_ == CopyMode::kSystem) {
    CopyFiles();
    return;
  }
  std::size_t slot = 0;
  for (std::size_t next = 0;; ++next) {
    if (!SleepUntil(reader_, [&] { return LoadAcquire(files_opened_) > next; })) return;
    if (!ReadOneFile(files_[next % kFilesInFlight], slot)) return;
  }
}

void InstallWorker::CopyFiles() {
  for (std::size_t next = 0;; ++next) {
    if (!SleepUntil(reader_, [&] { return LoadAcquire(files_opened_) > next; })) return;
    FileInFlight& file = files_[next % kFilesInFlight];
    StartInStatus(file);
    // A stop asked for on the last report still keeps the file whole.
    if (!CopyInSystem(file) || !CompleteFile(file)) return;
    StoreRelease(files_closed_, files_closed_ + 1);
    // Likewise the main worker thread, when it opens faster than files are
    // copied: it is woken once two places are free, or none is taken, which
    // is what Settle waits for. The reader sleeps only with none taken.
    if (LoadAcquire(files_opened_) - files_closed_ <= kFilesInFlight - kWakeBatch) Wake(main_);
    if (LoadAcquire(abort_)) return;
  }
}

bool InstallWorker::ReadOneFile(const FileInFlight& file, std::size_t& slot) {
  // Taken first: once the last slot is handed over, the file may be
  // complete and its place in flight taken by another.
  const os::Handle source = file.source;
  const std::uint64_t size = file.size;
  const bool unbuffered = file.unbuffered;
  // An empty file still passes through one slot, which ends it.
  std::uint64_t done = 0;
  do {
    const std::size_t i = slot;
    if (!SleepUntil(reader_, [&] { return LoadAcquire(slots_[i].state) == kSlotEmpty; }))
      return false;
    slot = (slot + 1) % count_;
    BufferSlot& target = slots_[i];
    const std::uint64_t remaining = size - done;
    const std::uint32_t length =
        remaining < target.capacity ? static_cast<std::uint32_t>(remaining) : target.capacity;
    std::uint32_t request = length;
    // Unbuffered reads move whole sectors; the last one may reach past the end.
    if (remaining <= target.capacity && unbuffered)
      request = (length + sector_size_ - 1) / sector_size_ * sector_size_;

    std::uint32_t got = 0;
    const bool read =
        ReadUpTo(source, static_cast<unsigned char*>(target.data), length, request, &got);
    // A source that shrank while it was copied ends early: what is missing
    // was never read.
    if (!read || got < length) {
      target.read_failed = 1;
      target.read_error = read ? 0 : os::GetLastError();
      target.end_mark = 1;
      HandOver(i, kSlotFull, writer_);
      return false;
    }
    done += length;
    target.read_failed = 0;
    target.end_mark = done >= size ? 1 : 0;
    target.length = length;
    HandOver(i, kSlotFull, writer_);
  } while (done < size);
  return true;
}

// --- writer --------------------------------------------------------------------

void InstallWorker::WriterProc(qvThread*, void* self) {
  auto* worker = static_cast<InstallWorker*>(self);
  worker->WriteFiles();
  worker->WakeAll();
}

void InstallWorker::WriteFiles() {
  std::uint64_t offset = 0;  // of the next slot in its file; 0 begins a file
  for (std::size_t i = 0;; i = (i + 1) % count_) {
    if (!SleepUntil(writer_, [&] { return LoadAcquire(slots_[i].state) == kSlotFull; })) return;
    const BufferSlot& slot = slots_[i];
    // Files leave the ring in the order they entered it.
    FileInFlight& file = files_[files_closed_ % kFilesInFlight];
    if (offset == 0) StartInStatus(file);
    if (slot.read_failed) {
      FailTransfer(slot.read_error, kShortReadFormat);
      return;
    }
    if (hook_) hook_(user_, slot.data, offset, slot.length, &status_);
    if (!WriteSlot(slot, file.destination.File())) return;
    offset += slot.length;
    AddAcqRel(status_.current_written, std::uint64_t{slot.length});
    AddAcqRel(status_.total_done, std::uint64_t{slot.length});

    const bool stop = callback_ && Report() == 0;
    const bool last = slot.end_mark != 0;
    HandOver(i, kSlotEmpty, reader_);
    // A stop keeps a file that is whole.
    if (stop) StopRun();
    if (last) {
      if (!CompleteFile(file)) return;
      StoreRelease(files_closed_, files_closed_ + 1);
      Wake(main_);
      offset = 0;
    }
    if (stop) return;
  }
}

bool InstallWorker::WriteSlot(const BufferSlot& slot, os::Handle destination) {
  const auto* bytes = static_cast<const unsigned char*>(slot.data);
  std::uint32_t written = 0;
  while (written < slot.length) {
    std::uint32_t step = 0;
    const bool ok = os::WriteFile(destination, bytes + written, slot.length - written, &step);
    if (!ok || step == 0) {
      // A write that moves nothing without an error means the disk is full.
      const std::uint32_t code = ok ? os::kErrorDiskFull : os::GetLastError();
      FailTransfer(code, kShortWriteFormat);
      return false;
    }
    written += step;
  }
  return true;
}

bool InstallWorker::CopyInSystem(FileInFlight& file) {
  // An empty file still gets its one progress report, as through the ring.
  std::uint64_t done = 0;
  do {
    if (Stopped()) return false;
    const std::uint64_t remaining = file.size - done;
    const std::uint32_t chunk =
        remaining < kSystemCopyChunk ? static_cast<std::uint32_t>(remaining) : kSystemCopyChunk;
    std::uint32_t moved = 0;
    if (chunk > 0 && !os::CopyFileData(file.source, file.destination.File(), chunk, &moved)) {
      FailTransfer(os::GetLastError(), kShortWriteFormat);
      return false;
    }
    // The source shrank while it was copied: what is missing was never read.
    if (chunk > 0 && moved == 0) {
      FailTransfer(0, kShortReadFormat);
      return false;
    }
    done += moved;
    AddAcqRel(status_.current_written, std::uint64_t{moved});
    AddAcqRel(status_.total_done, std::uint64_t{moved});
    if (callback_ && Report() == 0) {
      StoreRelease(abort_, 1);
      return done == file.size;
    }
  } while (done < file.size);
  return true;
}
