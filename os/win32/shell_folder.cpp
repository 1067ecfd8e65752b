// Special folders: the shell's queries, the Explorer registry key, and the
// temporary and Windows folders.
#include <cstring>
#include <cwchar>

#include "os/shell_folder.h"
#include "os/win32/windows_fwd.h"

#include <shlobj.h>

namespace os {

namespace {

// Copies a shell answer of up to MAX_PATH units when it fits whole; an
// empty answer is no answer.
bool CopyFolder(const wchar_t* folder, char16_t* out, std::uint32_t capacity) {
  std::size_t length = std::wcslen(folder);
  if (!out || length == 0 || length >= capacity) return false;
  std::memcpy(out, folder, (length + 1) * sizeof(char16_t));
  return true;
}

}  // namespace

bool QueryShellFolder(int csidl, char16_t* out, std::uint32_t capacity) {
  wchar_t folder[MAX_PATH] = {};
  // QV_COMMON_APPDATA stands in for the all-users application-data folder
  // (sandboxed runs and tests under Wine).
  if (csidl == kCsidlCommonAppData) {
    DWORD length = ::GetEnvironmentVariableW(L"QV_COMMON_APPDATA", folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return CopyFolder(folder, out, capacity);
  }
  // S_FALSE: a known folder that does not exist on this machine.
  if (::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
    return false;
  return CopyFolder(folder, out, capacity);
}

bool QueryLegacySpecialFolder(int csidl, char16_t* out, std::uint32_t capacity) {
  wchar_t folder[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE)) return false;
  return CopyFolder(folder, out, capacity);
}

bool QueryShellFoldersValue(const char16_t* name, char16_t* out,
                            std::uint32_t capacity) {
  if (!name || !out || capacity == 0) return false;
  out[0] = 0;
  HKEY key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER,
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                      0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  // The value is taken as stored, whatever its type; the registry does not
  // promise a terminator, so one is added when there is room and the value
  // is refused when there is none.
  std::uint32_t bytes_capacity = capacity > 0x7FFFFFFFu ? 0xFFFFFFFEu : capacity * 2;
  DWORD bytes = bytes_capacity;
  LONG status = ::RegQueryValueExW(key, win32::Wide(name), nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(out), &bytes);
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS) {
    out[0] = 0;
    return false;
  }
  std::uint32_t units = bytes / 2;  // a stray odd byte is dropped
  if (units > 0 && out[units - 1] == 0) return true;
  if (units >= capacity) {
    out[0] = 0;
    return false;
  }
  out[units] = 0;
  return true;
}

std::uint32_t GetTempPath(char16_t* out, std::uint32_t capacity) {
  DWORD length = ::GetTempPathW(out ? capacity : 0, win32::Wide(out));
  return win32::FitLength(length, out, capacity);
}

std::uint32_t GetWindowsDirectory(char16_t* out, std::uint32_t capacity) {
  UINT length = ::GetWindowsDirectoryW(win32::Wide(out), out ? capacity : 0);
  return win32::FitLength(length, out, capacity);
}

}  // namespace os
