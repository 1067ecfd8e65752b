// Searching, replacing, case changes and line reading.
#pragma once

#include <cstddef>
#include <cstdint>

int FindBytes(const char* haystack, const char* needle);
int FindText(const char16_t* haystack, const char16_t* needle);
int FindChar(const char16_t* text, char16_t character);
int FindCharA(const char* text, std::uint32_t character);

// Copies `source` with every `find` replaced; an empty find copies the
// source unchanged. Returns the length written; the result is cut (and
// terminated) at `capacity` units.
std::size_t ReplaceText(char16_t* destination, std::size_t capacity,
                        const char16_t* source, const char16_t* find,
                        const char16_t* replacement);

// In place, with the double-byte walk; return the length.
int ToLowerText(char16_t* text);
int ToUpperText(char16_t* text);

// Copies one line (without its line end) and two zero bytes into
// `destination`; returns the bytes of `buffer` it used (0 at the end). A
// line longer than capacity - 2 bytes is cut in the destination but still
// consumed whole.
int ReadTextLine(const char* buffer, char* destination, std::size_t capacity);
