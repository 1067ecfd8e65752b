#include "os/posix/environment_folder.h"

#include <cstdlib>

namespace os::posix {

std::string FolderFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || value[0] != '/') return {};
  std::string folder(value);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace os::posix
