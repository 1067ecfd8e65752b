// Builds an update-description-like document of about `target_bytes`:
// languages with Japanese and English messages, attributes, comments and
// CR LF line ends, the way real descriptions look, only many more of them.
#pragma once

#include <cstddef>
#include <string>

std::string GenerateDescription(std::size_t target_bytes);

// A description with one language and `count` delete entries p01, p02, ...
// naming paths like those of a real patch.
std::string GenerateDeleteList(std::size_t count);
