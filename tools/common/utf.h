// Texts for printing: the one UTF-8 <-> UTF-16 codec, and JSON literals.
#pragma once

#include <string>
#include <string_view>

#include "base/utf8.h"

// A JSON string literal, quotes included.
std::string JsonString(std::u16string_view text);
std::string JsonString(std::string_view utf8);
