// The exclusive lock of a folder: an flock on the folder itself, released
// by the system when the process ends in any way.
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "os/fault.h"
#include "os/file.h"
#include "os/locks.h"
#include "os/posix/errors.h"
#include "os/posix/folder_descriptor.h"
#include "os/posix/native_path.h"

namespace os {

struct FolderLock {
  int fd;
};

FolderLock* LockFolder(const char16_t* folder) {
  if (FaultInjected(FileOp::kLock)) return nullptr;
  if (!folder) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  const int fd = posix::OpenFolderDescriptor(posix::NativePath(folder));
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    SetLastError(errno == EWOULDBLOCK ? kErrorLockViolation : posix::ErrorFromErrno(errno));
    close(fd);
    return nullptr;
  }
  auto* lock = new (std::nothrow) FolderLock{fd};
  if (!lock) {
    close(fd);
    SetLastError(kErrorNotEnoughMemory);
  }
  return lock;
}

void UnlockFolder(FolderLock* lock) {
  if (!lock) return;
  close(lock->fd);  // releases the flock
  delete lock;
}

}  // namespace os
