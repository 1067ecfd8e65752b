// Deleting files, creating and removing folders.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/fault.h"
#include "os/file.h"
#include "os/posix/errors.h"
#include "os/posix/file_stat.h"
#include "os/posix/native_path.h"
#include "os/posix/open_files.h"

namespace os {

bool DeleteFile(const char16_t* path) {
  if (FaultInjected(FileOp::kDelete)) return false;
  std::string native = posix::NativePath(path);
  struct stat info;
  if (!path || lstat(native.c_str(), &info) != 0) {
    posix::SetPathError(path ? errno : ENOENT, native);
    return false;
  }
  // Windows refuses folders, read-only files and files that are open
  // (no handle here shares deletion).
  if (S_ISDIR(info.st_mode) || (S_ISREG(info.st_mode) && posix::IsReadOnly(info))) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  if (posix::IsFileOpen(info.st_dev, info.st_ino)) {
    SetLastError(kErrorSharingViolation);
    return false;
  }
  if (unlink(native.c_str()) != 0) {
    posix::SetPathError(errno, native);
    return false;
  }
  return true;
}

bool CreateDirectory(const char16_t* path) {
  if (FaultInjected(FileOp::kCreateFolder)) return false;
  std::string native = posix::NativePath(path);
  if (!path || mkdir(native.c_str(), 0777) != 0) {
    int error = path ? errno : ENOENT;
    posix::SetPathError(error, native);
    if (error == EEXIST) SetLastError(kErrorAlreadyExists);
    else if (error == ENOENT) SetLastError(kErrorPathNotFound);
    return false;
  }
  return true;
}

bool RemoveDirectory(const char16_t* path) {
  if (FaultInjected(FileOp::kRemoveFolder)) return false;
  std::string native = posix::NativePath(path);
  if (!path || rmdir(native.c_str()) != 0) {
    int error = path ? errno : ENOENT;
    posix::SetPathError(error, native);
    if (error == EEXIST) SetLastError(kErrorDirNotEmpty);
    struct stat info;
    if (error == ENOTDIR && lstat(native.c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
      SetLastError(posix::kErrorDirectory);
    return false;
  }
  return true;
}

}  // namespace os
