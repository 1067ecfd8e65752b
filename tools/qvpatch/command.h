// qvpatch make | verify | check: making a patch from two game trees,
// checking an installed game against it, and checking a patch folder.
#pragma once

#include <string>
#include <vector>

// `arguments` are UTF-8 and exclude the program name. Returns the exit
// status: 0 success, 1 failure, 2 bad usage.
int RunQvpatch(const std::vector<std::string>& arguments, std::string* out, std::string* err);
