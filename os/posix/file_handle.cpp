#include "os/posix/file_handle.h"

#include <climits>

namespace os::posix {

std::optional<OpenFileRecord> LookUpFile(Handle file) {
  std::optional<OpenFileRecord> record;
  if (file >= 0 && file <= INT_MAX) record = FindOpenFile(static_cast<int>(file));
  if (!record) SetLastError(kErrorInvalidHandle);
  return record;
}

}  // namespace os::posix
