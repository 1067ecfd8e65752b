// Entries by path: attributes, deleting files, making and removing folders,
// full paths and the current folder.
#pragma once

#include <cstdint>

#include "os/file.h"

namespace os {

std::uint32_t GetFileAttributes(const char16_t* path);  // kInvalidAttributes if none
bool SetFileAttributes(const char16_t* path, std::uint32_t attributes);
bool DeleteFile(const char16_t* path);  // files only
bool CreateDirectory(const char16_t* path);
bool RemoveDirectory(const char16_t* path);  // empty folders only

// Absolute form of a path. Returns its length in units, or 0 on failure or
// when it does not fit `capacity` units including the terminator.
std::uint32_t GetFullPathName(const char16_t* path, char16_t* out,
                              std::uint32_t capacity);
// Same contract as GetFullPathName.
std::uint32_t GetCurrentDirectory(char16_t* out, std::uint32_t capacity);
bool SetCurrentDirectory(const char16_t* path);

}  // namespace os
