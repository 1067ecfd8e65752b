// Validation of file handles at the interface.
#pragma once

#include <optional>

#include "os/file.h"
#include "os/posix/open_files.h"

namespace os::posix {

// The record of an open handle; otherwise sets kErrorInvalidHandle.
std::optional<OpenFileRecord> LookUpFile(Handle file);

}  // namespace os::posix
