#include "os/posix/file_stat.h"

#include <fcntl.h>

namespace os::posix {
namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;
}  // namespace

bool StatEntry(int folder_fd, const char* name, EntryStat* entry) {
  if (fstatat(folder_fd, name, &entry->info, AT_SYMLINK_NOFOLLOW) != 0) return false;
  entry->link = S_ISLNK(entry->info.st_mode);
  struct stat target;
  entry->link_to_folder =
      entry->link && fstatat(folder_fd, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
  return true;
}

namespace {
bool IsHiddenName(std::string_view name) {
  return !name.empty() && name[0] == '.' && name != "." && name != "..";
}
}  // namespace

bool IsReadOnly(const struct stat& info) { return (info.st_mode & S_IWUSR) == 0; }

std::uint32_t AttributesOf(std::string_view name, const struct stat& info) {
  std::uint32_t attributes = 0;
  if (S_ISDIR(info.st_mode)) attributes |= kAttrDirectory;
  else if (S_ISREG(info.st_mode)) attributes |= kAttrArchive;
  if (IsReadOnly(info)) attributes |= kAttrReadOnly;
  if (IsHiddenName(name)) attributes |= kAttrHidden;
  return attributes ? attributes : kAttrNormal;
}

std::uint32_t AttributesOf(std::string_view name, const EntryStat& entry) {
  if (!entry.link) return AttributesOf(name, entry.info);
  std::uint32_t attributes =
      kAttrReparsePoint | (entry.link_to_folder ? kAttrDirectory : kAttrArchive);
  return IsHiddenName(name) ? attributes | kAttrHidden : attributes;
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

void TimesForUpdate(const FileTime* last_access, const FileTime* last_write, timespec out[2]) {
  out[0].tv_nsec = UTIME_OMIT;
  out[1].tv_nsec = UTIME_OMIT;
  if (last_access && last_access->ticks) out[0] = TimespecFromFileTime(*last_access);
  if (last_write && last_write->ticks) out[1] = TimespecFromFileTime(*last_write);
}

mode_t ModeForAttributes(mode_t mode, std::uint32_t attributes) {
  mode &= 07777;
  if (attributes & kAttrReadOnly) return mode & ~(S_IWUSR | S_IWGRP | S_IWOTH);
  return mode | S_IWUSR;
}

FileTime CreationTime(int fd, const char* path, const struct stat& info) {
#ifdef STATX_BTIME
  struct statx extended;
  int flags = (path && *path) ? AT_SYMLINK_NOFOLLOW : AT_EMPTY_PATH;
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
