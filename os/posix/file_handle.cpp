#include "os/posix/file_handle.h"

#include <fcntl.h>

#include <cerrno>
#include <climits>

#include "os/fault.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_stat.h"

namespace os::posix {

std::optional<OpenFileRecord> LookUpFile(Handle file, std::uint32_t access) {
  std::optional<OpenFileRecord> record;
  if (file >= 0 && file <= INT_MAX) record = FindOpenFile(static_cast<int>(file));
  if (!record) {
    SetLastError(kErrorInvalidHandle);
  } else if ((record->access & access) != access) {
    SetLastError(kErrorAccessDenied);
    record.reset();
  }
  return record;
}

std::optional<OpenFileRecord> StatOpenFile(Handle file, struct stat* info, FileTime* creation) {
  if (FaultInjected(FileOp::kQuery)) return std::nullopt;
  auto record = LookUpFile(file);
  if (!record) return std::nullopt;
  const bool stated = creation ? StatWithBirth(record->fd, "", AT_EMPTY_PATH, info, creation)
                               : fstat(record->fd, info) == 0;
  if (!stated) {
    SetErrnoError(errno);
    return std::nullopt;
  }
  return record;
}

}  // namespace os::posix
