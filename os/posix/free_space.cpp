// Free space of a volume.
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "os/fault.h"
#include "os/file.h"
#include "os/posix/errors.h"
#include "os/posix/folder_descriptor.h"
#include "os/posix/native_path.h"
#include "os/volume.h"

namespace os {

bool GetFreeDiskSpace(const char16_t* folder, std::uint64_t* available) {
  if (FaultInjected(FileOp::kQuery)) return false;
  if (!folder || !available) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  const int fd = posix::OpenFolderDescriptor(posix::NativePath(folder));
  if (fd < 0) return false;
  struct statvfs volume;
  const bool known = fstatvfs(fd, &volume) == 0;
  if (!known) posix::SetErrnoError(errno);
  close(fd);
  if (!known) return false;
  const std::uint64_t block = volume.f_frsize ? volume.f_frsize : volume.f_bsize;
  const std::uint64_t blocks = volume.f_bavail;
  constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
  *available = block != 0 && blocks > kMost / block ? kMost : blocks * block;
  return true;
}

}  // namespace os
