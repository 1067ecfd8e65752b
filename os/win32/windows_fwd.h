// <windows.h> for the Win32 backend, with the A/W switch macros removed
// whose names the os:: interface reuses (DeleteFile, CreateEvent, ...), so
// that both can be used in one file. Backend files include this first and
// call the system with explicit W names and :: qualification.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef CreateDirectory
#undef CreateEvent
#undef DeleteFile
#undef GetCurrentDirectory
#undef GetFileAttributes
#undef GetFullPathName
#undef GetTempPath
#undef GetWindowsDirectory
#undef RemoveDirectory
#undef SetCurrentDirectory
#undef SetFileAttributes

#include <cstdint>

#include "os/file.h"
#include "os/times.h"

namespace os::win32 {

inline HANDLE ToNative(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
inline Handle FromNative(HANDLE handle) { return reinterpret_cast<Handle>(handle); }

inline std::uint64_t FromFiletime(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline FILETIME ToFiletime(const FileTime& time) {
  FILETIME out;
  out.dwLowDateTime = static_cast<DWORD>(time.ticks);
  out.dwHighDateTime = static_cast<DWORD>(time.ticks >> 32);
  return out;
}

inline LPCWSTR Wide(const char16_t* text) { return reinterpret_cast<LPCWSTR>(text); }
inline LPWSTR Wide(char16_t* text) { return reinterpret_cast<LPWSTR>(text); }

// Refuses a null path the way the system refuses a bad parameter, instead
// of handing the null to the system.
inline bool CheckPath(const char16_t* path) {
  if (path) return true;
  ::SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

// kInvalidHandle is the system's pseudo handle of the current process, which
// some calls would accept; it is refused before it reaches them.
inline bool CheckHandle(Handle handle) {
  if (handle != kInvalidHandle && handle != 0) return true;
  ::SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

// The system's "fill a buffer, return the length or the size needed" calls
// become: the length when it fits with its terminator, else 0 and an empty
// buffer (a cut path would name another place).
inline std::uint32_t FitLength(DWORD result, char16_t* out, std::uint32_t capacity) {
  if (result != 0 && result < capacity) return result;
  if (result != 0) ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  if (out && capacity > 0) out[0] = 0;
  return 0;
}

}  // namespace os::win32
