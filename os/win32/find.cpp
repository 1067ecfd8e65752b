// Directory searches.
#include <cstring>

#include "os/fault.h"
#include "os/find.h"
#include "os/win32/windows_fwd.h"

namespace os {

namespace {

void CopyFindData(const WIN32_FIND_DATAW& from, FindData* to) {
  to->attributes = from.dwFileAttributes;
  to->creation.ticks = win32::FromFiletime(from.ftCreationTime);
  to->last_access.ticks = win32::FromFiletime(from.ftLastAccessTime);
  to->last_write.ticks = win32::FromFiletime(from.ftLastWriteTime);
  to->size = (static_cast<std::uint64_t>(from.nFileSizeHigh) << 32) | from.nFileSizeLow;
  static_assert(sizeof(to->name) == sizeof(from.cFileName));
  std::memcpy(to->name, from.cFileName, sizeof(to->name));
  to->name[MAX_PATH - 1] = 0;
}

}  // namespace

Handle FindFirst(const char16_t* pattern, FindData* data) {
  if (FaultInjected(FileOp::kFind)) return kInvalidHandle;
  if (!win32::CheckPath(pattern) || !data) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return kInvalidHandle;
  }
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(win32::Wide(pattern), &found);
  if (search == INVALID_HANDLE_VALUE) return kInvalidHandle;
  CopyFindData(found, data);
  return win32::FromNative(search);
}

bool FindNext(Handle search, FindData* data) {
  if (FaultInjected(FileOp::kFind) || !win32::CheckHandle(search)) return false;
  WIN32_FIND_DATAW found;
  if (!data || !::FindNextFileW(win32::ToNative(search), &found)) return false;
  CopyFindData(found, data);
  return true;
}

void FindClose(Handle search) {
  if (search != kInvalidHandle && search != 0) ::FindClose(win32::ToNative(search));
}

}  // namespace os
