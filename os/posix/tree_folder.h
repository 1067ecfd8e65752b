// What the POSIX tree operations share: a folder handle is the descriptor
// of a folder opened with O_NOFOLLOW, and names are checked and converted
// in one place.
#pragma once

#include <string>

#include "os/file.h"

namespace os::posix {

// The descriptor behind a folder handle, or -1 with kErrorInvalidHandle
// for a value that cannot be one.
int FolderDescriptor(Handle folder);
// The UTF-8 form of an entry name, or false with kErrorInvalidName.
bool EntryName(const char16_t* name, std::string* native);
// The last error for a failed call on an entry of a folder that is open:
// a missing entry is kErrorFileNotFound, a link met kErrorStoppedOnSymlink.
void SetEntryError(int error);

}  // namespace os::posix
