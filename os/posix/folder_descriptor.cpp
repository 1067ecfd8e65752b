#include "os/posix/folder_descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "os/file.h"
#include "os/posix/errno_map.h"
#include "os/posix/native_path.h"

namespace os::posix {

int OpenFolderDescriptor(const char16_t* folder) {
  if (!folder) {
    SetLastError(kErrorInvalidParameter);
    return -1;
  }
  const std::string native = NativePath(folder);
  int fd = open(native.empty() ? "" : native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) return fd;
  const int error = errno;
  struct stat info;
  if (error == ENOTDIR && stat(native.c_str(), &info) == 0) SetLastError(kErrorDirectory);
  else if (error == ENOENT || error == ENOTDIR) SetLastError(kErrorPathNotFound);
  else SetErrnoError(error);
  return -1;
}

}  // namespace os::posix
