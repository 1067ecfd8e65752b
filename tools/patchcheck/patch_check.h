// What the updater will see in a patch folder, and what a patch author
// should know about it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/update_info.h"

// A confinement rule that a part of the patch breaks; the updater refuses
// the same part the same way.
struct PatchProblem {
  std::string rule;   // the rule's code, e.g. "data-link"
  std::string where;  // "brand", "delete/p02", "data\\sub\\x.txt"
  std::string text;   // what is wrong and what the updater does
};

struct PatchReport {
  // Empty when the updater would accept the description.
  std::string error;
  std::vector<PatchProblem> errors;
  std::unique_ptr<UpdateInfo> info = std::make_unique<UpdateInfo>();
  std::uint16_t ui_language = 0;
  bool has_chosen = false;
  std::u16string chosen;
  // Relative paths below data, with backslashes, in ordinal order.
  std::vector<std::u16string> copy;
  std::vector<std::string> warnings;
};

// Loads `folder`\updateinfo.xml exactly as the updater does, chooses the
// language for `ui_language`, applies the confinement rules and lists the
// files below `folder`\data. Returns 0 when the updater would accept the
// patch, 1 when it refuses the description or a rule is broken.
int CheckPatch(const char16_t* folder, std::uint16_t ui_language, PatchReport* report);
