// OpenFile and CloseFile: Windows dispositions, share modes and read-only
// rules on top of open(2).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/fault.h"
#include "os/file.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_handle.h"
#include "os/posix/file_stat.h"
#include "os/posix/native_path.h"
#include "os/posix/open_files.h"

namespace os {
namespace {

int OpenMode(std::uint32_t access) {
  bool read = access & kAccessRead;
  bool write = access & kAccessWrite;
  if (read && write) return O_RDWR;
  return write ? O_WRONLY : O_RDONLY;
}

// open(2) that falls back to buffered I/O when the file system refuses
// O_DIRECT; the caller's aligned whole-sector reads work either way.
int OpenDescriptor(const std::string& native, int flags, mode_t mode, bool* direct) {
  if (*direct) {
    int fd = open(native.c_str(), flags | O_DIRECT, mode);
    if (fd >= 0 || errno != EINVAL) return fd;
    *direct = false;
  }
  return open(native.c_str(), flags, mode);
}

struct Opened {
  int fd = -1;
  bool existed = false;
};

// Opens according to `disposition`, telling whether the file was there.
Opened OpenWithDisposition(const std::string& native, int mode_flags, std::uint32_t disposition,
                           mode_t create_mode, bool* direct) {
  // O_NONBLOCK keeps the open of a FIFO from waiting for a peer; it is
  // cleared again once the descriptor is there.
  const int base = mode_flags | O_CLOEXEC | O_NONBLOCK;
  bool may_create = disposition == kCreateNew || disposition == kCreateAlways ||
                    disposition == kOpenAlways;
  bool must_exist = disposition == kOpenExisting || disposition == kTruncateExisting;
  // Two rounds cover a file that appears or vanishes between the attempts.
  for (int round = 0; round < 2; ++round) {
    if (disposition != kCreateNew) {
      int fd = OpenDescriptor(native, base, 0, direct);
      if (fd >= 0) return {fd, true};
      if (errno != ENOENT || must_exist) return {};
    }
    if (may_create) {
      int fd = OpenDescriptor(native, base | O_CREAT | O_EXCL, create_mode, direct);
      if (fd >= 0) return {fd, false};
      if (errno != EEXIST || disposition == kCreateNew) return {};
    }
  }
  return {};
}

Handle Fail(int fd, std::uint32_t code) {
  if (fd >= 0) close(fd);
  SetLastError(code);
  return kInvalidHandle;
}

}  // namespace

Handle OpenFile(const char16_t* path, std::uint32_t access, std::uint32_t share,
                std::uint32_t disposition, std::uint32_t attributes, std::uint32_t flags) {
  if (FaultInjected(FileOp::kOpen)) return kInvalidHandle;
  if (!path || disposition < kCreateNew || disposition > kTruncateExisting)
    return Fail(-1, kErrorInvalidParameter);
  bool truncate = disposition == kCreateAlways || disposition == kTruncateExisting;
  if (disposition == kTruncateExisting && !(access & kAccessWrite))
    return Fail(-1, kErrorAccessDenied);

  std::string native = posix::NativePath(path);
  bool direct = flags & kFlagNoBuffering;
  mode_t create_mode = (attributes & kAttrReadOnly) ? 0444 : 0666;
  Opened opened = OpenWithDisposition(native, OpenMode(access), disposition, create_mode, &direct);
  if (opened.fd < 0) {
    posix::SetPathError(errno, native);
    return kInvalidHandle;
  }

  struct stat info;
  if (fstat(opened.fd, &info) != 0) return Fail(opened.fd, posix::ErrorFromErrno(errno));
  if (S_ISDIR(info.st_mode)) return Fail(opened.fd, kErrorAccessDenied);
  // O_NONBLOCK changes nothing for a regular file; only others lose it.
  if (!S_ISREG(info.st_mode)) {
    int status = fcntl(opened.fd, F_GETFL);
    if (status < 0 || fcntl(opened.fd, F_SETFL, status & ~O_NONBLOCK) != 0)
      return Fail(opened.fd, posix::ErrorFromErrno(errno));
  }
  if (opened.existed && posix::IsReadOnly(info) && ((access & kAccessWrite) || truncate))
    return Fail(opened.fd, kErrorAccessDenied);

  posix::OpenFileRecord record{opened.fd, info.st_dev, info.st_ino, access, share, direct};
  if (!posix::RegisterOpenFile(record)) return Fail(opened.fd, kErrorSharingViolation);

  if (truncate && opened.existed && ftruncate(opened.fd, 0) != 0) {
    int error = errno;
    posix::UnregisterOpenFile(opened.fd);
    return Fail(opened.fd, posix::ErrorFromErrno(error));
  }
  if ((flags & kFlagSequentialScan) && (access & kAccessRead))
    posix::AdviseSequential(opened.fd, info.st_size);

  // Like Windows, a successful open of an existing file with a creating
  // disposition reports kErrorAlreadyExists.
  bool creating = disposition == kCreateAlways || disposition == kOpenAlways;
  SetLastError(opened.existed && creating ? kErrorAlreadyExists : kErrorSuccess);
  return static_cast<Handle>(opened.fd);
}

bool CloseFile(Handle file) {
  auto record = posix::LookUpFile(file);
  if (!record) return false;
  posix::UnregisterOpenFile(record->fd);
  if (close(record->fd) != 0 && errno != EINTR) {
    posix::SetErrnoError(errno);
    return false;
  }
  return true;
}

}  // namespace os
