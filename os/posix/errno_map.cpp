#include "os/posix/errno_map.h"

#include <sys/stat.h>

#include <cerrno>

#include "os/error.h"
#include "os/posix/native_path.h"

namespace os::posix {

std::uint32_t ErrorFromErrno(int error) {
  switch (error) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EBUSY:
    case ETXTBSY: return kErrorSharingViolation;
    case EEXIST: return kErrorFileExists;
    case EINVAL: return kErrorInvalidParameter;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case ENAMETOOLONG: return 206;  // ERROR_FILENAME_EXCED_RANGE
    case EMFILE:
    case ENFILE: return 4;  // ERROR_TOO_MANY_OPEN_FILES
    case EIO: return 1117;  // ERROR_IO_DEVICE
    case EXDEV: return 17;  // ERROR_NOT_SAME_DEVICE
    case EFBIG: return 223;  // ERROR_FILE_TOO_LARGE
    default: return kErrnoCodeBit | static_cast<std::uint32_t>(error & 0xFFFF);
  }
}

void SetPathError(int error, const std::string& native_path) {
  std::uint32_t code = ErrorFromErrno(error);
  if (error == ENOENT) {
    struct stat parent;
    std::string folder = ParentFolder(native_path);
    if (native_path.empty() || stat(folder.c_str(), &parent) != 0 || !S_ISDIR(parent.st_mode))
      code = kErrorPathNotFound;
  }
  SetLastError(code);
}

void SetErrnoError(int error) { SetLastError(ErrorFromErrno(error)); }

}  // namespace os::posix
