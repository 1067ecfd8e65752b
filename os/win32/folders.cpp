// Attributes, deletion, folders, full paths and the current folder.
#include "os/fault.h"
#include "os/folders.h"
#include "os/win32/windows_fwd.h"

namespace os {

using win32::CheckPath;
using win32::Wide;

std::uint32_t GetFileAttributes(const char16_t* path) {
  if (FaultInjected(FileOp::kQuery)) return kInvalidAttributes;
  return CheckPath(path) ? ::GetFileAttributesW(Wide(path)) : kInvalidAttributes;
}

bool SetFileAttributes(const char16_t* path, std::uint32_t attributes) {
  return !FaultInjected(FileOp::kSetAttributes) && CheckPath(path) && ::SetFileAttributesW(Wide(path), attributes);
}

bool DeleteFile(const char16_t* path) {
  return !FaultInjected(FileOp::kDelete) && CheckPath(path) && ::DeleteFileW(Wide(path));
}

bool CreateDirectory(const char16_t* path) {
  return !FaultInjected(FileOp::kCreateFolder) && CheckPath(path) && ::CreateDirectoryW(Wide(path), nullptr);
}

bool RemoveDirectory(const char16_t* path) {
  return !FaultInjected(FileOp::kRemoveFolder) && CheckPath(path) && ::RemoveDirectoryW(Wide(path));
}

std::uint32_t GetFullPathName(const char16_t* path, char16_t* out,
                              std::uint32_t capacity) {
  if (!CheckPath(path)) return win32::FitLength(0, out, capacity);
  DWORD length = ::GetFullPathNameW(Wide(path), out ? capacity : 0, Wide(out), nullptr);
  return win32::FitLength(length, out, capacity);
}

std::uint32_t GetCurrentDirectory(char16_t* out, std::uint32_t capacity) {
  DWORD length = ::GetCurrentDirectoryW(out ? capacity : 0, Wide(out));
  return win32::FitLength(length, out, capacity);
}

bool SetCurrentDirectory(const char16_t* path) {
  return CheckPath(path) && ::SetCurrentDirectoryW(Wide(path));
}

}  // namespace os
