// Shell folders mapped onto the XDG base directories and HOME (see
// README.md in this folder). Nothing is created.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "os/file.h"
#include "os/posix/environment_folder.h"
#include "os/posix/native_path.h"
#include "os/shell_folder.h"

namespace os {
namespace {

using posix::FolderFromEnvironment;

std::string Home() {
  std::string home = FolderFromEnvironment("HOME");
  if (!home.empty()) return home;
  if (passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/')
    return entry->pw_dir;
  return {};
}

std::string HomeFolder(const char* variable, const char* fallback) {
  std::string folder = FolderFromEnvironment(variable);
  if (!folder.empty()) return folder;
  std::string home = Home();
  return home.empty() ? std::string() : home + "/" + fallback;
}

std::string DataHome() { return HomeFolder("XDG_DATA_HOME", ".local/share"); }

std::string FolderFor(int csidl) {
  switch (csidl) {
    case kCsidlDesktopDirectory: return HomeFolder("XDG_DESKTOP_DIR", "Desktop");
    case kCsidlPersonal: return HomeFolder("XDG_DOCUMENTS_DIR", "Documents");
    case kCsidlMyPictures: return HomeFolder("XDG_PICTURES_DIR", "Pictures");
    case kCsidlAppData: return DataHome();
    case kCsidlStartMenu:
    case kCsidlPrograms: {
      std::string data = DataHome();
      return data.empty() ? data : data + "/applications";
    }
    case kCsidlCommonPrograms: return "/usr/share/applications";
    case kCsidlProgramFiles: return "/opt";
    case kCsidlCommonAppData: {
      std::string folder = FolderFromEnvironment("QV_COMMON_APPDATA");
      return folder.empty() ? "/var/lib" : folder;
    }
    default: return {};  // includes the common desktop, which has no equivalent
  }
}

}  // namespace

bool QueryShellFolder(int csidl, char16_t* out, std::uint32_t capacity) {
  std::string folder = FolderFor(csidl);
  if (folder.empty()) {
    SetLastError(kErrorFileNotFound);
    return false;
  }
  return posix::CopyOut(posix::EnginePath(folder), out, capacity) != 0;
}

bool QueryLegacySpecialFolder(int csidl, char16_t* out, std::uint32_t capacity) {
  SetLastError(kErrorFileNotFound);
  return false;
}

bool QueryShellFoldersValue(const char16_t* name, char16_t* out, std::uint32_t capacity) {
  SetLastError(kErrorFileNotFound);
  return false;
}

std::uint32_t GetTempPath(char16_t* out, std::uint32_t capacity) {
  std::string folder = FolderFromEnvironment("TMPDIR");
  if (folder.empty()) folder = "/tmp";
  if (folder.back() != '/') folder += '/';
  return posix::CopyOut(posix::EnginePath(folder), out, capacity);
}

// The system's own folder; on this system that is the root.
std::uint32_t GetWindowsDirectory(char16_t* out, std::uint32_t capacity) {
  return posix::CopyOut(u"/", out, capacity);
}

}  // namespace os
