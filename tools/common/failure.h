// How the tools' functions fail: false, with the reason for the user in
// `*error`, which the command prints with the name of what failed.
#pragma once

#include <string>
#include <utility>

inline bool Fail(std::string* error, std::string text) {
  *error = std::move(text);
  return false;
}
