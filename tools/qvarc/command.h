// qvarc list | extract | create: the engine's archives on the command line.
#pragma once

#include <string>
#include <vector>

// `arguments` are UTF-8 and exclude the program name. Returns the exit
// status: 0 success, 1 failure, 2 bad usage.
int RunQvarc(const std::vector<std::string>& arguments, std::string* out, std::string* err);
