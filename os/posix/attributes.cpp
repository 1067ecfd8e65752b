// Attribute bits by path; a symbolic link shows as a reparse point, as
// Windows shows its links. Only the read-only bit can be set: it clears or
// restores the write permission bits. Folders keep their permissions, as
// Windows does not enforce read-only on folders either.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "os/fault.h"
#include "os/file.h"
#include "os/posix/errors.h"
#include "os/posix/file_stat.h"
#include "os/posix/native_path.h"

namespace os {

std::uint32_t GetFileAttributes(const char16_t* path) {
  if (FaultInjected(FileOp::kQuery)) return kInvalidAttributes;
  std::string native = posix::NativePath(path);
  posix::EntryStat entry;
  if (!path || !posix::StatEntry(AT_FDCWD, native.c_str(), &entry)) {
    posix::SetPathError(path ? errno : ENOENT, native);
    return kInvalidAttributes;
  }
  return posix::AttributesOf(posix::LastComponent(native), entry);
}

bool SetFileAttributes(const char16_t* path, std::uint32_t attributes) {
  if (FaultInjected(FileOp::kSetAttributes)) return false;
  std::string native = posix::NativePath(path);
  struct stat info;
  if (!path || stat(native.c_str(), &info) != 0) {
    posix::SetPathError(path ? errno : ENOENT, native);
    return false;
  }
  if (S_ISDIR(info.st_mode)) return true;
  mode_t mode = posix::ModeForAttributes(info.st_mode, attributes);
  if (mode != (info.st_mode & 07777) && chmod(native.c_str(), mode) != 0) {
    posix::SetPathError(errno, native);
    return false;
  }
  return true;
}

}  // namespace os
