// The worker's transfer buffers and its pair of open files.
#include "app/install_worker.h"

#include <algorithm>

#include "app/worker_atomics.h"
#include "app/worker_messages.h"
#include "os/folders.h"
#include "os/memory.h"
#include "os/volume.h"
#include "util/path.h"
#include "base/wide_string.h"

namespace {

constexpr std::uint32_t kBufferedCapacity = 2u << 20;
constexpr std::uint64_t kUnbufferedPayload = 1u << 20;
constexpr std::size_t kFullPathCapacity = 260;
// What is asked into the cache of each source opened ahead: small files
// whole, of larger ones what the first copy step takes.
constexpr std::uint32_t kReadAheadBytes = 2u << 20;

bool IsSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

// What names the volume of `source` for the sector-size query: its root
// ("C:\"), or on a system without drive letters, where the root is a bare
// separator, the source's folder. False for a network path ("\\server\...")
// or a path that cannot be made full; such sources are read buffered.
bool VolumeOf(const char16_t* source, char16_t* volume) {
  if (os::GetFullPathName(source, volume, kFullPathCapacity) == 0) return false;
  // Some systems fold a leading "//" into "/" when they make a path full,
  // so the source, not its full path, tells a network path.
  if (IsSeparator(source[0]) && IsSeparator(source[1])) return false;
  std::size_t root_end = 0;
  while (volume[root_end] != 0 && !IsSeparator(volume[root_end])) ++root_end;
  if (volume[root_end] == 0 || IsSeparator(volume[root_end + 1])) return false;
  if (root_end > 0) {
    volume[root_end + 1] = 0;
    return true;
  }
  std::size_t last = 0;
  for (std::size_t i = 0; volume[i] != 0; ++i)
    if (IsSeparator(volume[i])) last = i;
  volume[last == 0 ? 1 : last] = 0;
  return true;
}

}  // namespace

int InstallWorker::PrepareBuffers(const CopyJob& job) {
  if (!slots_) return -1;
  const char16_t* source = job.source;
  std::uint32_t sector = 0;
  char16_t volume[kFullPathCapacity];
  if (unbuffered_capable_ && VolumeOf(source, volume)) {
    // Asking the volume costs system calls; consecutive files share one.
    if (CompareWide(volume, sector_volume_) != 0) {
      CopyWide(sector_volume_, kFullPathCapacity, volume);
      volume_sector_ = os::GetSectorSize(volume);
    }
    sector = volume_sector_;
  }
  std::uint64_t capacity = kBufferedCapacity;
  if (sector != 0) {
    capacity = (sector + kUnbufferedPayload) / sector * sector;
    // A volume that claims absurd sectors is read through the cache.
    if (capacity > 4 * kBufferedCapacity) {
      sector = 0;
      capacity = kBufferedCapacity;
    }
  }
  // Buffers of the right size are kept from the previous file: fresh pages
  // would be cleared by the system for every file again. Others are made
  // once the ring is empty.
  if (slots_[0].capacity == capacity && sector == sector_size_) return sector != 0 ? 1 : 0;
  if (!Settle()) return -1;
  ReleaseBuffers();
  for (std::size_t i = 0; i < count_; ++i) {
    BufferSlot& slot = slots_[i];
    slot.data = os::AllocatePages(capacity);
    // What was allocated goes with the rest at the end of the run.
    if (!slot.data) return -1;
    slot.capacity = static_cast<std::uint32_t>(capacity);
  }
  sector_size_ = sector;
  return sector != 0 ? 1 : 0;
}

void InstallWorker::ReleaseBuffers() {
  if (!slots_) return;
  for (std::size_t i = 0; i < count_; ++i) {
    BufferSlot& slot = slots_[i];
    if (slot.data) os::FreePages(slot.data, slot.capacity);
    slot.data = nullptr;
    slot.capacity = 0;
    slot.length = 0;
    slot.end_mark = 0;
    slot.read_failed = 0;
    slot.read_error = 0;
    StoreRelease(slot.state, 1);
  }
}

bool InstallWorker::BeginStaged(confine::StagedFile& staged, std::u16string_view relative,
                                std::size_t index) {
  if (staging_folder_.empty()) return staged.Begin(*tree_, relative, os::kFlagSequentialScan);
  // The staging folder is the run's own: its files are written under their
  // final names.
  const std::u16string_view path = StagedPathOf(index);
  const std::size_t cut = path.rfind(u'\\');
  if (cut == std::u16string_view::npos)
    return staged.BeginInPlace(StagingFolder(), path.empty() ? StagedName(index) : path,
                               os::kFlagSequentialScan);
  return staged.BeginInPlace(StagedSubfolder(path.substr(0, cut)), path.substr(cut + 1),
                             os::kFlagSequentialScan);
}

