// Game trees for the qvpatch tests, and qvpatch run in-process on them.
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

class PatchTrees {
 public:
  PatchTrees();

  // <root>/<relative> (forward slashes, UTF-8).
  std::filesystem::path At(const std::string& relative) const;
  // The same as UTF-8 text, for command lines.
  std::string Arg(const std::string& relative) const;
  void Write(const std::string& relative, const std::string& bytes) const;
  std::string Read(const std::string& relative) const;
  void MakeFolder(const std::string& relative) const;
  // Every file and folder below `relative`, forward slashes, sorted;
  // folders end with '/'.
  std::vector<std::string> List(const std::string& relative) const;

  // A template with one language and the given delete list (p01...).
  void WriteTemplate(const std::string& relative, const std::vector<std::string>& deletions = {}) const;

  ToolRun Run(const std::vector<std::string>& arguments) const;
  // qvpatch make --from old --to new --template template.xml --out <out>
  // and the extra arguments.
  ToolRun Make(const std::string& out = "patch", const std::vector<std::string>& extra = {}) const;

 private:
  ScratchDir root_;
};

}  // namespace qvtest
