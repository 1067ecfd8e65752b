// The link-safe tree: folders reached without links, and the files and
// links inside them, named relative to their folder.
#include <atomic>
#include <memory>

#include "os/fault.h"
#include "os/live_handles.h"
#include "os/tree.h"
#include "os/tree_names.h"
#include "os/win32/tree_folder.h"

namespace os {

// Folders of a tree reached without links. Every component is opened with
// FILE_FLAG_OPEN_REPARSE_POINT, so a link is opened itself and refused, and
// held without FILE_SHARE_DELETE, so that it cannot be renamed or replaced
// while the folders below it are used.
namespace {

struct FolderNode {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::u16string path;  // long form; ends with '\' only for a drive root
  std::shared_ptr<FolderNode> parent;
  ~FolderNode() { ::CloseHandle(handle); }
};

// What a folder handle points to.
struct TreeFolder {
  std::shared_ptr<FolderNode> node;
};

using Folders = LiveHandles<TreeFolder>;

Handle Register(std::shared_ptr<FolderNode> node) {
  return Folders::Table().Add(std::make_unique<TreeFolder>(TreeFolder{std::move(node)}));
}

std::shared_ptr<FolderNode> LookUp(Handle handle) {
  std::shared_ptr<FolderNode> node =
      Folders::Table().Find(handle, [](TreeFolder* folder) { return folder->node; });
  if (!node) ::SetLastError(ERROR_INVALID_HANDLE);
  return node;
}

std::u16string Join(const std::u16string& folder, std::u16string_view name) {
  std::u16string path = folder;
  if (path.empty() || path.back() != u'\\') path += u'\\';
  return path.append(name);
}

bool StartsWith(const std::u16string& text, std::u16string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// "\\?\C:\games", "\\?\UNC\server\share\games", or "\\?\C:\" for a root.
std::u16string LongForm(const char16_t* path) {
  DWORD needed = ::GetFullPathNameW(win32::Wide(path), 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::u16string full(needed, u'\0');
  DWORD length = ::GetFullPathNameW(win32::Wide(path), needed, win32::Wide(full.data()), nullptr);
  if (length == 0 || length >= needed) return {};
  full.resize(length);
  std::u16string out;
  if (StartsWith(full, u"\\\\?\\") || StartsWith(full, u"\\\\.\\")) out = full;
  else if (StartsWith(full, u"\\\\")) out = u"\\\\?\\UNC\\" + full.substr(2);
  else out = u"\\\\?\\" + full;
  while (out.size() > 4 && out.back() == u'\\') out.pop_back();
  if (out.size() == 6 && out[5] == u':') out += u'\\';  // a drive root keeps its separator
  return out;
}

HANDLE OpenFolderHandle(const std::u16string& path) {
  HANDLE handle = ::CreateFileW(
      win32::Wide(path.c_str()), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_TRAVERSE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) ::SetLastError(ERROR_PATH_NOT_FOUND);
    return handle;
  }
  DWORD attributes = win32::AttributesOf(handle, path);
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return handle;
  ::CloseHandle(handle);
  ::SetLastError(attributes == INVALID_FILE_ATTRIBUTES            ? ERROR_ACCESS_DENIED
                 : (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? kErrorStoppedOnSymlink
                                                                 : kErrorDirectory);
  return INVALID_HANDLE_VALUE;
}

std::shared_ptr<FolderNode> OpenNode(std::shared_ptr<FolderNode> parent, std::u16string path,
                                     bool create) {
  HANDLE handle = OpenFolderHandle(path);
  if (handle == INVALID_HANDLE_VALUE && create && ::GetLastError() == ERROR_PATH_NOT_FOUND) {
    if (FaultInjected(FileOp::kCreateFolder)) return nullptr;
    if (!::CreateDirectoryW(win32::Wide(path.c_str()), nullptr) &&
        ::GetLastError() != ERROR_ALREADY_EXISTS)
      return nullptr;
    handle = OpenFolderHandle(path);
  }
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  auto node = std::make_shared<FolderNode>();
  node->handle = handle;
  node->path = std::move(path);
  node->parent = std::move(parent);
  return node;
}

bool IdentityOf(HANDLE handle, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) return false;
  identity->volume = info.dwVolumeSerialNumber;
  identity->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

EntryInfo InfoOf(DWORD attributes, const FILETIME& creation, const FILETIME& access,
                 const FILETIME& write, DWORD size_high, DWORD size_low) {
  EntryInfo info;
  info.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? EntryKind::kLink
              : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? EntryKind::kFolder
                                                          : EntryKind::kFile;
  info.attributes = attributes;
  if (info.kind == EntryKind::kFile)
    info.size = (static_cast<std::uint64_t>(size_high) << 32) | size_low;
  info.creation.ticks = win32::FromFiletime(creation);
  info.last_access.ticks = win32::FromFiletime(access);
  info.last_write.ticks = win32::FromFiletime(write);
  return info;
}

}  // namespace

namespace win32 {

bool FolderPath(Handle folder, std::u16string* path) {
  std::shared_ptr<FolderNode> node = LookUp(folder);
  if (!node) return false;
  *path = node->path;
  return true;
}

bool EntryPath(Handle folder, const char16_t* name, std::u16string* path) {
  std::shared_ptr<FolderNode> node = LookUp(folder);
  if (!node) return false;
  if (!name || !IsEntryName(name)) {
    ::SetLastError(kErrorInvalidName);
    return false;
  }
  *path = Join(node->path, name);
  return true;
}

DWORD PathAttributes(const std::u16string& path) {
  return ::GetFileAttributesW(Wide(path.c_str()));
}

namespace {

// The normalized path the system resolved `handle` to, or empty.
std::u16string FinalPath(HANDLE handle) {
  std::u16string path(MAX_PATH, u'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD length = ::GetFinalPathNameByHandleW(handle, Wide(path.data()),
                                               static_cast<DWORD>(path.size()), 0);
    if (length == 0) break;
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length + 1);
  }
  return {};
}

bool SamePath(const std::u16string& a, const std::u16string& b) {
  return ::CompareStringOrdinal(Wide(a.c_str()), -1, Wide(b.c_str()), -1, TRUE) == CSTR_EQUAL;
}

// The name `folder` lists for its entry `name`: a short (8.3) name is
// listed under the entry's own long name, also for a link. Empty when
// nothing is listed under it, or when `name` is a pattern, which could
// match another entry.
std::u16string ListedName(const std::u16string& folder, const char16_t* name) {
  if (std::u16string_view(name).find_first_of(u"*?<>\"") != std::u16string_view::npos) return {};
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(Wide(Join(folder, name).c_str()), &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  ::FindClose(search);
  return reinterpret_cast<const char16_t*>(found.cFileName);
}

}  // namespace

bool OpenedItself(Handle folder, const char16_t* name, HANDLE entry) {
  std::shared_ptr<FolderNode> node = LookUp(folder);
  if (!node) return false;
  const std::u16string folder_path = FinalPath(node->handle);
  const std::u16string entry_path = FinalPath(entry);
  if (folder_path.empty() || entry_path.empty()) return false;
  if (SamePath(Join(folder_path, name), entry_path)) return true;
  // The system reports the entry under its long name.
  const std::u16string listed = ListedName(folder_path, name);
  return !listed.empty() && SamePath(Join(folder_path, listed), entry_path);
}

DWORD AttributesOf(HANDLE handle, const std::u16string& path) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) return INVALID_FILE_ATTRIBUTES;
  DWORD by_path = PathAttributes(path);
  if (by_path != INVALID_FILE_ATTRIBUTES) return info.dwFileAttributes | (by_path & FILE_ATTRIBUTE_REPARSE_POINT);
  return info.dwFileAttributes;
}

}  // namespace win32

