#include "os/posix/file_stat.h"

#include <fcntl.h>
#include <sys/sysmacros.h>

#include <cerrno>

#include "os/posix/errno_map.h"
#include "os/posix/native_path.h"

namespace os::posix {
namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;

#ifdef STATX_BTIME
timespec TimespecOf(const struct statx_timestamp& time) {
  return {static_cast<time_t>(time.tv_sec), static_cast<long>(time.tv_nsec)};
}
#endif
}  // namespace

bool StatWithBirth(int fd, const char* path, int flags, struct stat* info, FileTime* creation) {
#ifdef STATX_BTIME
  struct statx extended;
  if (statx(fd, path, flags | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME,
            &extended) != 0)
    return false;
  *info = {};
  info->st_dev = makedev(extended.stx_dev_major, extended.stx_dev_minor);
  info->st_ino = extended.stx_ino;
  info->st_mode = extended.stx_mode;
  info->st_nlink = extended.stx_nlink;
  info->st_uid = extended.stx_uid;
  info->st_gid = extended.stx_gid;
  info->st_rdev = makedev(extended.stx_rdev_major, extended.stx_rdev_minor);
  info->st_size = static_cast<off_t>(extended.stx_size);
  info->st_blksize = static_cast<blksize_t>(extended.stx_blksize);
  info->st_blocks = static_cast<blkcnt_t>(extended.stx_blocks);
  info->st_atim = TimespecOf(extended.stx_atime);
  info->st_mtim = TimespecOf(extended.stx_mtime);
  info->st_ctim = TimespecOf(extended.stx_ctime);
  // Without a birth time the status-change time stands in, as Windows
  // file systems copied to POSIX ones usually show.
  *creation = FileTimeFromTimespec(
      TimespecOf((extended.stx_mask & STATX_BTIME) ? extended.stx_btime : extended.stx_ctime));
  return true;
#else
  if (fstatat(fd, path, info, flags) != 0) return false;
  *creation = FileTimeFromTimespec(info->st_ctim);
  return true;
#endif
}

bool StatPath(const char16_t* path, Links links, std::string* native, struct stat* info) {
  *native = NativePath(path);
  const int result = !path                      ? -1
                     : links == Links::kFollow ? stat(native->c_str(), info)
                                               : lstat(native->c_str(), info);
  if (result == 0) return true;
  SetPathError(path ? errno : ENOENT, *native);
  return false;
}

bool StatEntry(int folder_fd, const char* name, EntryStat* entry) {
  if (!StatWithBirth(folder_fd, name, AT_SYMLINK_NOFOLLOW, &entry->info, &entry->creation))
    return false;
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

void AdviseSequential(int fd, off_t size) {
  // Linux's initial read-ahead window.
  constexpr off_t kFirstReadAhead = 128 * 1024;
  if (size > kFirstReadAhead) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

}  // namespace os::posix
