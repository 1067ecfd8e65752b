// Reads, writes, seeks and sizes on open handles.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "os/fault.h"
#include "os/file.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_handle.h"

namespace os {
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
  auto record = posix::LookUpFile(file);
  if (!record) return false;
  if (!(record->access & access)) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
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

}  // namespace os
