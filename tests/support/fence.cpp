#include "support/fence.h"

#include <algorithm>
#include <vector>

#include "test_support.h"

namespace qvtest {

namespace fs = std::filesystem;

Fence::Fence(fs::path root) : root_(std::move(root)) {
  fs::create_directories(root_ / "inner");
  fs::create_directories(EmptyFolder());
  WriteBytes(File(), "outside, keep");
  WriteBytes(root_ / "inner" / "deep.txt", "deep outside, keep");
}

std::string Fence::Digest() const {
  std::vector<std::string> lines;
  std::error_code error;
  for (fs::recursive_directory_iterator it(root_, error), end; !error && it != end;
       it.increment(error)) {
    const fs::path& path = it->path();
    std::string line = fs::relative(path, root_).generic_string();
    fs::file_status status = it->symlink_status();
    if (fs::is_symlink(status)) {
      line += " link";
    } else if (fs::is_directory(status)) {
      line += " folder";
    } else {
      line += " file " + ReadBytes(path);
    }
    lines.push_back(line);
  }
  if (error) lines.push_back("unreadable: " + error.message());
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

}  // namespace qvtest
