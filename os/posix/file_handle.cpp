#include "os/posix/file_handle.h"

#include <cerrno>
#include <climits>

#include "os/fault.h"
#include "os/posix/errors.h"

namespace os::posix {

std::optional<OpenFileRecord> LookUpFile(Handle file) {
  std::optional<OpenFileRecord> record;
  if (file >= 0 && file <= INT_MAX) record = FindOpenFile(static_cast<int>(file));
  if (!record) SetLastError(kErrorInvalidHandle);
  return record;
}

std::optional<OpenFileRecord> StatOpenFile(Handle file, struct stat* info) {
  if (FaultInjected(FileOp::kQuery)) return std::nullopt;
  auto record = LookUpFile(file);
  if (!record) return std::nullopt;
  if (fstat(record->fd, info) != 0) {
    SetErrnoError(errno);
    return std::nullopt;
  }
  return record;
}

}  // namespace os::posix
