// The process-wide table of open file handles. It carries what a POSIX
// descriptor does not: the access a handle was opened with, and the
// Windows share mode, so that a conflicting second open of the same file
// fails with kErrorSharingViolation. The emulation covers opens made by
// this process only; other processes are not restricted.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace os::posix {

struct OpenFileRecord {
  int fd = -1;
  dev_t device = 0;
  ino_t inode = 0;
  std::uint32_t access = 0;
  std::uint32_t share = 0;
  bool direct = false;  // opened with O_DIRECT
};

// Adds the record unless it conflicts with an open handle of the same
// file; false means a sharing violation.
bool RegisterOpenFile(const OpenFileRecord& record);
// Removes and returns the record of `fd`, if it is one of ours.
std::optional<OpenFileRecord> UnregisterOpenFile(int fd);
std::optional<OpenFileRecord> FindOpenFile(int fd);
// True when a handle of the file is open (Windows refuses to delete it
// because no handle shares deletion).
bool IsFileOpen(dev_t device, ino_t inode);
// Drops O_DIRECT from the record once the file system refused it.
void ClearDirect(int fd);

}  // namespace os::posix
