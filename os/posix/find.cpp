// FindFirst / FindNext: a snapshot of the matching entries, taken at
// FindFirst and sorted like an NTFS listing ("." and ".." first, then by
// case-folded name). A pattern without wildcards looks up that one entry,
// case-sensitively like every other path on this system.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "os/fault.h"
#include "os/find.h"
#include "os/live_handles.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_stat.h"
#include "os/posix/native_path.h"
#include "os/posix/ntfs_order.h"
#include "os/posix/wildcard.h"

namespace os {
namespace {

constexpr std::uint32_t kErrorNoMoreFiles = 18;

struct Search {
  std::vector<FindData> entries;
  std::size_t next = 0;
};

using Searches = LiveHandles<Search>;

// A link is reported itself, as Windows reports it: a reparse point of
// size 0 with its own times.
bool FillEntry(const std::string& native, std::string_view name, FindData* data) {
  posix::EntryStat entry;
  if (!posix::StatEntry(AT_FDCWD, native.c_str(), &entry)) return false;
  const struct stat& info = entry.info;
  *data = FindData{};
  data->attributes = posix::AttributesOf(name, entry);
  data->creation = entry.creation;
  data->last_access = posix::FileTimeFromTimespec(info.st_atim);
  data->last_write = posix::FileTimeFromTimespec(info.st_mtim);
  data->size = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
  std::u16string wide = posix::EnginePath(name);
  std::size_t length = std::min(wide.size(), std::size(data->name) - 1);
  std::copy_n(wide.begin(), length, data->name);
  data->name[length] = 0;
  return true;
}

int DotRank(const FindData& data) {
  std::u16string_view name(data.name);
  return name == u"." ? 0 : name == u".." ? 1 : 2;
}

void SortLikeNtfs(std::vector<FindData>& entries) {
  std::sort(entries.begin(), entries.end(), [](const FindData& a, const FindData& b) {
    if (DotRank(a) != DotRank(b)) return DotRank(a) < DotRank(b);
    return posix::NtfsNameLess(a.name, b.name);
  });
}

bool IsRootFolder(const std::string& folder) {
  struct stat self, parent;
  return stat(folder.c_str(), &self) == 0 && stat((folder + "/..").c_str(), &parent) == 0 &&
         self.st_dev == parent.st_dev && self.st_ino == parent.st_ino;
}

// Lists `folder` for entries matching `pattern`; false when it cannot be read.
bool Collect(const std::string& folder, std::u16string_view pattern, std::vector<FindData>* out) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    int error = errno;
    SetLastError(error == ENOENT || error == ENOTDIR ? kErrorPathNotFound
                                                     : posix::ErrorFromErrno(error));
    return false;
  }
  bool skip_dots = IsRootFolder(folder);  // a drive root has no "." or ".."
  std::string prefix = folder == "/" ? folder : folder + "/";
  while (dirent* entry = readdir(dir)) {
    std::string_view name(entry->d_name);
    if (skip_dots && (name == "." || name == "..")) continue;
    if (!posix::MatchWildcard(pattern, posix::EnginePath(name))) continue;
    FindData data;
    if (FillEntry(prefix + std::string(name), name, &data)) out->push_back(data);
  }
  closedir(dir);
  return true;
}

}  // namespace

Handle FindFirst(const char16_t* pattern, FindData* data) {
  if (FaultInjected(FileOp::kFind)) return kInvalidHandle;
  if (!pattern || !data) {
    SetLastError(kErrorInvalidParameter);
    return kInvalidHandle;
  }
  std::string native = posix::NativePath(pattern);
  std::size_t slash = native.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash);
  std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
  if (name.empty()) {
    SetLastError(kErrorFileNotFound);
    return kInvalidHandle;
  }

  auto search = std::make_unique<Search>();
  std::u16string wide_name = posix::EnginePath(name);
  if (posix::HasWildcards(wide_name)) {
    if (!Collect(folder, wide_name, &search->entries)) return kInvalidHandle;
    SortLikeNtfs(search->entries);
  } else {
    FindData entry;
    if (!FillEntry(native, name, &entry)) {
      posix::SetPathError(errno, native);
      return kInvalidHandle;
    }
    search->entries.push_back(entry);
  }
  if (search->entries.empty()) {
    SetLastError(kErrorFileNotFound);
    return kInvalidHandle;
  }
  *data = search->entries[search->next++];
  return Searches::Table().Add(std::move(search));
}

bool FindNext(Handle handle, FindData* data) {
  if (FaultInjected(FileOp::kFind)) return false;
  Search* search = Searches::Table().Find(handle, [](Search* live) { return live; });
  if (!search || !data) {
    SetLastError(search ? kErrorInvalidParameter : kErrorInvalidHandle);
    return false;
  }
  if (search->next >= search->entries.size()) {
    SetLastError(kErrorNoMoreFiles);
    return false;
  }
  *data = search->entries[search->next++];
  return true;
}

void FindClose(Handle handle) { Searches::Table().Remove(handle); }

}  // namespace os
