// The local clock and file times by handle.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>

#include "os/fault.h"
#include "os/file.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_handle.h"
#include "os/posix/file_stat.h"
#include "os/times.h"

namespace os {

LocalTime GetLocalTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts{};
  localtime_r(&now.tv_sec, &parts);
  return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                   parts.tm_min,         parts.tm_sec,     static_cast<int>(now.tv_nsec / 1000000)};
}

bool GetFileTimes(Handle file, FileTime* creation, FileTime* last_access, FileTime* last_write) {
  return GetFileSizeAndTimes(file, nullptr, creation, last_access, last_write);
}

bool GetFileSizeAndTimes(Handle file, std::uint64_t* size, FileTime* creation,
                         FileTime* last_access, FileTime* last_write) {
  struct stat info;
  FileTime birth;
  if (!posix::StatOpenFile(file, &info, &birth)) return false;
  if (size) *size = static_cast<std::uint64_t>(info.st_size);
  if (creation) *creation = birth;
  if (last_access) *last_access = posix::FileTimeFromTimespec(info.st_atim);
  if (last_write) *last_write = posix::FileTimeFromTimespec(info.st_mtim);
  return true;
}

// Setting times needs write access on Windows (FILE_WRITE_ATTRIBUTES is
// part of it, not of read access), and the same is required here so that
// code behaves alike on both systems.
bool SetFileTimes(Handle file, const FileTime* creation, const FileTime* last_access,
                  const FileTime* last_write) {
  if (FaultInjected(FileOp::kSetTimes)) return false;
  auto record = posix::LookUpFile(file, kAccessWrite);
  if (!record) return false;
  timespec times[2];
  posix::TimesForUpdate(last_access, last_write, times);
  if (futimens(record->fd, times) != 0) {
    posix::SetErrnoError(errno);
    return false;
  }
  return true;
}

}  // namespace os
