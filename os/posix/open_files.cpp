#include "os/posix/open_files.h"

#include <map>
#include <mutex>

#include "os/file.h"

namespace os::posix {
namespace {

std::mutex& TableLock() {
  static std::mutex lock;
  return lock;
}

std::map<int, OpenFileRecord>& Table() {
  static auto* table = new std::map<int, OpenFileRecord>;
  return *table;
}

// Windows: each side's access must be allowed by the other side's share mode.
bool Compatible(const OpenFileRecord& a, const OpenFileRecord& b) {
  auto allows = [](const OpenFileRecord& opener, const OpenFileRecord& holder) {
    if ((opener.access & kAccessRead) && !(holder.share & kShareRead)) return false;
    if ((opener.access & kAccessWrite) && !(holder.share & kShareWrite)) return false;
    return true;
  };
  return allows(a, b) && allows(b, a);
}

}  // namespace

bool RegisterOpenFile(const OpenFileRecord& record) {
  std::lock_guard<std::mutex> guard(TableLock());
  for (const auto& [fd, other] : Table())
    if (other.device == record.device && other.inode == record.inode && !Compatible(record, other))
      return false;
  Table()[record.fd] = record;
  return true;
}

std::optional<OpenFileRecord> UnregisterOpenFile(int fd) {
  std::lock_guard<std::mutex> guard(TableLock());
  auto it = Table().find(fd);
  if (it == Table().end()) return std::nullopt;
  OpenFileRecord record = it->second;
  Table().erase(it);
  return record;
}

std::optional<OpenFileRecord> FindOpenFile(int fd) {
  std::lock_guard<std::mutex> guard(TableLock());
  auto it = Table().find(fd);
  if (it == Table().end()) return std::nullopt;
  return it->second;
}

bool IsFileOpen(dev_t device, ino_t inode) {
  std::lock_guard<std::mutex> guard(TableLock());
  for (const auto& [fd, other] : Table())
    if (other.device == device && other.inode == inode) return true;
  return false;
}

void ClearDirect(int fd) {
  std::lock_guard<std::mutex> guard(TableLock());
  auto it = Table().find(fd);
  if (it != Table().end()) it->second.direct = false;
}

}  // namespace os::posix
