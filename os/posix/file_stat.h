// File metadata in Windows terms: attribute bits and FILETIME ticks.
#pragma once

#include <sys/stat.h>
#include <time.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "os/file.h"

namespace os::posix {

// stat() that falls back to lstat() for a dangling symbolic link.
bool StatPath(const std::string& native, struct stat* info);

// `name` is the entry's own name (for the hidden bit).
std::uint32_t AttributesOf(std::string_view name, const struct stat& info);
// Windows refuses writes to a read-only file even for an administrator;
// this checks the owner write bit so that root behaves the same way.
bool IsReadOnly(const struct stat& info);

FileTime FileTimeFromTimespec(const timespec& time);
timespec TimespecFromFileTime(FileTime time);

// Creation time: the birth time when the file system keeps one, else the
// status-change time. `fd` may be AT_FDCWD with a path, or a descriptor
// with an empty path.
FileTime CreationTime(int fd, const char* path, const struct stat& info);

}  // namespace os::posix
