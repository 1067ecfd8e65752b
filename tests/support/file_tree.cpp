#include "support/file_tree.h"

#include <algorithm>

namespace qvtest {

namespace fs = std::filesystem;

fs::path FileTree::At(const std::string& relative) const {
  return root_.Native() / fs::path(std::u8string(relative.begin(), relative.end()));
}

std::string FileTree::Arg(const std::string& relative) const {
  const std::u8string text = At(relative).u8string();
  return std::string(text.begin(), text.end());
}

void FileTree::Write(const std::string& relative, const std::string& bytes) const {
  WriteBytes(At(relative), bytes);
}

std::string FileTree::Read(const std::string& relative) const { return ReadBytes(At(relative)); }

void FileTree::MakeFolder(const std::string& relative) const { fs::create_directories(At(relative)); }

std::vector<std::string> FileTree::List(const std::string& relative) const {
  std::vector<std::string> names;
  const fs::path base = At(relative);
  for (const auto& entry : fs::recursive_directory_iterator(base)) {
    const std::u8string text = entry.path().lexically_relative(base).generic_u8string();
    names.push_back(std::string(text.begin(), text.end()) + (entry.is_directory() ? "/" : ""));
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace qvtest
