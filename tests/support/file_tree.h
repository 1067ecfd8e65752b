// A scratch tree addressed by UTF-8 paths with forward slashes, as the
// tools' command lines name files, and the outcome of a tool run.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace qvtest {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

class FileTree {
 public:
  // <root>/<relative>.
  std::filesystem::path At(const std::string& relative) const;
  // The same as UTF-8 text, for command lines.
  std::string Arg(const std::string& relative) const;
  // Writes a file with its missing folders.
  void Write(const std::string& relative, const std::string& bytes) const;
  std::string Read(const std::string& relative) const;
  void MakeFolder(const std::string& relative) const;
  // Every file and folder below `relative`, forward slashes, sorted;
  // folders end with '/'.
  std::vector<std::string> List(const std::string& relative) const;

 private:
  ScratchDir root_;
};

}  // namespace qvtest