Handle OpenTreeRoot(const char16_t* path) {
  if (FaultInjected(FileOp::kOpen) || !win32::CheckPath(path)) return kInvalidHandle;
  std::u16string long_form = LongForm(path);
  if (long_form.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return kInvalidHandle;
  }
  std::shared_ptr<FolderNode> node = OpenNode(nullptr, std::move(long_form), false);
  return node ? Register(std::move(node)) : kInvalidHandle;
}

Handle OpenTreeFolder(Handle folder, const char16_t* relative, bool create) {
  if (FaultInjected(FileOp::kOpen)) return kInvalidHandle;
  std::shared_ptr<FolderNode> node = LookUp(folder);
  if (!node) return kInvalidHandle;
  bool whole = ForEachComponent(relative ? relative : u"", [&](std::u16string_view name) {
    if (!IsEntryName(name)) {
      ::SetLastError(kErrorInvalidName);
      return false;
    }
    std::u16string path = Join(node->path, name);
    node = OpenNode(node, std::move(path), create);
    return node != nullptr;
  });
  return whole ? Register(std::move(node)) : kInvalidHandle;
}

bool CloseTreeFolder(Handle folder) {
  if (Folders::Table().Remove(folder)) return true;
  ::SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

bool GetFolderIdentity(Handle folder, FileIdentity* identity) {
  if (FaultInjected(FileOp::kQuery)) return false;
  std::shared_ptr<FolderNode> node = LookUp(folder);
  return node && IdentityOf(node->handle, identity);
}

bool GetPathIdentity(const char16_t* path, FileIdentity* identity) {
  if (FaultInjected(FileOp::kQuery) || !win32::CheckPath(path)) return false;
  HANDLE handle = ::CreateFileW(win32::Wide(path), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool known = IdentityOf(handle, identity);
  ::CloseHandle(handle);
  return known;
}

bool GetEntryInfo(Handle folder, const char16_t* name, EntryInfo* info) {
  if (FaultInjected(FileOp::kQuery)) return false;
  std::u16string path;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!win32::EntryPath(folder, name, &path) ||
      !::GetFileAttributesExW(win32::Wide(path.c_str()), GetFileExInfoStandard, &data))
    return false;
  *info = InfoOf(data.dwFileAttributes, data.ftCreationTime, data.ftLastAccessTime,
                 data.ftLastWriteTime, data.nFileSizeHigh, data.nFileSizeLow);
  return true;
}

bool ListFolder(Handle folder, std::vector<FolderEntry>* entries) {
  if (FaultInjected(FileOp::kFind)) return false;
  std::u16string path;
  if (!win32::FolderPath(folder, &path)) return false;
  entries->clear();
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(win32::Wide(Join(path, u"*").c_str()), &found);
  if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    std::u16string name(reinterpret_cast<const char16_t*>(found.cFileName));
    if (name == u"." || name == u"..") continue;
    entries->push_back(FolderEntry{
        std::move(name), InfoOf(found.dwFileAttributes, found.ftCreationTime, found.ftLastAccessTime,
                                found.ftLastWriteTime, found.nFileSizeHigh, found.nFileSizeLow)});
  } while (::FindNextFileW(search, &found));
  DWORD error = ::GetLastError();
  ::FindClose(search);
  if (error == ERROR_NO_MORE_FILES) return true;
  ::SetLastError(error);
  return false;
}

