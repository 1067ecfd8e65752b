// Files and links in a tree folder: created, opened, renamed, deleted and
// changed by name relative to the folder, never through a link. The
// Windows rules that the other POSIX operations reproduce apply here too:
// share modes of open handles, read-only files, folders that cannot be
// replaced.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "os/fault.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_stat.h"
#include "os/posix/open_files.h"
#include "os/posix/tree_folder.h"
#include "os/tree.h"

namespace os {
namespace {

// The folder's descriptor and the entry's UTF-8 name, or false.
bool Resolve(Handle folder, const char16_t* name, int* fd, std::string* native) {
  *fd = posix::FolderDescriptor(folder);
  return *fd >= 0 && posix::EntryName(name, native);
}

// Resolve, and the entry's status, a link not followed.
bool ResolveEntry(Handle folder, const char16_t* name, int* fd, std::string* native,
                  posix::EntryStat* entry) {
  if (!Resolve(folder, name, fd, native)) return false;
  if (posix::StatEntry(*fd, native->c_str(), entry)) return true;
  posix::SetEntryError(errno);
  return false;
}

bool Fail(std::uint32_t code) {
  SetLastError(code);
  return false;
}

Handle Register(int fd, std::uint32_t access, std::uint32_t share, std::uint32_t flags) {
  struct stat info;
  if (fstat(fd, &info) != 0) {
    posix::SetErrnoError(errno);
    close(fd);
    return kInvalidHandle;
  }
  if (!S_ISREG(info.st_mode)) {
    close(fd);
    SetLastError(kErrorAccessDenied);
    return kInvalidHandle;
  }
  if (!posix::RegisterOpenFile({fd, info.st_dev, info.st_ino, access, share, false})) {
    close(fd);
    SetLastError(kErrorSharingViolation);
    return kInvalidHandle;
  }
  if ((flags & kFlagSequentialScan) && (access & kAccessRead))
    posix::AdviseSequential(fd, info.st_size);
  SetLastError(kErrorSuccess);
  return fd;
}

// Windows refuses to replace or delete a file that a handle holds, since
// none of them shares deletion.
bool IsHeld(const struct stat& info) {
  return S_ISREG(info.st_mode) && posix::IsFileOpen(info.st_dev, info.st_ino);
}

}  // namespace

Handle CreateFileIn(Handle folder, const char16_t* name, std::uint32_t flags) {
  if (FaultInjected(FileOp::kOpen)) return kInvalidHandle;
  int fd;
  std::string native;
  if (!Resolve(folder, name, &fd, &native)) return kInvalidHandle;
  int file = openat(fd, native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (file < 0) {
    if (errno == EEXIST) SetLastError(kErrorFileExists);
    else posix::SetEntryError(errno);
    return kInvalidHandle;
  }
  return Register(file, kAccessWrite, kShareNone, flags);
}

bool ProbeNewFile(Handle folder) {
  if (FaultInjected(FileOp::kOpen)) return false;
  const int fd = posix::FolderDescriptor(folder);
  if (fd < 0) return false;
#ifdef O_TMPFILE
  int file = openat(fd, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0600);
  if (file >= 0) {
    close(file);
    return true;
  }
  // EISDIR and EOPNOTSUPP: the kernel or the file system has no unnamed files.
  if (errno != EISDIR && errno != EOPNOTSUPP) {
    posix::SetEntryError(errno);
    return false;
  }
#endif
  const std::string name = ".~qvprobe" + std::to_string(getpid());
  int named = openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (named < 0) {
    posix::SetEntryError(errno);
    return false;
  }
  unlinkat(fd, name.c_str(), 0);
  close(named);
  return true;
}

Handle OpenFileIn(Handle folder, const char16_t* name, std::uint32_t flags) {
  if (FaultInjected(FileOp::kOpen)) return kInvalidHandle;
  int fd;
  std::string native;
  if (!Resolve(folder, name, &fd, &native)) return kInvalidHandle;
  // O_NONBLOCK keeps a pipe from waiting for a writer; Register refuses it.
  int file = openat(fd, native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) {
    posix::SetEntryError(errno);
    return kInvalidHandle;
  }
  int status = fcntl(file, F_GETFL);
  if (status >= 0) fcntl(file, F_SETFL, status & ~O_NONBLOCK);
  return Register(file, kAccessRead, kShareRead, flags);
}

bool RenameEntry(Handle from_folder, const char16_t* from_name, Handle to_folder,
                 const char16_t* to_name) {
  if (FaultInjected(FileOp::kRename)) return false;
  int from_fd, to_fd;
  std::string from, to;
  posix::EntryStat source, target;
  if (!ResolveEntry(from_folder, from_name, &from_fd, &from, &source) ||
      !Resolve(to_folder, to_name, &to_fd, &to))
    return false;
  if (IsHeld(source.info)) return Fail(kErrorSharingViolation);
  if (posix::StatEntry(to_fd, to.c_str(), &target)) {
    const bool folder = S_ISDIR(target.info.st_mode) || target.link_to_folder;
    if (folder || (S_ISREG(target.info.st_mode) && posix::IsReadOnly(target.info)))
      return Fail(kErrorAccessDenied);
    if (IsHeld(target.info)) return Fail(kErrorSharingViolation);
  }
  if (renameat(from_fd, from.c_str(), to_fd, to.c_str()) != 0) {
    posix::SetEntryError(errno);
    return false;
  }
  return true;
}

bool FlushTreeFolder(Handle folder) {
  if (FaultInjected(FileOp::kFlush)) return false;
  int fd = posix::FolderDescriptor(folder);
  if (fd < 0) return false;
  if (!FlushesReachDisk()) return true;
  // Some file systems cannot sync a folder (EINVAL); their entries need
  // nothing more.
  if (fsync(fd) == 0 || errno == EINVAL) return true;
  posix::SetErrnoError(errno);
  return false;
}

bool FlushTreeFolders(const Handle* folders, std::size_t count) {
  if (FaultInjected(FileOp::kFlush)) return false;
  std::vector<dev_t> synced;
  for (std::size_t i = 0; i < count; ++i) {
    const int fd = posix::FolderDescriptor(folders[i]);
    struct stat info;
    if (fd < 0) return false;
    if (fstat(fd, &info) != 0) {
      posix::SetErrnoError(errno);
      return false;
    }
    if (!FlushesReachDisk() ||
        std::find(synced.begin(), synced.end(), info.st_dev) != synced.end())
      continue;
    if (syncfs(fd) != 0) {
      posix::SetErrnoError(errno);
      return false;
    }
    synced.push_back(info.st_dev);
  }
  return true;
}

bool FlushTreeFiles(Handle folder) {
  if (FaultInjected(FileOp::kFlush)) return false;
  int fd = posix::FolderDescriptor(folder);
  if (fd < 0) return false;
  if (!FlushesReachDisk()) return true;
  // One journal commit for every file instead of one per file.
  if (syncfs(fd) == 0) return true;
  posix::SetErrnoError(errno);
  return false;
}

bool DeleteEntry(Handle folder, const char16_t* name) {
  if (FaultInjected(FileOp::kDelete)) return false;
  int fd;
  std::string native;
  posix::EntryStat entry;
  if (!ResolveEntry(folder, name, &fd, &native, &entry)) return false;
  const struct stat& info = entry.info;
  if (S_ISDIR(info.st_mode) || (S_ISREG(info.st_mode) && posix::IsReadOnly(info)))
    return Fail(kErrorAccessDenied);
  if (IsHeld(info)) return Fail(kErrorSharingViolation);
  if (unlinkat(fd, native.c_str(), 0) != 0) {
    posix::SetEntryError(errno);
    return false;
  }
  return true;
}

bool RemoveFolderIn(Handle folder, const char16_t* name) {
  if (FaultInjected(FileOp::kRemoveFolder)) return false;
  int fd;
  std::string native;
  posix::EntryStat entry;
  if (!ResolveEntry(folder, name, &fd, &native, &entry)) return false;
  if (entry.link) return Fail(kErrorStoppedOnSymlink);
  if (!S_ISDIR(entry.info.st_mode)) return Fail(kErrorDirectory);
  if (unlinkat(fd, native.c_str(), AT_REMOVEDIR) != 0) {
    if (errno == ENOTEMPTY || errno == EEXIST) return Fail(kErrorDirNotEmpty);
    posix::SetEntryError(errno);
    return false;
  }
  return true;
}

namespace {

// The entry for a change of its own attributes or times: never a link.
bool StatForChange(Handle folder, const char16_t* name, int* fd, std::string* native,
                   posix::EntryStat* entry) {
  return ResolveEntry(folder, name, fd, native, entry) &&
         (!entry->link || Fail(kErrorStoppedOnSymlink));
}

}  // namespace

bool SetEntryAttributes(Handle folder, const char16_t* name, std::uint32_t attributes) {
  if (FaultInjected(FileOp::kSetAttributes)) return false;
  int fd;
  std::string native;
  posix::EntryStat entry;
  if (!StatForChange(folder, name, &fd, &native, &entry)) return false;
  const struct stat& info = entry.info;
  if (!S_ISREG(info.st_mode)) return true;  // as SetFileAttributes: folders keep theirs
  mode_t mode = posix::ModeForAttributes(info.st_mode, attributes);
  if (mode != (info.st_mode & 07777) && fchmodat(fd, native.c_str(), mode, 0) != 0) {
    posix::SetEntryError(errno);
    return false;
  }
  return true;
}

bool SetEntryTimes(Handle folder, const char16_t* name, const FileTime* creation,
                   const FileTime* last_access, const FileTime* last_write) {
  if (FaultInjected(FileOp::kSetTimes)) return false;
  int fd;
  std::string native;
  posix::EntryStat entry;
  if (!StatForChange(folder, name, &fd, &native, &entry)) return false;
  timespec times[2];
  posix::TimesForUpdate(last_access, last_write, times);
  if (utimensat(fd, native.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    posix::SetEntryError(errno);
    return false;
  }
  return true;
}

}  // namespace os
