// Small helpers for the os/ tests.
#pragma once

#include <string>

#include "os/file.h"
#include "test_support.h"

namespace ostest {

// Opens with the given disposition; kInvalidHandle on failure.
inline os::Handle Open(const std::u16string& path, std::uint32_t access, std::uint32_t share,
                       std::uint32_t disposition, std::uint32_t flags = 0) {
  return os::OpenFile(path.c_str(), access, share, disposition, 0, flags);
}

// What a call that must fail left as the last error; 0 when it succeeded
// (a file it opened is closed again).
inline std::uint32_t ErrorOf(bool succeeded) { return succeeded ? 0 : os::GetLastError(); }
inline std::uint32_t ErrorOf(os::Handle file) {
  if (file == os::kInvalidHandle) return os::GetLastError();
  os::CloseFile(file);
  return 0;
}

inline std::uint64_t SizeOf(os::Handle file) {
  std::uint64_t size = ~0ull;
  os::GetFileSize(file, &size);
  return size;
}

}  // namespace ostest
