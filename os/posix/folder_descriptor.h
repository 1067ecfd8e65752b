// A descriptor of a folder itself, for fsync and flock.
#pragma once

#include <string>

namespace os::posix {

// open(2) of the folder `native`, read-only and closed on exec. -1 with the
// last error set: kErrorPathNotFound when it is missing, ERROR_DIRECTORY
// when it is not a folder.
int OpenFolderDescriptor(const std::string& native);

}  // namespace os::posix
