// Free space and sector size of a volume.
#include <string>

#include "os/fault.h"
#include "os/volume.h"
#include "os/win32/folder_check.h"
#include "os/win32/windows_fwd.h"

namespace os {

bool GetFreeDiskSpace(const char16_t* folder, std::uint64_t* available) {
  if (FaultInjected(FileOp::kQuery) || !win32::CheckFolder(folder)) return false;
  if (!available) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // A share's root is only taken with its trailing backslash.
  std::u16string path(folder);
  if (path.back() != u'\\') path += u'\\';
  ULARGE_INTEGER caller;
  if (!::GetDiskFreeSpaceExW(win32::Wide(path.c_str()), &caller, nullptr, nullptr)) return false;
  *available = caller.QuadPart;
  return true;
}

std::uint32_t GetSectorSize(const char16_t* root) {
  if (FaultInjected(FileOp::kQuery)) return 0;
  DWORD sectors_per_cluster, bytes_per_sector, free_clusters, total_clusters;
  if (!::GetDiskFreeSpaceW(root ? win32::Wide(root) : nullptr, &sectors_per_cluster,
                           &bytes_per_sector, &free_clusters, &total_clusters))
    return 0;
  return bytes_per_sector;
}

}  // namespace os
