// The SHA-256 of a file in a folder tree, read without following links.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/common/file_io.h"
#include "tools/common/progress_meter.h"
#include "tools/qvpatch/sha256.h"

// Hashes the file `relative` of `files`, moving `meter` on by its bytes;
// `size` receives the bytes read. False, with the reason in `error`, when
// it cannot be opened or read.
bool HashTreeFile(TreeFiles* files, std::u16string_view relative, ProgressMeter* meter,
                  Sha256Digest* digest, std::uint64_t* size, std::string* error);
