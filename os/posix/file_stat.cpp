#include "os/posix/file_stat.h"

#include <fcntl.h>

namespace os::posix {
namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;
}  // namespace

bool StatPath(const std::string& native, struct stat* info) {
  if (stat(native.c_str(), info) == 0) return true;
  return lstat(native.c_str(), info) == 0;
}

bool IsReadOnly(const struct stat& info) { return (info.st_mode & S_IWUSR) == 0; }

std::uint32_t AttributesOf(std::string_view name, const struct stat& info) {
  std::uint32_t attributes = 0;
  if (S_ISDIR(info.st_mode)) attributes |= kAttrDirectory;
  else if (S_ISREG(info.st_mode)) attributes |= kAttrArchive;
  if (IsReadOnly(info)) attributes |= kAttrReadOnly;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= kAttrHidden;
  return attributes ? attributes : kAttrNormal;
}

FileTime FileTimeFromTimespec(const timespec& time) {
  std::int64_t seconds = static_cast<std::int64_t>(time.tv_sec) + kEpochDifference;
  if (seconds < 0) return FileTime{0};
  return FileTime{static_cast<std::uint64_t>(seconds) * kTicksPerSecond +
                  static_cast<std::uint64_t>(time.tv_nsec) / 100};
}

timespec TimespecFromFileTime(FileTime time) {
  timespec out{};
  std::uint64_t seconds = time.ticks / kTicksPerSecond;
  out.tv_sec = static_cast<time_t>(static_cast<std::int64_t>(seconds) - kEpochDifference);
  out.tv_nsec = static_cast<long>((time.ticks % kTicksPerSecond) * 100);
  return out;
}

FileTime CreationTime(int fd, const char* path, const struct stat& info) {
#ifdef STATX_BTIME
  struct statx extended;
  int flags = (path && *path) ? 0 : AT_EMPTY_PATH;
  if (statx(fd, path ? path : "", flags, STATX_BTIME, &extended) == 0 &&
      (extended.stx_mask & STATX_BTIME)) {
    timespec birth{static_cast<time_t>(extended.stx_btime.tv_sec),
                   static_cast<long>(extended.stx_btime.tv_nsec)};
    return FileTimeFromTimespec(birth);
  }
#endif
  return FileTimeFromTimespec(info.st_ctim);
}

}  // namespace os::posix
