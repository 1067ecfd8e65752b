// Validation of file handles at the interface.
#pragma once

#include <sys/stat.h>

#include <optional>

#include "os/file.h"
#include "os/posix/open_files.h"
#include "os/times.h"

namespace os::posix {

// The record of an open handle; otherwise sets kErrorInvalidHandle. A
// handle opened without all of `access` fails with kErrorAccessDenied.
std::optional<OpenFileRecord> LookUpFile(Handle file, std::uint32_t access = 0);

// fstat() of an open handle, a query for the fault seam: the record and
// what fstat() says, or nullopt with the error set. With `creation` the
// same call also gives the creation time (StatWithBirth).
std::optional<OpenFileRecord> StatOpenFile(Handle file, struct stat* info,
                                           FileTime* creation = nullptr);

}  // namespace os::posix
