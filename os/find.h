// Folder searches by wildcard pattern.
#pragma once

#include <cstdint>

#include "os/file.h"
#include "os/times.h"

namespace os {

// Directory search with Windows wildcard rules ('*', '?', "*.*" also
// matching names without a dot, ASCII case-insensitive); "." and ".." are
// reported for folders as Windows does.
struct FindData {
  std::uint32_t attributes = 0;
  FileTime creation;
  FileTime last_access;
  FileTime last_write;
  std::uint64_t size = 0;
  char16_t name[260] = {};
};
// Returns kInvalidHandle when nothing matches (last error
// kErrorFileNotFound) or the folder cannot be read.
Handle FindFirst(const char16_t* pattern, FindData* data);
bool FindNext(Handle search, FindData* data);
void FindClose(Handle search);

}  // namespace os
