// What a patch from one game tree to another holds: which files of the new
// tree to ship, which paths of the old one to delete, and what the author
// should know. Files are compared by content (size, then SHA-256); times
// do not count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/progress_meter.h"
#include "tools/qvpatch/game_tree.h"
#include "tools/qvpatch/sha256.h"

struct PlannedFile {
  const GameEntry* entry = nullptr;  // in the new tree
  bool ship = false;                 // new or changed
  bool hashed = false;               // `digest` is known (unchanged files)
  Sha256Digest digest{};
};

struct PatchPlan {
  // Every file of the new tree, in tree order.
  std::vector<PlannedFile> files;
  // Relative paths of the old tree, in tree order: a folder that is gone
  // is one entry for everything in it.
  std::vector<std::u16string> deletions;
  std::vector<std::string> warnings;
  std::size_t added = 0;
  std::size_t changed = 0;
  std::size_t unchanged = 0;
  std::uint64_t ship_bytes = 0;
};

struct PlanInput {
  std::u16string old_folder;
  std::u16string new_folder;
  const GameTree* old_tree = nullptr;
  const GameTree* new_tree = nullptr;
};

// False, with the reason in `error`, when a file cannot be read or changes
// while it is compared.
bool PlanPatch(const PlanInput& input, ProgressMeter* meter, PatchPlan* plan, std::string* error);
