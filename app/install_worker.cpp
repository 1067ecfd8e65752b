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
#include "util/memory.h"
#include "util/path.h"
#include "util/thread.h"
#include "util/version_info.h"
#include "base/wide_string.h"

namespace {

// Event keys of the worker's threads: the per-file rendezvous, a change of
// slot state (reader and writer), and the reader letting go of the current
// file's buffers (main worker thread).
constexpr std::uint32_t kFileEvent = 0;
constexpr std::uint32_t kSlotEvent = 1;
constexpr std::uint32_t kReaderDoneEvent = 2;

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
  if (thread) {
    thread->AddEvent(kFileEvent, 0, 0);
    thread->AddEvent(kSlotEvent, 0, 0);
    thread->AddEvent(kReaderDoneEvent, 0, 0);
  }
  return thread;
}

void DestroyWorkerThread(qvThread*& thread) {
  if (!thread) return;
  thread->Destroy();
  delete thread;
  thread = nullptr;
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
  if (main_thread_) {
    // The threads see it at their next slot change; the thread objects
    // belong to the main worker thread until it ends.
    StoreRelease(abort_, 1);
    main_thread_->WaitForExit();
    DestroyWorkerThread(main_thread_);
  }
  ReleaseBuffers();
  PrivateFree(slots_);
}

void InstallWorker::SetVersionCheck(int mode) { version_check_ = mode; }

void InstallWorker::SetDestinationTree(const confine::Tree* tree) { tree_ = tree; }

void InstallWorker::SetStagingFolder(std::u16string_view folder) { staging_folder_ = folder; }

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
  main_thread_ = CreateWorkerThread();
  if (main_thread_ && main_thread_->Start(this, MainProc)) return 1;
  DestroyWorkerThread(main_thread_);
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

void InstallWorker::WakeSlotWaiters() {
  if (reader_thread_) reader_thread_->SetEvent(kSlotEvent);
  if (writer_thread_) writer_thread_->SetEvent(kSlotEvent);
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

void InstallWorker::FailTransfer(std::uint32_t error_code, const char16_t* fallback_format) {
  StoreRelease(error_, 1);
  StoreRelease(abort_, 1);
  WakeSlotWaiters();
  if (error_code == 0 ||
      os::GetErrorText(error_code, status_.message, kSystemTextLimit) == 0) {
    const bool reading = fallback_format == kShortReadFormat;
    FormatWide(status_.message, kWorkerMessageCapacity, fallback_format,
               reading ? status_.source : status_.destination);
  }
  ReportFailure();
}

// --- main worker thread -----------------------------------------------------

void InstallWorker::MainProc(qvThread*, void* self) {
  static_cast<InstallWorker*>(self)->RunMain();
}

// The flags start cleared and a worker runs once: a stop asked for before
// this thread began still holds.
void InstallWorker::RunMain() {
  reader_thread_ = CreateWorkerThread();
  writer_thread_ = CreateWorkerThread();
  const bool threads = reader_thread_ && writer_thread_ &&
                       reader_thread_->Start(this, ReaderProc) &&
                       writer_thread_->Start(this, WriterProc);

  ZeroBytes(&status_, sizeof status_);
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
    if (completed && staged_files_ > 0) FlushStagedFiles();
  }
  Finish();
}

