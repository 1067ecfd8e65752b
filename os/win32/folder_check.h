// The check that a path names a folder, shared by the calls that take one.
#pragma once

#include "os/win32/windows_fwd.h"

namespace os::win32 {

// True for an existing folder; otherwise false with ERROR_PATH_NOT_FOUND
// (missing) or ERROR_DIRECTORY (not a folder) as the last error.
inline bool CheckFolder(const char16_t* path) {
  if (!CheckPath(path)) return false;
  const DWORD attributes = ::GetFileAttributesW(Wide(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
  ::SetLastError(ERROR_DIRECTORY);
  return false;
}

}  // namespace os::win32
