// qvpatch make --from OLD --to NEW --template TEMPLATE.xml --out PATCH
//              [--background PICTURE] [--updater UPDATER.exe] [--force]
#pragma once

#include <string>
#include <vector>

extern const char kMakeHelp[];

// `arguments` follow "make". Returns the exit status: 0 made, 1 failed
// (nothing is left behind), 2 bad usage.
int RunMake(const std::vector<std::string>& arguments, std::string* out, std::string* err);