std::u16string_view InstallWorker::StagedPathOf(std::size_t index) const {
  return index < staged_paths_.size() ? std::u16string_view(staged_paths_[index]) : u"";
}

// Reached once for the run, not once per file.
os::Handle InstallWorker::StagingFolder() {
  if (staging_handle_ == os::kInvalidHandle)
    staging_handle_ = os::OpenTreeFolder(tree_->Root(), staging_folder_.c_str(), true);
  return staging_handle_;
}

os::Handle InstallWorker::StagedSubfolder(std::u16string_view folder) {
  // The folder asked for when it is held, else the place used longest ago.
  StagedFolder* chosen = &staged_folders_[0];
  for (StagedFolder& held : staged_folders_) {
    if (held.handle != os::kInvalidHandle && held.path == folder) {
      chosen = &held;
      break;
    }
    if (held.last_used < chosen->last_used) chosen = &held;
  }
  chosen->last_used = ++staged_folder_uses_;
  if (chosen->handle != os::kInvalidHandle && chosen->path == folder) return chosen->handle;
  if (chosen->handle != os::kInvalidHandle) os::CloseTreeFolder(chosen->handle);
  const os::Handle staging = StagingFolder();
  chosen->path = folder;
  chosen->handle = staging == os::kInvalidHandle
                       ? os::kInvalidHandle
                       : os::OpenTreeFolder(staging, chosen->path.c_str(), true);
  return chosen->handle;
}

void InstallWorker::CloseStagedFolders() {
  for (StagedFolder& held : staged_folders_) {
    if (held.handle != os::kInvalidHandle) os::CloseTreeFolder(held.handle);
    held.handle = os::kInvalidHandle;
  }
  if (staging_handle_ != os::kInvalidHandle) os::CloseTreeFolder(staging_handle_);
  staging_handle_ = os::kInvalidHandle;
}

bool InstallWorker::OpenSource(FileInFlight& file, std::size_t index, bool unbuffered) {
  OpenedAhead& ahead = ahead_[index % kReadAheadFiles];
  if (ahead.job == index && ahead.handle != os::kInvalidHandle && !unbuffered) {
    file.source = ahead.handle;
    ahead.handle = os::kInvalidHandle;
    return true;
  }
  const std::uint32_t read_flags =
      os::kFlagSequentialScan | (unbuffered ? os::kFlagNoBuffering : 0u);
  file.source = os::OpenFile(queue_[index].source, os::kAccessRead, os::kShareRead,
                             os::kOpenExisting, 0, read_flags);
  return file.source != os::kInvalidHandle;
}

void InstallWorker::ReadAhead(std::size_t index) {
  ahead_end_ = std::max(ahead_end_, index + 1);
  for (; ahead_end_ < queue_.size() && ahead_end_ <= index + kReadAheadFiles; ++ahead_end_) {
    OpenedAhead& ahead = ahead_[ahead_end_ % kReadAheadFiles];
    // Still there when its job was skipped.
    if (ahead.handle != os::kInvalidHandle) os::CloseFile(ahead.handle);
    ahead.job = ahead_end_;
    ahead.handle = os::OpenFile(queue_[ahead_end_].source, os::kAccessRead, os::kShareRead,
                                os::kOpenExisting, 0, os::kFlagSequentialScan);
    // A source that does not open now is opened again in its turn, which
    // reports why; a hint that fails costs nothing but the overlap.
    if (ahead.handle != os::kInvalidHandle)
      os::ReadAheadFile(ahead.handle, 0, kReadAheadBytes);
  }
}

void InstallWorker::CloseOpenedAhead() {
  for (OpenedAhead& ahead : ahead_) {
    if (ahead.handle != os::kInvalidHandle) os::CloseFile(ahead.handle);
    ahead.handle = os::kInvalidHandle;
  }
}

bool InstallWorker::OpenDestination(FileInFlight& file, const CopyJob& job,
                                    std::u16string_view relative, std::size_t index,
                                    bool source_open, std::uint32_t source_error) {
  const bool staged = BeginStaged(file.destination, relative, index);
  const std::uint32_t staged_error = os::GetLastError();
  if (staged && source_open) return true;
  if (!TakeTurn(job)) return false;
  if (!staged && file.destination.FailedStep() == confine::StagedFile::Step::kFolder) {
    char16_t parent[kWorkerPathCapacity];
    GetParentPath(job.destination, parent, kWorkerPathCapacity);
    FailJob(kFolderFailureFormat, parent, nullptr);
  } else if (!source_open) {
    FailJobWithCode(kSourceOpenFailureFormat, job.source, source_error);
  } else {
    FailJobWithCode(kOutputOpenFailureFormat, job.destination, staged_error);
  }
  return false;
}
