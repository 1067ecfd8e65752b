// The link-safe tree: folders reached without links, and the files and
// links inside them, named relative to their folder.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "os/fault.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_stat.h"
#include "os/posix/native_path.h"
#include "os/posix/ntfs_order.h"
#include "os/posix/open_files.h"
#include "os/posix/tree_folder.h"
#include "os/tree.h"
#include "os/tree_names.h"

namespace os {

// Folders of a tree reached without links: every component is opened
// relative to the one before with O_NOFOLLOW, so no link is entered and no
// component can be swapped for one half-way.
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
  std::string native;
  struct stat info;
  if (!posix::StatPath(path, posix::Links::kFollow, &native, &info)) return false;
  *identity = IdentityOf(info);
  return true;
}

namespace {

// Calls `visit` with the native name of every entry but "." and "..".
template <typename Visit>
bool ReadFolder(int fd, Visit visit) {
  int listing = openat(fd, ".", kFolderFlags);
  DIR* dir = listing >= 0 ? fdopendir(listing) : nullptr;
  if (!dir) {
    posix::SetErrnoError(errno);
    if (listing >= 0) close(listing);
    return false;
  }
  while (dirent* found = readdir(dir)) {
    std::string name = found->d_name;
    if (name != "." && name != "..") visit(name);
  }
  closedir(dir);
  return true;
}

}  // namespace

bool ListFolder(Handle folder, std::vector<FolderEntry>* entries) {
  if (FaultInjected(FileOp::kFind)) return false;
  int fd = posix::FolderDescriptor(folder);
  if (fd < 0) return false;
  entries->clear();
  const bool listed = ReadFolder(fd, [&](const std::string& name) {
    posix::EntryStat entry;
    // An entry removed since the folder was read is no longer listed.
    if (!posix::StatEntry(fd, name.c_str(), &entry)) return;
    FolderEntry listed{::ToUtf16(name), InfoOf(name, entry)};
    // A name that is not UTF-8 cannot be named again through this interface.
    if (::ToUtf8(listed.name) != name) listed.info.kind = EntryKind::kOther;
    entries->push_back(std::move(listed));
  });
  if (!listed) return false;
  std::sort(entries->begin(), entries->end(), [](const FolderEntry& a, const FolderEntry& b) {
    return posix::NtfsNameLess(a.name, b.name);
  });
  return true;
}

bool ListFolderNames(Handle folder, std::vector<std::u16string>* names) {
  if (FaultInjected(FileOp::kFind)) return false;
  int fd = posix::FolderDescriptor(folder);
  if (fd < 0) return false;
  names->clear();
  return ReadFolder(fd, [&](const std::string& name) { names->push_back(::ToUtf16(name)); });
}

// Files and links in a tree folder: created, opened, renamed, deleted and
// changed by name relative to the folder, never through a link. The
// Windows rules that the other POSIX operations reproduce apply here too:
// share modes of open handles, read-only files, folders that cannot be
// replaced.
namespace {

// A name in an open folder: the folder's descriptor and the UTF-8 name.
struct EntryPath {
  int fd = -1;
  std::string native;
};

bool Resolve(Handle folder, const char16_t* name, EntryPath* path) {
  path->fd = posix::FolderDescriptor(folder);
  return path->fd >= 0 && posix::EntryName(name, &path->native);
}

// An entry that is there, with its status (a link not followed).
struct NamedEntry : EntryPath {
  posix::EntryStat status;
};

bool ResolveEntry(Handle folder, const char16_t* name, NamedEntry* entry) {
  if (!Resolve(folder, name, entry)) return false;
  if (posix::StatEntry(entry->fd, entry->native.c_str(), &entry->status)) return true;
  posix::SetEntryError(errno);
  return false;
}

// The result of a call on an entry that gives 0, or -1 with errno.
bool EntryCallDone(int result) {
  if (result == 0) return true;
  posix::SetEntryError(errno);
  return false;
}

bool Fail(std::uint32_t code) {
  SetLastError(code);
  return false;
}

// Registers the descriptor of a regular file as an open handle; `info`
// receives its status.
Handle Register(int fd, std::uint32_t access, std::uint32_t share, std::uint32_t flags,
                struct stat& info) {
  if (fstat(fd, &info) != 0) {
    posix::SetErrnoError(errno);
    close(fd);
    return kInvalidHandle;
  }
  if (!S_ISREG(info.st_mode)) {
    close(fd);
    SetLastError(kErrorAccessDenied);
    return kInvalidHandle;
  }
  if (!posix::RegisterOpenFile({fd, info.st_dev, info.st_ino, access, share, false})) {
    close(fd);
    SetLastError(kErrorSharingViolation);
    return kInvalidHandle;
  }
  if ((flags & kFlagSequentialScan) && (access & kAccessRead))
    posix::AdviseSequential(fd, info.st_size);
  SetLastError(kErrorSuccess);
  return fd;
}

// Windows refuses to replace or delete a file that a handle holds, since
// none of them shares deletion.
bool IsHeld(const struct stat& info) {
  return S_ISREG(info.st_mode) && posix::IsFileOpen(info.st_dev, info.st_ino);
}

}  // namespace