bool InstallWorker::CopyOne(const CopyJob& job, std::size_t index) {
  CopyWide(status_.source, kWorkerPathCapacity, job.source);
  CopyWide(status_.destination, kWorkerPathCapacity, job.destination);
  status_.flag = job.flag;

  std::u16string relative;
  if (!tree_ || !tree_->RelativeOf(job.destination, &relative)) {
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

  const bool system_copy = copy_mode_ == CopyMode::kSystem;
  const int unbuffered = system_copy ? 0 : PrepareBuffers(job.source);
  if (unbuffered < 0) {
    FailJob(kBufferFailureFormat, job.source, nullptr);
    return false;
  }
  // A folder does not open as a file; only then is it asked what it is,
  // which costs as much as the open itself.
  const bool source_open = OpenSource(index, unbuffered == 1);
  const std::uint32_t source_error = os::GetLastError();
  if (!source_open && GetPathKind(job.source) == 2) return CopyFolder(job, relative);
  if (!OpenDestination(job, relative, index, source_open, source_error)) return false;

  // The times are part of the file; they are taken with the size, before
  // the copy reads the source.
  std::uint64_t size = 0;
  os::FileTime created, accessed, written;
  if (!os::GetFileSizeAndTimes(source_, &size, &created, &accessed, &written)) {
    FailJobWithCode(kSourceOpenFailureFormat, job.source, os::GetLastError());
    return false;
  }
  StoreRelease(status_.current_size, size);
  StoreRelease(status_.current_written, std::uint64_t{0});
  unbuffered_ = unbuffered;

  if (system_copy) {
    // Nothing to hand over: this thread has the system copy the file, with
    // no wake-up of another thread per file.
    ReadAhead(index);
    CopyInSystem();
  } else {
    reader_thread_->SetEvent(kFileEvent);
    writer_thread_->SetEvent(kFileEvent);
    // The writer reports the file complete or stopped; the reader must
    // also have let go of the buffers before they are released.
    main_thread_->Wait(kFileEvent, os::kInfinite);
    main_thread_->Wait(kReaderDoneEvent, os::kInfinite);
  }
  if (LoadAcquire(error_)) return false;
  // A file stopped half-way is dropped; the installed one stays whole. A
  // staged file that cannot be dropped would be taken for a complete one.
  if (LoadAcquire(abort_) && LoadAcquire(status_.current_written) != size) {
    if (!staged_.Discard())
      FailJobWithCode(kOutputOpenFailureFormat, job.destination, os::GetLastError());
    return false;
  }
  // A file that cannot be given its times is not installed.
  if (!os::SetFileTimes(destination_, &created, &accessed, &written)) {
    FailJobWithCode(kOutputOpenFailureFormat, job.destination, os::GetLastError());
    return false;
  }
  // Staged files are flushed together at the end of the run.
  const bool staging = !staging_folder_.empty();
  if (!staged_.Commit(os::kAttrArchive, !staging)) {
    FailJobWithCode(kOutputOpenFailureFormat, job.destination, os::GetLastError());
    return false;
  }
  if (staging) ++staged_files_;
  ClosePair();
  return LoadAcquire(abort_) == 0;
}

bool InstallWorker::CopyFolder(const CopyJob& job, std::u16string_view relative) {
  ClosePair();
  os::Handle folder = os::OpenTreeFolder(tree_->Root(), std::u16string(relative).c_str(), true);
  if (folder == os::kInvalidHandle) {
    char16_t parent[kWorkerPathCapacity];
    GetParentPath(job.destination, parent, kWorkerPathCapacity);
    FailJob(kFolderFailureFormat, parent, nullptr);
    return false;
  }
  os::CloseTreeFolder(folder);
  std::u16string name;
  os::Handle parent = tree_->OpenParent(relative, false, &name);
  os::SetEntryAttributes(parent, name.c_str(), os::kAttrArchive);
  os::CloseTreeFolder(parent);
  return LoadAcquire(abort_) == 0;
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
  for (qvThread* thread : {reader_thread_, writer_thread_}) {
    if (!thread) continue;
    thread->SetEvent(kFileEvent);
    thread->SetEvent(kSlotEvent);
  }
  if (reader_thread_) reader_thread_->WaitForExit();
  if (writer_thread_) writer_thread_->WaitForExit();
  DestroyWorkerThread(reader_thread_);
  DestroyWorkerThread(writer_thread_);
  ReleaseBuffers();
  ClosePair();
  CloseOpenedAhead();
  if (staging_handle_ != os::kInvalidHandle) os::CloseTreeFolder(staging_handle_);
  staging_handle_ = os::kInvalidHandle;
  StoreRelease(status_.finished, 1);
  Report();
}

// --- slots -------------------------------------------------------------------

bool InstallWorker::WaitForSlot(std::size_t index, std::int32_t state, qvThread* self) {
  for (;;) {
    if (LoadAcquire(slots_[index].state) == state) return true;
    if (LoadAcquire(abort_) || LoadAcquire(error_)) return false;
    self->Wait(kSlotEvent, os::kInfinite);
  }
}

void InstallWorker::SetSlotState(std::size_t index, std::int32_t state, qvThread* other) {
  StoreRelease(slots_[index].state, state);
  other->SetEvent(kSlotEvent);
}

// --- reader --------------------------------------------------------------------

void InstallWorker::ReaderProc(qvThread*, void* self) {
  auto* worker = static_cast<InstallWorker*>(self);
  worker->ServeFiles(worker->reader_thread_, worker->writer_thread_, kReaderDoneEvent,
                     &InstallWorker::ReadOneFile);
}

void InstallWorker::ServeFiles(qvThread* self, qvThread* partner, std::uint32_t done_event,
                               void (InstallWorker::*transfer)()) {
  // Every file the main thread starts is answered, also when the other
  // thread failed or stopped the run meanwhile (nothing is moved then);
  // only Finish ends the loop, so the main thread never waits for a thread
  // that is gone.
  for (;;) {
    self->Wait(kFileEvent, os::kInfinite);
    if (LoadAcquire(finishing_)) return;
    (this->*transfer)();
    // A partner that waits for a slot this thread no longer serves re-checks.
    partner->SetEvent(kSlotEvent);
    main_thread_->SetEvent(done_event);
  }
}

void InstallWorker::ReadOneFile() {
  const std::uint64_t size = LoadAcquire(status_.current_size);
  if (size == 0) {
    slots_[0].length = 0;
    slots_[0].end_mark = 1;
    SetSlotState(0, 0, writer_thread_);
    return;
  }
  std::uint64_t done = 0;
  for (std::size_t i = 0; done < size; i = (i + 1) % count_) {
    if (!WaitForSlot(i, 1, reader_thread_) || LoadAcquire(abort_)) return;
    BufferSlot& slot = slots_[i];
    const std::uint64_t remaining = size - done;
    const std::uint32_t length =
        remaining < slot.capacity ? static_cast<std::uint32_t>(remaining) : slot.capacity;
    std::uint32_t request = length;
    // Unbuffered reads move whole sectors; the last one may reach past the end.
    if (remaining <= slot.capacity && unbuffered_)
      request = (length + sector_size_ - 1) / sector_size_ * sector_size_;

    auto* bytes = static_cast<unsigned char*>(slot.data);
    std::uint32_t got = 0;
    while (got < length) {
      std::uint32_t step = 0;
      if (!os::ReadFile(source_, bytes + got, request - got, &step)) {
        FailTransfer(os::GetLastError(), kShortReadFormat);
        return;
      }
      if (step == 0) break;
      got += step;
    }
    // The source shrank while it was copied: what is missing was never read.
    if (got < length) {
      FailTransfer(0, kShortReadFormat);
      return;
    }
    done += length;
    slot.end_mark = done >= size ? 1 : 0;
    slot.length = length;
    SetSlotState(i, 0, writer_thread_);
  }
}

// --- writer --------------------------------------------------------------------

void InstallWorker::WriterProc(qvThread*, void* self) {
  auto* worker = static_cast<InstallWorker*>(self);
  worker->ServeFiles(worker->writer_thread_, worker->reader_thread_, kFileEvent,
                     &InstallWorker::WriteOneFile);
}

void InstallWorker::WriteOneFile() {
  std::uint64_t offset = 0;
  for (std::size_t i = 0;; i = (i + 1) % count_) {
    if (!WaitForSlot(i, 0, writer_thread_)) return;
    if (LoadAcquire(abort_) || LoadAcquire(error_)) return;
    BufferSlot& slot = slots_[i];
    if (hook_) hook_(user_, slot.data, offset, slot.length, &status_);

    const auto* bytes = static_cast<const unsigned char*>(slot.data);
    std::uint32_t written = 0;
    while (written < slot.length) {
      std::uint32_t step = 0;
      const bool ok = os::WriteFile(destination_, bytes + written, slot.length - written, &step);
      if (!ok || step == 0) {
        // A write that moves nothing without an error means the disk is full.
        const std::uint32_t code = ok ? os::kErrorDiskFull : os::GetLastError();
        FailTransfer(code, kShortWriteFormat);
        return;
      }
      written += step;
    }
    offset += written;
    AddAcqRel(status_.current_written, written);
    AddAcqRel(status_.total_done, written);

    if (callback_ && Report() == 0) {
      StoreRelease(abort_, 1);
      WakeSlotWaiters();
      return;
    }
    const bool last = slot.end_mark != 0;
    SetSlotState(i, 1, reader_thread_);
    if (last) return;
  }
}

void InstallWorker::CopyInSystem() {
  const std::uint64_t size = LoadAcquire(status_.current_size);
  // An empty file still gets its one progress report, as through the ring.
  std::uint64_t done = 0;
  do {
    if (LoadAcquire(abort_) || LoadAcquire(error_)) return;
    const std::uint64_t remaining = size - done;
    const std::uint32_t chunk =
        remaining < kSystemCopyChunk ? static_cast<std::uint32_t>(remaining) : kSystemCopyChunk;
    std::uint32_t moved = 0;
    if (chunk > 0 && !os::CopyFileData(source_, destination_, chunk, &moved)) {
      FailTransfer(os::GetLastError(), kShortWriteFormat);
      return;
    }
    // The source shrank while it was copied: what is missing was never read.
    if (chunk > 0 && moved == 0) {
      FailTransfer(0, kShortReadFormat);
      return;
    }
    done += moved;
    AddAcqRel(status_.current_written, std::uint64_t{moved});
    AddAcqRel(status_.total_done, std::uint64_t{moved});
    if (callback_ && Report() == 0) {
      StoreRelease(abort_, 1);
      return;
    }
  } while (done < size);
}
