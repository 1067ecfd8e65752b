// Folders named by environment variables.
#pragma once

#include <string>

namespace os::posix {

// An environment value usable as a folder: set, absolute (relative XDG
// values are to be ignored), without trailing separators. Empty otherwise.
std::string FolderFromEnvironment(const char* name);

}  // namespace os::posix
