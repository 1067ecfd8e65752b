// Opening, reading, writing and positioning files.
#include "os/fault.h"
#include "os/win32/windows_fwd.h"

namespace os {

using win32::CheckHandle;
using win32::CheckPath;
using win32::ToNative;

Handle OpenFile(const char16_t* path, std::uint32_t access, std::uint32_t share,
                std::uint32_t disposition, std::uint32_t attributes,
                std::uint32_t flags) {
  if (FaultInjected(FileOp::kOpen) || !CheckPath(path)) return kInvalidHandle;
  DWORD desired = 0;
  if (access & kAccessRead) desired |= GENERIC_READ;
  if (access & kAccessWrite) desired |= GENERIC_WRITE;
  DWORD share_mode = 0;
  if (share & kShareRead) share_mode |= FILE_SHARE_READ;
  if (share & kShareWrite) share_mode |= FILE_SHARE_WRITE;
  DWORD flags_and_attributes = attributes;
  if (flags & kFlagSequentialScan) flags_and_attributes |= FILE_FLAG_SEQUENTIAL_SCAN;
  if (flags & kFlagNoBuffering) flags_and_attributes |= FILE_FLAG_NO_BUFFERING;
  HANDLE file = ::CreateFileW(win32::Wide(path), desired, share_mode, nullptr,
                              disposition, flags_and_attributes, nullptr);
  return win32::FromNative(file);
}

// The engine's two steps: create a new file, and empty the one that is
// there only when the creation found it. Two rounds cover a file that
// appears or vanishes between the steps.
Handle OpenFileForRewrite(const char16_t* path) {
  if (FaultInjected(FileOp::kOpen) || !CheckPath(path)) return kInvalidHandle;
  for (int round = 0; round < 2; ++round) {
    HANDLE file = ::CreateFileW(win32::Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
      return win32::FromNative(file);
    file = ::CreateFileW(win32::Wide(path), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_NOT_FOUND)
      return win32::FromNative(file);
  }
  return kInvalidHandle;
}

bool CloseFile(Handle file) {
  return CheckHandle(file) && ::CloseHandle(ToNative(file));
}

bool ReadFile(Handle file, void* buffer, std::uint32_t count, std::uint32_t* done) {
  DWORD moved = 0;
  bool ok = !FaultInjected(FileOp::kRead) && CheckHandle(file) && ::ReadFile(ToNative(file), buffer, count, &moved, nullptr);
  if (done) *done = ok ? moved : 0;
  return ok;
}

// Windows has no copy between two open files; the copy engine reads and
// writes through its own buffers there.
bool SystemCopiesFileData() { return false; }

bool CopyFileData(Handle, Handle, std::uint32_t, std::uint32_t* done) {
  if (done) *done = 0;
  if (!FaultInjected(FileOp::kWrite)) ::SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

bool ReadAheadFile(Handle file, std::uint64_t, std::uint32_t) {
  if (FaultInjected(FileOp::kRead)) return false;
  // Files opened for sequential scan are read ahead by the system itself.
  return CheckHandle(file);
}

bool ReadFileAt(Handle file, std::uint64_t offset, void* buffer, std::uint32_t count,
                std::uint32_t* done) {
  // On a handle opened for synchronous use the system reads at the
  // overlapped structure's offset, and serialises the reads of a handle.
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD moved = 0;
  if (FaultInjected(FileOp::kRead)) {
    if (done) *done = 0;
    return false;
  }
  bool ok = CheckHandle(file) && ::ReadFile(ToNative(file), buffer, count, &moved, &at);
  // The end of the file reads as 0 bytes, as a plain read does.
  if (!ok && ::GetLastError() == ERROR_HANDLE_EOF) ok = true;
  if (done) *done = ok ? moved : 0;
  return ok;
}

bool WriteFile(Handle file, const void* buffer, std::uint32_t count,
               std::uint32_t* done) {
  DWORD moved = 0;
  bool ok = !FaultInjected(FileOp::kWrite) && CheckHandle(file) && ::WriteFile(ToNative(file), buffer, count, &moved, nullptr);
  if (done) *done = ok ? moved : 0;
  return ok;
}

std::int64_t SeekFile(Handle file, std::int64_t distance, SeekOrigin origin) {
  if (FaultInjected(FileOp::kQuery) || !CheckHandle(file)) return -1;
  LARGE_INTEGER move, position;
  move.QuadPart = distance;
  if (!::SetFilePointerEx(ToNative(file), move, &position, origin)) return -1;
  return position.QuadPart;
}

bool GetFileSize(Handle file, std::uint64_t* size) {
  LARGE_INTEGER value;
  if (FaultInjected(FileOp::kQuery) || !CheckHandle(file) || !::GetFileSizeEx(ToNative(file), &value)) return false;
  if (size) *size = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

}  // namespace os
