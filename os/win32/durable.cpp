// Flushing files and folders, and renaming over a file.
#include "os/durable.h"

#include "os/fault.h"
#include "os/win32/folder_check.h"
#include "os/win32/windows_fwd.h"

namespace os {

using win32::CheckPath;
using win32::Wide;

bool FlushFile(Handle file) {
  return !FaultInjected(FileOp::kFlush) && win32::CheckHandle(file) &&
         (!FlushesReachDisk() || ::FlushFileBuffers(win32::ToNative(file)));
}

// Rename writes through: the entry is on the disk when MoveFileExW returns,
// so there is nothing left to flush.
bool FlushFolder(const char16_t* folder) {
  return !FaultInjected(FileOp::kFlush) && win32::CheckFolder(folder);
}

namespace {

// What Windows refuses to replace, checked before the move because Wine
// (as root, or on file systems without the attribute) replaces read-only
// files and puts folders in the place of files. A new spelling of the same
// name is a rename, not a replacement.
bool Replaceable(const char16_t* from, const char16_t* to) {
  const DWORD moved = ::GetFileAttributesW(Wide(from));
  const DWORD replaced = ::GetFileAttributesW(Wide(to));
  if (moved == INVALID_FILE_ATTRIBUTES || replaced == INVALID_FILE_ATTRIBUTES ||
      ::CompareStringOrdinal(Wide(from), -1, Wide(to), -1, TRUE) == CSTR_EQUAL)
    return true;
  const bool read_only =
      (replaced & FILE_ATTRIBUTE_READONLY) && !(replaced & FILE_ATTRIBUTE_REPARSE_POINT);
  if (!(moved & FILE_ATTRIBUTE_DIRECTORY) && !(replaced & FILE_ATTRIBUTE_DIRECTORY) && !read_only)
    return true;
  ::SetLastError(ERROR_ACCESS_DENIED);
  return false;
}

}  // namespace

bool Rename(const char16_t* from, const char16_t* to) {
  return !FaultInjected(FileOp::kRename) && CheckPath(from) && CheckPath(to) &&
         Replaceable(from, to) &&
         ::MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

}  // namespace os
