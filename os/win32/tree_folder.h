// What the Win32 tree operations share: a folder handle stands for an
// open folder and the long form of its path ("\\?\C:\..."), under which
// names are joined without the system's rewriting of "." , ".." and
// trailing dots. Each folder holds its parent open, so no folder on the
// way can be renamed while it is in use.
#pragma once

#include <string>

#include "os/win32/windows_fwd.h"

namespace os::win32 {

// The long path of an entry of `folder`, or false with kErrorInvalidHandle
// or kErrorInvalidName.
bool EntryPath(Handle folder, const char16_t* name, std::u16string* path);
// The long path of the folder itself.
bool FolderPath(Handle folder, std::u16string* path);

// The attributes of the entry at `path` itself. Wine opens through its
// links and marks a link to a folder only in what the path reports, so the
// reparse bit of both answers counts.
DWORD AttributesOf(HANDLE handle, const std::u16string& path);
// GetFileAttributesW of the entry itself (a link is not followed).
DWORD PathAttributes(const std::u16string& path);
// Whether `entry`, opened by the name `name` of `folder`, is that entry
// itself: Wine opens what a link points to even with
// FILE_FLAG_OPEN_REPARSE_POINT, and shows a link to a file as a plain file,
// so only the final path of the handle tells. A short (8.3) name is that
// entry when the folder lists it under the long name the handle reports.
bool OpenedItself(Handle folder, const char16_t* name, HANDLE entry);

}  // namespace os::win32
