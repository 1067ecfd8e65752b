// Folders of a tree reached without links: every component is opened
// relative to the one before with O_NOFOLLOW, so no link is entered and no
// component can be swapped for one half-way.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "os/fault.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_stat.h"
#include "os/posix/native_path.h"
#include "os/posix/ntfs_order.h"
#include "os/posix/open_files.h"
#include "os/posix/tree_folder.h"
#include "base/utf8.h"
#include "os/tree.h"
#include "os/tree_names.h"

namespace os {
namespace posix {

int FolderDescriptor(Handle folder) {
  // A descriptor of anything but a folder makes the *at calls fail with
  // ENOTDIR, so no system call is spent on checking it here.
  if (folder < 0 || folder > INT_MAX) {
    SetLastError(kErrorInvalidHandle);
    return -1;
  }
  return static_cast<int>(folder);
}

bool EntryName(const char16_t* name, std::string* native) {
  if (!name || !IsEntryName(name)) {
    SetLastError(kErrorInvalidName);
    return false;
  }
  *native = ToUtf8(name);
  return true;
}

void SetEntryError(int error) {
  if (error == ENOENT) SetLastError(kErrorFileNotFound);
  else if (error == ELOOP) SetLastError(kErrorStoppedOnSymlink);
  else if (error == ENOTDIR) SetLastError(kErrorDirectory);
  else SetErrnoError(error);
}

}  // namespace posix

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Why `name` in `parent_fd` could not be opened as a folder: a link is
// kErrorStoppedOnSymlink, anything else that is there kErrorDirectory.
void SetFolderOpenError(int parent_fd, const char* name, int error) {
  struct stat info;
  if ((error == ELOOP || error == ENOTDIR) &&
      fstatat(parent_fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0)
    SetLastError(S_ISLNK(info.st_mode) ? kErrorStoppedOnSymlink : kErrorDirectory);
  else if (error == ENOENT)
    SetLastError(kErrorPathNotFound);
  else
    posix::SetErrnoError(error);
}

int OpenComponent(int parent_fd, const std::string& name, bool create) {
  int fd = openat(parent_fd, name.c_str(), kFolderFlags);
  if (fd < 0 && errno == ENOENT && create) {
    if (FaultInjected(FileOp::kCreateFolder)) return -1;
    if (mkdirat(parent_fd, name.c_str(), 0777) != 0 && errno != EEXIST) {
      posix::SetErrnoError(errno);
      return -1;
    }
    fd = openat(parent_fd, name.c_str(), kFolderFlags);
  }
  if (fd < 0) SetFolderOpenError(parent_fd, name.c_str(), errno);
  return fd;
}

EntryInfo InfoOf(const std::string& name, const posix::EntryStat& entry) {
  const struct stat& info = entry.info;
  EntryInfo out;
  out.kind = entry.link               ? EntryKind::kLink
             : S_ISDIR(info.st_mode)  ? EntryKind::kFolder
             : S_ISREG(info.st_mode)  ? EntryKind::kFile
                                      : EntryKind::kOther;
  out.attributes = posix::AttributesOf(name, entry);
  out.size = out.kind == EntryKind::kFile ? static_cast<std::uint64_t>(info.st_size) : 0;
  out.creation = entry.creation;
  out.last_access = posix::FileTimeFromTimespec(info.st_atim);
  out.last_write = posix::FileTimeFromTimespec(info.st_mtim);
  return out;
}

FileIdentity IdentityOf(const struct stat& info) {
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace

Handle OpenTreeRoot(const char16_t* path) {
  if (FaultInjected(FileOp::kOpen)) return kInvalidHandle;
  std::string native = posix::NativePath(path);
  if (!path || native.empty()) {
    SetLastError(kErrorPathNotFound);
    return kInvalidHandle;
  }
  // Trailing separators would make open() follow a final link.
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  int fd = open(native.c_str(), kFolderFlags);
  if (fd < 0) {
    int error = errno;
    if (error == ENOENT) posix::SetPathError(error, native);
    else SetFolderOpenError(AT_FDCWD, native.c_str(), error);
    return kInvalidHandle;
  }
  return fd;
}

Handle OpenTreeFolder(Handle folder, const char16_t* relative, bool create) {
  if (FaultInjected(FileOp::kOpen)) return kInvalidHandle;
  int base = posix::FolderDescriptor(folder);
  if (base < 0) return kInvalidHandle;
  int current = openat(base, ".", kFolderFlags);
  if (current < 0) {
    posix::SetErrnoError(errno);
    return kInvalidHandle;
  }
  bool whole = ForEachComponent(relative ? relative : u"", [&](std::u16string_view component) {
    std::string name;
    std::u16string text(component);
    if (!posix::EntryName(text.c_str(), &name)) return false;
    int next = OpenComponent(current, name, create);
    close(current);
    current = next;
    return next >= 0;
  });
  if (whole) return current;
  if (current >= 0) close(current);
  return kInvalidHandle;
}

bool CloseTreeFolder(Handle folder) {
  // Never a file's handle: that one is closed through CloseFile.
  int fd = posix::FolderDescriptor(folder);
  struct stat info;
  if (fd < 0 || posix::FindOpenFile(fd) || fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode)) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  return close(fd) == 0;
}

bool GetFolderIdentity(Handle folder, FileIdentity* identity) {
  if (FaultInjected(FileOp::kQuery)) return false;
  int fd = posix::FolderDescriptor(folder);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0) return false;
  *identity = IdentityOf(info);
  return true;
}

bool GetPathIdentity(const char16_t* path, FileIdentity* identity) {
  if (FaultInjected(FileOp::kQuery)) return false;
  std::string native = posix::NativePath(path);
  struct stat info;
  if (!path || stat(native.c_str(), &info) != 0) {
    posix::SetPathError(path ? errno : ENOENT, native);
    return false;
  }
  *identity = IdentityOf(info);
  return true;
}

bool GetEntryInfo(Handle folder, const char16_t* name, EntryInfo* info) {
  if (FaultInjected(FileOp::kQuery)) return false;
  int fd = posix::FolderDescriptor(folder);
  std::string native;
  if (fd < 0 || !posix::EntryName(name, &native)) return false;
  posix::EntryStat entry;
  if (!posix::StatEntry(fd, native.c_str(), &entry)) {
    posix::SetEntryError(errno);
    return false;
  }
  *info = InfoOf(native, entry);
  return true;
}

bool ListFolder(Handle folder, std::vector<FolderEntry>* entries) {
  if (FaultInjected(FileOp::kFind)) return false;
  int fd = posix::FolderDescriptor(folder);
  if (fd < 0) return false;
  int listing = openat(fd, ".", kFolderFlags);
  DIR* dir = listing >= 0 ? fdopendir(listing) : nullptr;
  if (!dir) {
    posix::SetErrnoError(errno);
    if (listing >= 0) close(listing);
    return false;
  }
  entries->clear();
  while (dirent* found = readdir(dir)) {
    std::string name = found->d_name;
    if (name == "." || name == "..") continue;
    posix::EntryStat entry;
    // An entry removed since the folder was read is no longer listed.
    if (!posix::StatEntry(fd, name.c_str(), &entry)) continue;
    FolderEntry listed{::ToUtf16(name), InfoOf(name, entry)};
    // A name that is not UTF-8 cannot be named again through this interface.
    if (::ToUtf8(listed.name) != name) listed.info.kind = EntryKind::kOther;
    entries->push_back(std::move(listed));
  }
  closedir(dir);
  std::sort(entries->begin(), entries->end(), [](const FolderEntry& a, const FolderEntry& b) {
    return posix::NtfsNameLess(a.name, b.name);
  });
  return true;
}

}  // namespace os
