// UTF-16 to UTF-8 for printing, independent of the engine's converters:
// a lone surrogate becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view text);
// A JSON string literal, quotes included.
std::string JsonString(std::u16string_view text);
std::string JsonString(std::string_view utf8);
