// Walks a folder tree that is to be copied below another folder (a patch's
// data folder) without following links, lists its files and finds every
// name or path that cannot arrive whole on Windows: links and entries that
// are neither files nor folders, names Windows cannot hold, names that
// differ from one beside them only in letter case, and paths beyond the
// path limit.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "file/confine_rules.h"

namespace confine {

struct Finding {
  Rule rule;
  // Relative to the walked folder, '\' separated; empty for the folder
  // itself.
  std::u16string path;
};

struct WalkLimits {
  // Units of the folder the files are copied to; the shortest folder a
  // game can be installed in ("C:\a") when it is not known.
  std::size_t target_folder_units = 4;
  // Units of the walked folder's own path, when its files are read by it.
  std::size_t source_folder_units = 0;
};

struct WalkResult {
  // Relative paths of the files, depth first in listing order (a folder's
  // files where the folder is met).
  std::vector<std::u16string> files;
  // Every problem in the order met. Nothing below a refused folder is
  // looked at.
  std::vector<Finding> findings;
};

// The folder itself must not be a link (a finding with an empty path).
// A folder that cannot be opened or read is a kMissing finding.
WalkResult WalkTree(const char16_t* folder, const WalkLimits& limits);

}  // namespace confine
