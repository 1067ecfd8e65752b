// The confinement rules applied to a patch exactly as the updater applies
// them: the install record's names, every delete entry and every name and
// path below the data folder.
#pragma once

#include <string>

#include "tools/patchcheck/patch_check.h"

// Adds an error for each rule broken and fills the copy list from the
// data folder's walk (links are found, never followed).
void CheckConfinement(const std::u16string& data_folder, PatchReport* report);
