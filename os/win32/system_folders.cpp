// The Windows folder, the program-files roots, the all-users data folder
// and the profiles, as the system names them.
#include "os/system_folders.h"
#include "os/win32/windows_fwd.h"

#include <shlobj.h>

namespace os {
namespace {

void AddShellFolder(int csidl, std::vector<std::u16string>* out) {
  wchar_t folder[MAX_PATH] = {};
  if (::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK && folder[0])
    out->push_back(reinterpret_cast<const char16_t*>(folder));
}

using FolderQuery = UINT(WINAPI*)(LPWSTR, UINT);

void AddSystemFolder(FolderQuery query, std::vector<std::u16string>* out) {
  wchar_t folder[MAX_PATH] = {};
  UINT length = query(folder, MAX_PATH);
  if (length > 0 && length < MAX_PATH) out->push_back(reinterpret_cast<const char16_t*>(folder));
}

}  // namespace

SystemFolders GetSystemFolders() {
  SystemFolders folders;
  AddSystemFolder(::GetWindowsDirectoryW, &folders.reserved);
  AddSystemFolder(::GetSystemDirectoryW, &folders.reserved);
  AddSystemFolder(::GetSystemWow64DirectoryW, &folders.reserved);
  for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
                    CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_APPDATA})
    AddShellFolder(csidl, &folders.reserved);
  AddShellFolder(CSIDL_PROFILE, &folders.profiles);
  for (const std::u16string& profile : folders.profiles) {
    std::size_t separator = profile.find_last_of(u"\\/");
    if (separator != std::u16string::npos && separator > 2)
      folders.profile_parents.push_back(profile.substr(0, separator));
  }
  return folders;
}

}  // namespace os
