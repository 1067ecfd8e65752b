// File metadata in Windows terms: attribute bits and FILETIME ticks.
#pragma once

#include <sys/stat.h>
#include <time.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "os/file.h"
#include "os/times.h"
#include "os/tree.h"

namespace os::posix {

// An entry as it is, a symbolic link not followed.
struct EntryStat {
  struct stat info;         // lstat() of the entry
  bool link = false;        // a symbolic link
  bool link_to_folder = false;  // ... whose target is a folder
  FileTime creation;            // of the entry itself
};
// stat() of `path` below `fd` (`flags` as for fstatat: AT_SYMLINK_NOFOLLOW,
// or AT_EMPTY_PATH for the descriptor itself) and the creation time: the
// birth time where the file system keeps one, else the status-change time.
// One statx() where the system has it. Sets errno.
bool StatWithBirth(int fd, const char* path, int flags, struct stat* info, FileTime* creation);
// `name` is relative to the folder `folder_fd` (or AT_FDCWD). Sets errno.
bool StatEntry(int folder_fd, const char* name, EntryStat* entry);

enum class Links { kFollow, kKeep };
// stat() (kFollow) or lstat() of the engine path `path`, whose native form
// goes to `native`. False with the path's last error set; a null path is
// a missing file.
bool StatPath(const char16_t* path, Links links, std::string* native, struct stat* info);

// `name` is the entry's own name (for the hidden bit).
std::uint32_t AttributesOf(std::string_view name, const struct stat& info);
// As Windows shows an entry: a symbolic link is a reparse point, and a
// folder one when it points to a folder, whatever its target's bits.
std::uint32_t AttributesOf(std::string_view name, const EntryStat& entry);
// Windows refuses writes to a read-only file even for an administrator;
// this checks the owner write bit so that root behaves the same way.
bool IsReadOnly(const struct stat& info);

FileTime FileTimeFromTimespec(const timespec& time);
timespec TimespecFromFileTime(FileTime time);
// The access and modification times for utimensat(); a null or zero time
// is left unchanged, as on Windows.
void TimesForUpdate(const FileTime* last_access, const FileTime* last_write, timespec out[2]);

// The permission bits once the read-only attribute is set or cleared: it
// takes every write bit away, or gives the owner's back.
mode_t ModeForAttributes(mode_t mode, std::uint32_t attributes);

// The sequential-scan hint for a file read from start to end, given where
// it pays: a file within the system's first read-ahead is read whole at
// once anyway, and a file only written is never read ahead.
void AdviseSequential(int fd, off_t size);

}  // namespace os::posix
