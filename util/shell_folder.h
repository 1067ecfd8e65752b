// The shell's special folders by a small index (0 .. 11).
#pragma once

#include <cstddef>

inline constexpr std::size_t kShellFolderCapacity = 260;

// Writes the folder for `index` into `destination` (at most `capacity`
// units, 260 in practice) and returns 1, or returns 0.
int GetShellFolder(int index, char16_t* destination,
                   std::size_t capacity = kShellFolderCapacity);
