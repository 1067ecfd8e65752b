// Times: the local clock and the times of files.
#pragma once

#include <cstdint>

#include "os/file.h"

namespace os {

// 100-nanosecond intervals since 1601-01-01 UTC (the Windows FILETIME scale).
struct FileTime {
  std::uint64_t ticks = 0;
};

struct LocalTime {
  int year, month, day, hour, minute, second, milliseconds;
};
LocalTime GetLocalTime();

// Times by handle; a null pointer leaves that time alone (or is not asked
// for). The POSIX backend cannot set a creation time and ignores it.
bool GetFileTimes(Handle file, FileTime* creation, FileTime* last_access,
                  FileTime* last_write);
// The size and the times in one query (a copy needs both before it
// starts); a null pointer is not asked for. One fault point of kind kQuery.
bool GetFileSizeAndTimes(Handle file, std::uint64_t* size, FileTime* creation,
                         FileTime* last_access, FileTime* last_write);
bool SetFileTimes(Handle file, const FileTime* creation,
                  const FileTime* last_access, const FileTime* last_write);

}  // namespace os
