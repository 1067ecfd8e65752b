// qvpatch verify --game GAME --manifest PATCH/patch-manifest.json [--json]
#pragma once

#include <string>
#include <vector>

extern const char kVerifyHelp[];

// `arguments` follow "verify". Returns the exit status: 0 the game matches
// the manifest, 1 it does not or cannot be checked, 2 bad usage.
int RunVerify(const std::vector<std::string>& arguments, std::string* out, std::string* err);
