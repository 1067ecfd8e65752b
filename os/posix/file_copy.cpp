// Copying between two open files inside the kernel.
#include <sys/sendfile.h>
#include <unistd.h>

#include <cerrno>

#include "os/fault.h"
#include "os/file.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_handle.h"

namespace os {
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

}  // namespace os