bool ListFolderNames(Handle folder, std::vector<std::u16string>* names) {
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, &entries)) return false;
  names->clear();
  for (FolderEntry& entry : entries) names->push_back(std::move(entry.name));
  return true;
}

// Files and links in a tree folder, by their long paths below a folder
// that is held open. Wine deletes what a link to a file points to and
// shows such a link as a plain file, so a file is never deleted by its
// name directly: an empty file of our own is first renamed over it, which
// replaces a link itself on every system.
namespace {

bool Fail(DWORD code) {
  ::SetLastError(code);
  return false;
}

DWORD ScanFlags(std::uint32_t flags) {
  return (flags & kFlagSequentialScan) ? FILE_FLAG_SEQUENTIAL_SCAN : 0;
}

bool IsReparse(DWORD attributes) { return attributes & FILE_ATTRIBUTE_REPARSE_POINT; }
bool IsFolder(DWORD attributes) { return attributes & FILE_ATTRIBUTE_DIRECTORY; }

// The entry is there and may be changed: not a link (of any kind we can see).
bool CheckNotLink(DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return !IsReparse(attributes) || Fail(kErrorStoppedOnSymlink);
}

// Opens the entry itself, never what a link points to.
HANDLE OpenEntry(const std::u16string& path, DWORD access) {
  return ::CreateFileW(win32::Wide(path.c_str()), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                       nullptr);
}

// A link to a folder is removed through a handle of the link itself; where
// the system opened its target instead (Wine), nothing is removed.
bool DeleteFolderLink(const std::u16string& path) {
  HANDLE link = OpenEntry(path, DELETE | FILE_READ_ATTRIBUTES);
  if (link == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool is_link = ::GetFileInformationByHandle(link, &info) && IsReparse(info.dwFileAttributes);
  FILE_DISPOSITION_INFO disposition{TRUE};
  bool deleted = is_link && ::SetFileInformationByHandle(link, FileDispositionInfo, &disposition,
                                                         sizeof disposition);
  DWORD error = is_link ? ::GetLastError() : kErrorStoppedOnSymlink;
  ::CloseHandle(link);
  return deleted || Fail(error);
}

// The entry at `path` (named `name` in `folder`) can be moved itself: a
// link whose handle reaches what it points to (Wine) is refused with
// kErrorStoppedOnSymlink, and so is one whose handle cannot be asked.
bool CheckMovesItself(Handle folder, const char16_t* name, const std::u16string& path) {
  HANDLE entry = OpenEntry(path, FILE_READ_ATTRIBUTES);
  if (entry == INVALID_HANDLE_VALUE) return false;
  const bool itself = win32::OpenedItself(folder, name, entry);
  ::CloseHandle(entry);
  return itself || Fail(kErrorStoppedOnSymlink);
}

// A new file for writing; never an existing entry, a link included.
HANDLE CreateNewFile(const std::u16string& path, std::uint32_t flags) {
  return ::CreateFileW(win32::Wide(path.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | ScanFlags(flags),
                       nullptr);
}

// A new file of a fresh name (`prefix` and eight hexadecimal digits) in
// `folder`, for writing; its long path in `path`. `flags` add to the
// creation's flags.
HANDLE CreateUniqueFile(Handle folder, const char16_t* prefix, DWORD flags, std::u16string* path) {
  static std::atomic<std::uint32_t> counter{0};
  const DWORD access = GENERIC_WRITE | ((flags & FILE_FLAG_DELETE_ON_CLOSE) ? DELETE : 0);
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::uint32_t stamp = (::GetCurrentProcessId() << 16) ^ ::GetTickCount() ^ (counter++ * 2654435761u);
    std::u16string name = prefix;
    for (int i = 0; i < 8; ++i) name += u"0123456789abcdef"[(stamp >> (28 - 4 * i)) & 0xF];
    if (!win32::EntryPath(folder, name.c_str(), path)) return INVALID_HANDLE_VALUE;
    HANDLE file = ::CreateFileW(win32::Wide(path->c_str()), access, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | flags, nullptr);
    if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

// A fresh empty file in `folder`, closed again; its long path in `path`.
bool CreatePlaceholder(Handle folder, std::u16string* path) {
  HANDLE file = CreateUniqueFile(folder, u"~qvdel", 0, path);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

}  // namespace

Handle CreateFileIn(Handle folder, const char16_t* name, std::uint32_t flags) {
  std::u16string path;
  if (FaultInjected(FileOp::kOpen) || !win32::EntryPath(folder, name, &path)) return kInvalidHandle;
  return win32::FromNative(CreateNewFile(path, flags));
}

Handle OpenFileIn(Handle folder, const char16_t* name, std::uint32_t flags) {
  std::u16string path;
  if (FaultInjected(FileOp::kOpen) || !win32::EntryPath(folder, name, &path)) return kInvalidHandle;
  HANDLE file = ::CreateFileW(win32::Wide(path.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | ScanFlags(flags), nullptr);
  if (file == INVALID_HANDLE_VALUE) return kInvalidHandle;
  DWORD attributes = win32::AttributesOf(file, path);
  if (attributes != INVALID_FILE_ATTRIBUTES && !IsReparse(attributes) && !IsFolder(attributes))
    return win32::FromNative(file);
  ::CloseHandle(file);
  ::SetLastError(IsReparse(attributes) ? kErrorStoppedOnSymlink : ERROR_ACCESS_DENIED);
  return kInvalidHandle;
}

bool ProbeNewFile(Handle folder) {
  std::u16string path;
  if (FaultInjected(FileOp::kOpen)) return false;
  HANDLE file = CreateUniqueFile(folder, u"~qvprobe", FILE_FLAG_DELETE_ON_CLOSE, &path);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

bool RenameEntry(Handle from_folder, const char16_t* from_name, Handle to_folder,
                 const char16_t* to_name) {
  std::u16string from, to;
  if (FaultInjected(FileOp::kRename) || !win32::EntryPath(from_folder, from_name, &from) ||
      !win32::EntryPath(to_folder, to_name, &to))
    return false;
  DWORD target = win32::PathAttributes(to);
  if (target != INVALID_FILE_ATTRIBUTES &&
      (IsFolder(target) || ((target & FILE_ATTRIBUTE_READONLY) && !IsReparse(target))))
    return Fail(ERROR_ACCESS_DENIED);
  return CheckMovesItself(from_folder, from_name, from) &&
         ::MoveFileExW(win32::Wide(from.c_str()), win32::Wide(to.c_str()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool FlushTreeFolder(Handle folder) {
  std::u16string path;
  return !FaultInjected(FileOp::kFlush) && win32::FolderPath(folder, &path);
}

bool FlushTreeFolders(const Handle* folders, std::size_t count) {
  if (FaultInjected(FileOp::kFlush)) return false;
  std::u16string path;
  for (std::size_t i = 0; i < count; ++i)
    if (!win32::FolderPath(folders[i], &path)) return false;
  return true;
}

namespace {

// FlushFileBuffers on every file below `path`, folders entered (links not).
bool FlushFilesBelow(const std::u16string& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(win32::Wide((path + u"\\*").c_str()), &found);
  if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  bool flushed = true;
  do {
    const std::u16string name = reinterpret_cast<const char16_t*>(found.cFileName);
    if (IsReparse(found.dwFileAttributes) || name == u"." || name == u"..") continue;
    const std::u16string entry = path + u"\\" + name;
    if (IsFolder(found.dwFileAttributes)) {
      flushed = FlushFilesBelow(entry);
      continue;
    }
    HANDLE handle = ::CreateFileW(win32::Wide(entry.c_str()), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    flushed = handle != INVALID_HANDLE_VALUE && ::FlushFileBuffers(handle);
    const DWORD error = ::GetLastError();
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    ::SetLastError(error);
  } while (flushed && ::FindNextFileW(search, &found));
  const DWORD error = flushed ? ERROR_SUCCESS : ::GetLastError();
  ::FindClose(search);
  return flushed || Fail(error);
}

}  // namespace

bool FlushTreeFiles(Handle folder) {
  std::u16string path;
  if (FaultInjected(FileOp::kFlush) || !win32::FolderPath(folder, &path)) return false;
  return !FlushesReachDisk() || FlushFilesBelow(path);
}

bool DeleteEntry(Handle folder, const char16_t* name) {
  std::u16string path;
  if (FaultInjected(FileOp::kDelete) || !win32::EntryPath(folder, name, &path)) return false;
  DWORD attributes = win32::PathAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (IsFolder(attributes))
    return IsReparse(attributes) ? DeleteFolderLink(path) : Fail(ERROR_ACCESS_DENIED);
  if ((attributes & FILE_ATTRIBUTE_READONLY) && !IsReparse(attributes))
    return Fail(ERROR_ACCESS_DENIED);
  std::u16string placeholder;
  if (!CreatePlaceholder(folder, &placeholder)) return false;
  if (!::MoveFileExW(win32::Wide(placeholder.c_str()), win32::Wide(path.c_str()),
                     MOVEFILE_REPLACE_EXISTING)) {
    DWORD error = ::GetLastError();
    ::DeleteFileW(win32::Wide(placeholder.c_str()));
    return Fail(error);
  }
  return ::DeleteFileW(win32::Wide(path.c_str()));
}

bool RemoveFolderIn(Handle folder, const char16_t* name) {
  std::u16string path;
  if (FaultInjected(FileOp::kRemoveFolder) || !win32::EntryPath(folder, name, &path)) return false;
  DWORD attributes = win32::PathAttributes(path);
  if (!CheckNotLink(attributes)) return false;
  if (!IsFolder(attributes)) return Fail(kErrorDirectory);
  return ::RemoveDirectoryW(win32::Wide(path.c_str()));
}

bool SetEntryAttributes(Handle folder, const char16_t* name, std::uint32_t attributes) {
  std::u16string path;
  if (FaultInjected(FileOp::kSetAttributes) || !win32::EntryPath(folder, name, &path) ||
      !CheckNotLink(win32::PathAttributes(path)))
    return false;
  return ::SetFileAttributesW(win32::Wide(path.c_str()), attributes);
}

bool SetEntryTimes(Handle folder, const char16_t* name, const FileTime* creation,
                   const FileTime* last_access, const FileTime* last_write) {
  std::u16string path;
  if (FaultInjected(FileOp::kSetTimes) || !win32::EntryPath(folder, name, &path)) return false;
  HANDLE entry = OpenEntry(path, FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES);
  if (entry == INVALID_HANDLE_VALUE) return false;
  FILETIME times[3];
  const FileTime* given[3] = {creation, last_access, last_write};
  for (int i = 0; i < 3; ++i)
    if (given[i]) times[i] = win32::ToFiletime(*given[i]);
  bool set = CheckNotLink(win32::AttributesOf(entry, path)) &&
             ::SetFileTime(entry, creation ? &times[0] : nullptr, last_access ? &times[1] : nullptr,
                           last_write ? &times[2] : nullptr);
  DWORD error = ::GetLastError();
  ::CloseHandle(entry);
  return set || Fail(error);
}

}  // namespace os