bool GetEntryInfo(Handle folder, const char16_t* name, EntryInfo* info) {
  if (FaultInjected(FileOp::kQuery)) return false;
  NamedEntry entry;
  if (!ResolveEntry(folder, name, &entry)) return false;
  *info = InfoOf(entry.native, entry.status);
  return true;
}

Handle CreateFileIn(Handle folder, const char16_t* name, std::uint32_t flags) {
  if (FaultInjected(FileOp::kOpen)) return kInvalidHandle;
  EntryPath path;
  if (!Resolve(folder, name, &path)) return kInvalidHandle;
  int file = openat(path.fd, path.native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0666);
  if (file < 0) {
    if (errno == EEXIST) SetLastError(kErrorFileExists);
    else posix::SetEntryError(errno);
    return kInvalidHandle;
  }
  struct stat info;
  const Handle handle = Register(file, kAccessWrite, kShareNone, flags, info);
  // A new file on Windows is never read-only, whatever the umask says here.
  if (handle != kInvalidHandle && posix::IsReadOnly(info))
    fchmod(file, posix::ModeForAttributes(info.st_mode, kAttrArchive));
  return handle;
}

bool ProbeNewFile(Handle folder) {
  if (FaultInjected(FileOp::kOpen)) return false;
  const int fd = posix::FolderDescriptor(folder);
  if (fd < 0) return false;
#ifdef O_TMPFILE
  int file = openat(fd, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0600);
  if (file >= 0) {
    close(file);
    return true;
  }
  // EISDIR and EOPNOTSUPP: the kernel or the file system has no unnamed files.
  if (errno != EISDIR && errno != EOPNOTSUPP) {
    posix::SetEntryError(errno);
    return false;
  }
#endif
  const std::string name = ".~qvprobe" + std::to_string(getpid());
  int named = openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (named < 0) {
    posix::SetEntryError(errno);
    return false;
  }
  unlinkat(fd, name.c_str(), 0);
  close(named);
  return true;
}

Handle OpenFileIn(Handle folder, const char16_t* name, std::uint32_t flags) {
  if (FaultInjected(FileOp::kOpen)) return kInvalidHandle;
  EntryPath path;
  if (!Resolve(folder, name, &path)) return kInvalidHandle;
  // O_NONBLOCK keeps a pipe from waiting for a writer; Register refuses it.
  int file = openat(path.fd, path.native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) {
    posix::SetEntryError(errno);
    return kInvalidHandle;
  }
  int status = fcntl(file, F_GETFL);
  if (status >= 0) fcntl(file, F_SETFL, status & ~O_NONBLOCK);
  struct stat info;
  return Register(file, kAccessRead, kShareRead, flags, info);
}

bool RenameEntry(Handle from_folder, const char16_t* from_name, Handle to_folder,
                 const char16_t* to_name) {
  if (FaultInjected(FileOp::kRename)) return false;
  NamedEntry source;
  EntryPath to;
  posix::EntryStat target;
  if (!ResolveEntry(from_folder, from_name, &source) || !Resolve(to_folder, to_name, &to))
    return false;
  if (IsHeld(source.status.info)) return Fail(kErrorSharingViolation);
  if (posix::StatEntry(to.fd, to.native.c_str(), &target)) {
    const bool folder = S_ISDIR(target.info.st_mode) || target.link_to_folder;
    if (folder || (S_ISREG(target.info.st_mode) && posix::IsReadOnly(target.info)))
      return Fail(kErrorAccessDenied);
    if (IsHeld(target.info)) return Fail(kErrorSharingViolation);
  }
  return EntryCallDone(renameat(source.fd, source.native.c_str(), to.fd, to.native.c_str()));
}

