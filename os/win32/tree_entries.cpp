// Files and links in a tree folder, by their long paths below a folder
// that is held open. Wine deletes what a link to a file points to and
// shows such a link as a plain file, so a file is never deleted by its
// name directly: an empty file of our own is first renamed over it, which
// replaces a link itself on every system.
#include <atomic>

#include "os/fault.h"
#include "os/tree.h"
#include "os/win32/tree_folder.h"

namespace os {
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

bool FlushTreeFiles(Handle folder) {
  std::u16string path;
  if (FaultInjected(FileOp::kFlush) || !win32::FolderPath(folder, &path)) return false;
  if (!FlushesReachDisk()) return true;
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(win32::Wide((path + u"\\*").c_str()), &found);
  if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  bool flushed = true;
  do {
    if (IsFolder(found.dwFileAttributes) || IsReparse(found.dwFileAttributes)) continue;
    const std::u16string file = path + u"\\" + reinterpret_cast<const char16_t*>(found.cFileName);
    HANDLE handle = ::CreateFileW(win32::Wide(file.c_str()), GENERIC_WRITE,
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
