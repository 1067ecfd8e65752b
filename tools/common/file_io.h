// Files of a folder tree for the tools: opened without following links,
// read in chunks, written whole, and failures put into words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "os/file.h"

// Opens the file `relative` ('\' or '/' separated) below the open folder
// `root` for reading; every folder on the way and the file itself are
// entered without following a link. kInvalidHandle with the last error set.
os::Handle OpenTreeFile(os::Handle root, std::u16string_view relative);

// Reads `file` from where it stands to its end in chunks of up to 1 MiB and
// hands each to `consume`. False on a read error (the last error tells) or
// when `consume` returns false.
bool ReadChunks(os::Handle file, const std::function<bool(const std::uint8_t*, std::size_t)>& consume);

// Reads a whole file (links followed, as the user named it) of up to
// `limit` bytes. False when it cannot be opened or read, or is larger.
bool ReadWholeFile(const std::u16string& path, std::string* bytes,
                   std::uint64_t limit = std::uint64_t{1} << 30);

// Writes all `size` bytes; false when the system takes fewer (the last
// error tells; a full disk that writes nothing is kErrorDiskFull).
bool WriteAll(os::Handle file, const void* data, std::size_t size);

// The absolute form of `path` without trailing separators (a root keeps
// its own); empty when the system cannot tell.
std::u16string AbsolutePath(const std::u16string& path);

// The system's text for the last error, or for `code`, on one line.
std::string ErrorText(std::uint32_t code);
std::string LastErrorText();
