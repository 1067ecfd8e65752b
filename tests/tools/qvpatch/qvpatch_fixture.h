// Game trees for the qvpatch tests, and qvpatch run in-process on them.
#pragma once

#include <string>
#include <vector>

#include "support/file_tree.h"

namespace qvtest {

// The game's old and new trees, a template, and qvpatch run on them.
class PatchTrees : public FileTree {
 public:
  PatchTrees();

  // A template with one language and the given delete list (p01...).
  void WriteTemplate(const std::string& relative, const std::vector<std::string>& deletions = {}) const;

  ToolRun Run(const std::vector<std::string>& arguments) const;
  // qvpatch make --from old --to new --template template.xml --out <out>
  // and the extra arguments.
  ToolRun Make(const std::string& out = "patch", const std::vector<std::string>& extra = {}) const;
};

}  // namespace qvtest
