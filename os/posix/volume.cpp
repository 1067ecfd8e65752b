// Volumes: the room left for this user and the logical block size of the
// device.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>

#include "os/fault.h"
#include "os/file.h"
#include "os/posix/errno_map.h"
#include "os/posix/folder_descriptor.h"
#include "os/posix/native_path.h"
#include "os/volume.h"

namespace os {

bool GetFreeDiskSpace(const char16_t* folder, std::uint64_t* available) {
  if (FaultInjected(FileOp::kQuery)) return false;
  if (!available) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  const int fd = posix::OpenFolderDescriptor(folder);
  if (fd < 0) return false;
  struct statvfs volume;
  const bool known = fstatvfs(fd, &volume) == 0;
  if (!known) posix::SetErrnoError(errno);
  close(fd);
  if (!known) return false;
  const std::uint64_t block = volume.f_frsize ? volume.f_frsize : volume.f_bsize;
  const std::uint64_t blocks = volume.f_bavail;
  constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
  *available = block != 0 && blocks > kMost / block ? kMost : blocks * block;
  return true;
}

namespace {

constexpr std::uint32_t kDefaultSectorSize = 512;

std::uint32_t ReadBlockSize(const std::string& device_folder) {
  std::ifstream in(device_folder + "/queue/logical_block_size");
  unsigned long value = 0;
  if (!(in >> value)) return 0;
  bool power_of_two = value && (value & (value - 1)) == 0;
  return power_of_two && value >= 512 && value <= 65536 ? static_cast<std::uint32_t>(value) : 0;
}

std::uint32_t DeviceBlockSize(dev_t device) {
  std::string link = "/sys/dev/block/" + std::to_string(major(device)) + ":" +
                     std::to_string(minor(device));
  if (std::uint32_t size = ReadBlockSize(link)) return size;
  // A partition has its queue on the whole disk, the parent folder.
  char resolved[PATH_MAX];
  if (!realpath(link.c_str(), resolved)) return 0;
  return ReadBlockSize(posix::ParentFolder(resolved));
}

}  // namespace

std::uint32_t GetSectorSize(const char16_t* root) {
  if (FaultInjected(FileOp::kQuery)) return 0;
  if (!root) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  std::u16string_view view(root);
  if (view.size() >= 2 && (view[0] == u'\\' || view[0] == u'/') &&
      (view[1] == u'\\' || view[1] == u'/')) {
    SetLastError(kErrorInvalidParameter);  // a network share has no sector size here
    return 0;
  }
  std::string native = posix::NativePath(root);
  struct stat info;
  if (stat(native.c_str(), &info) != 0) {
    posix::SetPathError(errno, native);
    return 0;
  }
  std::uint32_t size = DeviceBlockSize(info.st_dev);
  return size ? size : kDefaultSectorSize;
}

}  // namespace os
