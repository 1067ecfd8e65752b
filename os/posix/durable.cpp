// Flushing files and folders, and renaming with the rules of MoveFileExW.
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/durable.h"
#include "os/fault.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_handle.h"
#include "os/posix/file_stat.h"
#include "os/posix/folder_descriptor.h"
#include "os/posix/native_path.h"
#include "os/posix/open_files.h"

namespace os {

bool FlushFile(Handle file) {
  if (FaultInjected(FileOp::kFlush)) return false;
  auto record = posix::LookUpFile(file, kAccessWrite);
  if (!record) return false;
  if (!FlushesReachDisk()) return true;
  if (fsync(record->fd) != 0) {
    posix::SetErrnoError(errno);
    return false;
  }
  return true;
}

bool FlushFolder(const char16_t* folder) {
  if (FaultInjected(FileOp::kFlush)) return false;
  const int fd = posix::OpenFolderDescriptor(folder);
  if (fd < 0) return false;
  if (!FlushesReachDisk()) {
    close(fd);
    return true;
  }
  // Some file systems cannot sync a folder (EINVAL); their entries need
  // nothing more.
  const bool synced = fsync(fd) == 0 || errno == EINVAL;
  if (!synced) posix::SetErrnoError(errno);
  close(fd);
  return synced;
}

bool Rename(const char16_t* from, const char16_t* to) {
  if (FaultInjected(FileOp::kRename)) return false;
  if (!from || !to) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  const std::string source = posix::NativePath(from);
  const std::string target = posix::NativePath(to);
  struct stat moved;
  if (lstat(source.c_str(), &moved) != 0) {
    posix::SetPathError(errno, source);
    return false;
  }
  // No handle of this layer shares deletion, which a move needs.
  if (posix::IsFileOpen(moved.st_dev, moved.st_ino)) {
    SetLastError(kErrorSharingViolation);
    return false;
  }
  struct stat replaced;
  const bool replacing = lstat(target.c_str(), &replaced) == 0 &&
                         !(replaced.st_dev == moved.st_dev && replaced.st_ino == moved.st_ino);
  if (replacing) {
    // rename(2) would also put an empty folder in the place of another;
    // Windows replaces files only.
    const bool refused = S_ISDIR(moved.st_mode) || S_ISDIR(replaced.st_mode) ||
                         (S_ISREG(replaced.st_mode) && posix::IsReadOnly(replaced)) ||
                         posix::IsFileOpen(replaced.st_dev, replaced.st_ino);
    if (refused) {
      SetLastError(kErrorAccessDenied);
      return false;
    }
  }
  if (rename(source.c_str(), target.c_str()) != 0) {
    posix::SetPathError(errno, target);
    return false;
  }
  return true;
}

}  // namespace os
