// patchcheck [--json] [--ui-language N] DIR
#pragma once

#include <string>
#include <vector>

// `arguments` are UTF-8 and exclude the program name. Returns the exit
// status: 0 accepted, 1 refused, 2 bad usage.
int RunPatchcheck(const std::vector<std::string>& arguments, std::string* out, std::string* err);
