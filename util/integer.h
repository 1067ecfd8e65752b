// Integer parsing: optional sign, decimal or 0x hexadecimal, and a '.'
// directly behind decimal digits makes the parse fail.
#pragma once

#include <cstdint>

std::int32_t ParseInteger(const char* text);
int ParseIntegerA(const char* text, int* end_index, std::int32_t* value);
int ParseIntegerW(const char16_t* text, int* end_index, std::int32_t* value);
