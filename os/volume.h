// Volumes: how much room is left and the size of their sectors.
#pragma once

#include <cstdint>

namespace os {

// Bytes that this user may still write to the volume holding `folder`
// (GetDiskFreeSpaceExW's bytes available to the caller; statvfs's f_bavail
// blocks), quotas and reserved blocks counted off. A missing folder fails
// with kErrorPathNotFound, a file with ERROR_DIRECTORY (267).
bool GetFreeDiskSpace(const char16_t* folder, std::uint64_t* available);

// Bytes per sector of the volume holding `root` (for example "C:\\"), or 0
// when it cannot be told.
std::uint32_t GetSectorSize(const char16_t* root);

}  // namespace os
