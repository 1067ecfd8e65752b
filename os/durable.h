// What a crash-safe writer needs besides reading and writing: data and
// folder entries brought to the disk, and a file replaced by a rename.
//
// The pattern: write a temporary file beside the target, FlushFile it,
// close it, Rename it over the target, FlushFolder the target's folder.
// At every moment the target is either the old file or the new one.
#pragma once

#include <cstdint>

#include "os/file.h"

namespace os {

inline constexpr std::uint32_t kErrorNotSameDevice = 17;

// Writes what the system holds of the file, data and metadata, to the
// disk (FlushFileBuffers; fsync). The handle needs write access, as on
// Windows; otherwise kErrorAccessDenied.
bool FlushFile(Handle file);

// Makes the changes of the entries of `folder` (created, renamed and
// deleted names) durable. Windows has nothing to do after Rename, which
// writes through, and only checks that the folder is there; POSIX fsyncs
// the folder. A missing folder fails with kErrorPathNotFound, a file with
// ERROR_DIRECTORY (267).
bool FlushFolder(const char16_t* folder);

// Renames the file or folder `from` to `to` on the same volume (MoveFileExW
// with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH; rename). An
// existing file `to` is replaced in one step, unless it is read-only
// (kErrorAccessDenied). Nothing ever replaces a folder, and a folder
// replaces nothing (kErrorAccessDenied). A file that a handle holds open
// cannot be moved (kErrorSharingViolation) nor replaced
// (kErrorAccessDenied). Another volume fails with kErrorNotSameDevice.
// Symbolic links are moved and replaced themselves, never followed.
bool Rename(const char16_t* from, const char16_t* to);

}  // namespace os
