// Folders that belong to the system or to every user, which no program's
// own folder can be. Volume roots are not listed: callers refuse those by
// the form of a path.
#pragma once

#include <string>
#include <vector>

namespace os {

struct SystemFolders {
  // The system's folders (Windows, program files, all users' data) and
  // the folders that hold every user's profile.
  std::vector<std::u16string> reserved;
  // The current user's profile.
  std::vector<std::u16string> profiles;
  // Every folder directly inside one of these is someone's profile.
  std::vector<std::u16string> profile_parents;
};

// Only folders the system can name are listed; none of them is created.
SystemFolders GetSystemFolders();

}  // namespace os
