// A descriptor of a folder itself, for fsync and flock.
#pragma once

namespace os::posix {

// open(2) of the folder `folder`, read-only and closed on exec. -1 with the
// last error set: kErrorInvalidParameter for a null path,
// kErrorPathNotFound when it is missing, ERROR_DIRECTORY when it is not a
// folder.
int OpenFolderDescriptor(const char16_t* folder);

}  // namespace os::posix