bool FlushTreeFolder(Handle folder) {
  if (FaultInjected(FileOp::kFlush)) return false;
  int fd = posix::FolderDescriptor(folder);
  if (fd < 0) return false;
  if (!FlushesReachDisk()) return true;
  // Some file systems cannot sync a folder (EINVAL); their entries need
  // nothing more.
  if (fsync(fd) == 0 || errno == EINVAL) return true;
  posix::SetErrnoError(errno);
  return false;
}

bool FlushTreeFolders(const Handle* folders, std::size_t count) {
  if (FaultInjected(FileOp::kFlush)) return false;
  std::vector<dev_t> synced;
  for (std::size_t i = 0; i < count; ++i) {
    const int fd = posix::FolderDescriptor(folders[i]);
    struct stat info;
    if (fd < 0) return false;
    if (fstat(fd, &info) != 0) {
      posix::SetErrnoError(errno);
      return false;
    }
    if (!FlushesReachDisk() ||
        std::find(synced.begin(), synced.end(), info.st_dev) != synced.end())
      continue;
    if (syncfs(fd) != 0) {
      posix::SetErrnoError(errno);
      return false;
    }
    synced.push_back(info.st_dev);
  }
  return true;
}

bool FlushTreeFiles(Handle folder) {
  if (FaultInjected(FileOp::kFlush)) return false;
  int fd = posix::FolderDescriptor(folder);
  if (fd < 0) return false;
  if (!FlushesReachDisk()) return true;
  // One journal commit for every file instead of one per file.
  if (syncfs(fd) == 0) return true;
  posix::SetErrnoError(errno);
  return false;
}

bool DeleteEntry(Handle folder, const char16_t* name) {
  if (FaultInjected(FileOp::kDelete)) return false;
  NamedEntry entry;
  if (!ResolveEntry(folder, name, &entry)) return false;
  const struct stat& info = entry.status.info;
  if (S_ISDIR(info.st_mode) || (S_ISREG(info.st_mode) && posix::IsReadOnly(info)))
    return Fail(kErrorAccessDenied);
  if (IsHeld(info)) return Fail(kErrorSharingViolation);
  return EntryCallDone(unlinkat(entry.fd, entry.native.c_str(), 0));
}

bool RemoveFolderIn(Handle folder, const char16_t* name) {
  if (FaultInjected(FileOp::kRemoveFolder)) return false;
  NamedEntry entry;
  if (!ResolveEntry(folder, name, &entry)) return false;
  if (entry.status.link) return Fail(kErrorStoppedOnSymlink);
  if (!S_ISDIR(entry.status.info.st_mode)) return Fail(kErrorDirectory);
  if (unlinkat(entry.fd, entry.native.c_str(), AT_REMOVEDIR) != 0) {
    if (errno == ENOTEMPTY || errno == EEXIST) return Fail(kErrorDirNotEmpty);
    posix::SetEntryError(errno);
    return false;
  }
  return true;
}

namespace {

// The entry for a change of its own attributes or times: never a link.
bool StatForChange(Handle folder, const char16_t* name, NamedEntry* entry) {
  return ResolveEntry(folder, name, entry) && (!entry->status.link || Fail(kErrorStoppedOnSymlink));
}

}  // namespace

bool SetEntryAttributes(Handle folder, const char16_t* name, std::uint32_t attributes) {
  if (FaultInjected(FileOp::kSetAttributes)) return false;
  NamedEntry entry;
  if (!StatForChange(folder, name, &entry)) return false;
  const struct stat& info = entry.status.info;
  if (!S_ISREG(info.st_mode)) return true;  // as SetFileAttributes: folders keep theirs
  mode_t mode = posix::ModeForAttributes(info.st_mode, attributes);
  return mode == (info.st_mode & 07777) ||
         EntryCallDone(fchmodat(entry.fd, entry.native.c_str(), mode, 0));
}

bool SetEntryTimes(Handle folder, const char16_t* name, const FileTime* creation,
                   const FileTime* last_access, const FileTime* last_write) {
  if (FaultInjected(FileOp::kSetTimes)) return false;
  NamedEntry entry;
  if (!StatForChange(folder, name, &entry)) return false;
  timespec times[2];
  posix::TimesForUpdate(last_access, last_write, times);
  return EntryCallDone(utimensat(entry.fd, entry.native.c_str(), times, AT_SYMLINK_NOFOLLOW));
}

}  // namespace os
