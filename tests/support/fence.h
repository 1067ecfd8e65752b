// An outside tree that an attack must leave alone: a few files and folders
// whose digest is taken before and compared after.
#pragma once

#include <filesystem>
#include <string>

namespace qvtest {

class Fence {
 public:
  // Fills `root`: a file, a folder with a file, an empty folder.
  explicit Fence(std::filesystem::path root);

  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path File() const { return root_ / "secret.txt"; }
  std::filesystem::path EmptyFolder() const { return root_ / "empty"; }

  // Every entry below the root with its kind and the files' bytes.
  std::string Digest() const;

 private:
  std::filesystem::path root_;
};

}  // namespace qvtest
