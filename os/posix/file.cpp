// Files by handle on top of open(2): Windows dispositions, share modes and
// read-only rules, transfers, seeks and sizes, and copying inside the
// kernel.
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "os/fault.h"
#include "os/file.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_handle.h"
#include "os/posix/file_stat.h"
#include "os/posix/native_path.h"
#include "os/posix/open_files.h"

namespace os {

// OpenFile and CloseFile: Windows dispositions, share modes and read-only
// rules on top of open(2).
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

// Opening an existing file first, as kCreateAlways does, and creating it
// otherwise gives the same results as the two steps on Windows.
Handle OpenFileForRewrite(const char16_t* path) {
  Handle file = OpenFile(path, kAccessWrite, kShareNone, kCreateAlways, kAttrNormal, 0);
  if (file != kInvalidHandle) SetLastError(kErrorSuccess);
  return file;
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

// Reads, writes, seeks and sizes on open handles.
namespace {

// Some file systems accept O_DIRECT at open time but refuse a transfer
// (alignment they do not like); the handle then continues buffered.
bool DropDirect(const posix::OpenFileRecord& record) {
  if (!record.direct) return false;
  int status = fcntl(record.fd, F_GETFL);
  if (status < 0 || fcntl(record.fd, F_SETFL, status & ~O_DIRECT) != 0) return false;
  posix::ClearDirect(record.fd);
  return true;
}

// Moves `count` bytes with repeated `step` calls (read or write), retrying
// interruptions and continuing buffered where O_DIRECT is refused. Stops at
// a call that moves nothing (end of file, or a device that takes no more)
// and, for direct reads, after the first call: reading on would be
// misaligned.
template <typename Step>
bool Transfer(Handle file, std::uint32_t access, std::uint32_t count, std::uint32_t* done,
              Step step) {
  if (done) *done = 0;
  if (FaultInjected(access == kAccessRead ? FileOp::kRead : FileOp::kWrite)) return false;
  auto record = posix::LookUpFile(file, access);
  if (!record) return false;
  std::uint32_t total = 0;
  while (total < count) {
    ssize_t moved = step(record->fd, total, count - total);
    if (moved < 0) {
      if (errno == EINTR) continue;
      if (errno == EINVAL && DropDirect(*record)) {
        record->direct = false;
        continue;
      }
      posix::SetErrnoError(errno);
      if (done) *done = total;
      return false;
    }
    total += static_cast<std::uint32_t>(moved);
    if (moved == 0 || (access == kAccessRead && record->direct)) break;
  }
  if (done) *done = total;
  return true;
}

}  // namespace

bool ReadFile(Handle file, void* buffer, std::uint32_t count, std::uint32_t* done) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  return Transfer(file, kAccessRead, count, done, [bytes](int fd, std::uint32_t at, std::uint32_t size) {
    return read(fd, bytes + at, size);
  });
}

bool ReadFileAt(Handle file, std::uint64_t offset, void* buffer, std::uint32_t count,
                std::uint32_t* done) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - count) {
    if (done) *done = 0;
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  return Transfer(file, kAccessRead, count, done,
                  [bytes, offset](int fd, std::uint32_t at, std::uint32_t size) {
                    return pread(fd, bytes + at, size, static_cast<off_t>(offset + at));
                  });
}

bool WriteFile(Handle file, const void* buffer, std::uint32_t count, std::uint32_t* done) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  return Transfer(file, kAccessWrite, count, done, [bytes](int fd, std::uint32_t at, std::uint32_t size) {
    return write(fd, bytes + at, size);
  });
}

std::int64_t SeekFile(Handle file, std::int64_t distance, SeekOrigin origin) {
  if (FaultInjected(FileOp::kQuery)) return -1;
  auto record = posix::LookUpFile(file);
  if (!record) return -1;
  std::int64_t base = 0;
  if (origin == kSeekCurrent) {
    base = lseek(record->fd, 0, SEEK_CUR);
  } else if (origin == kSeekEnd) {
    struct stat info;
    base = fstat(record->fd, &info) == 0 ? info.st_size : -1;
  } else if (origin != kSeekBegin) {
    SetLastError(kErrorInvalidParameter);
    return -1;
  }
  if (base < 0) {
    posix::SetErrnoError(errno);
    return -1;
  }
  if (distance > std::numeric_limits<std::int64_t>::max() - base) {
    SetLastError(kErrorInvalidParameter);
    return -1;
  }
  std::int64_t target = base + distance;
  if (target < 0) {
    SetLastError(kErrorNegativeSeek);
    return -1;
  }
  off_t moved = lseek(record->fd, static_cast<off_t>(target), SEEK_SET);
  if (moved < 0) {
    posix::SetErrnoError(errno);
    return -1;
  }
  return moved;
}

bool GetFileSize(Handle file, std::uint64_t* size) {
  struct stat info;
  if (!posix::StatOpenFile(file, &info)) return false;
  if (size) *size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

// Copying between two open files inside the kernel.
namespace {

// copy_file_range refuses some pairs of files (other file systems, older
// kernels, special files) before it copies anything; sendfile takes any
// regular source.
bool RefusedPair(int error) {
  return error == EXDEV || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
}

}  // namespace

bool SystemCopiesFileData() { return true; }

bool CopyFileData(Handle from, Handle to, std::uint32_t count, std::uint32_t* done) {
  if (done) *done = 0;
  if (FaultInjected(FileOp::kWrite)) return false;
  auto source = posix::LookUpFile(from);
  auto target = posix::LookUpFile(to);
  if (!source || !target) return false;
  if (!(source->access & kAccessRead) || !(target->access & kAccessWrite)) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  std::uint32_t total = 0;
  bool in_kernel_range = true;
  while (total < count) {
    const ssize_t moved =
        in_kernel_range
            ? copy_file_range(source->fd, nullptr, target->fd, nullptr, count - total, 0)
            : sendfile(target->fd, source->fd, nullptr, count - total);
    if (moved < 0) {
      if (errno == EINTR) continue;
      if (in_kernel_range && total == 0 && RefusedPair(errno)) {
        in_kernel_range = false;
        continue;
      }
      posix::SetErrnoError(errno);
      if (done) *done = total;
      return false;
    }
    if (moved == 0) break;
    total += static_cast<std::uint32_t>(moved);
  }
  if (done) *done = total;
  return true;
}

bool ReadAheadFile(Handle file, std::uint64_t offset, std::uint32_t count) {
  if (FaultInjected(FileOp::kRead)) return false;
  auto opened = posix::LookUpFile(file);
  if (!opened) return false;
  const int error =
      posix_fadvise(opened->fd, static_cast<off_t>(offset), count, POSIX_FADV_WILLNEED);
  if (error != 0) posix::SetErrnoError(error);
  return error == 0;
}

}  // namespace os
