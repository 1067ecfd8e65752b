// The top-level folders of a Linux system and the user's home.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "os/posix/native_path.h"
#include "os/system_folders.h"

namespace os {
namespace {

constexpr const char* kSystemFolders[] = {
    "/bin",  "/boot", "/dev",      "/etc",      "/home",      "/lib",     "/lib32",
    "/lib64", "/libx32", "/media", "/mnt",      "/opt",       "/proc",    "/root",
    "/run",  "/sbin", "/srv",      "/sys",      "/tmp",       "/usr",     "/usr/bin",
    "/usr/games", "/usr/lib", "/usr/local", "/usr/sbin", "/usr/share", "/var", "/var/lib",
    "/var/tmp",
};

std::string Home() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  if (passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/')
    return entry->pw_dir;
  return {};
}

}  // namespace

SystemFolders GetSystemFolders() {
  SystemFolders folders;
  for (const char* folder : kSystemFolders) folders.reserved.push_back(posix::EnginePath(folder));
  folders.profile_parents.push_back(u"/home");
  std::string home = Home();
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  if (home.size() > 1) {
    folders.profiles.push_back(posix::EnginePath(home));
    folders.profile_parents.push_back(posix::EnginePath(posix::ParentFolder(home)));
  }
  return folders;
}

}  // namespace os
