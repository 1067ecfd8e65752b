// Conversions between UTF-16, UTF-8 and Shift-JIS (code page 932).
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kFixedConvertCapacity = 4096;

// Whole zero-terminated string to code page 932; returns the system's count
// (bytes written including the terminator, 0 on failure). Never writes past
// `capacity` bytes; the destination is always terminated when capacity > 0.
int WideToShiftJis(char* destination, std::size_t capacity, const char16_t* source);
int ShiftJisToWide(char16_t* destination, std::size_t capacity, const char* source);

// UTF-16 to UTF-8, unit by unit; a valid surrogate pair becomes one 4-byte
// sequence, a lone surrogate the system's replacement, 0xFFFF the bytes
// FF FF. Returns the bytes written without the terminator. A sequence that
// does not fit is not written.
std::size_t WideToUtf8(const char16_t* source, char* destination, std::size_t capacity);
// UTF-8 to UTF-16, one unit per sequence (two for a 4-byte sequence; a pair
// that does not fit is not half-written). Stops at a bad sequence. Returns
// the units written without the terminator.
std::size_t Utf8ToWide(const char* source, char16_t* destination, std::size_t capacity);

// 1 .. 5 for a sequence, -2 for a continuation byte, -3 for a broken one.
int Utf8SequenceLength(const char* bytes);
// Copies the first sequence and a zero byte; `destination` holds 7 bytes.
void FirstUtf8Character(const char* text, char* destination);

int IsShiftJisPair(const char* bytes);
// Ends a Shift-JIS text after at most `limit` bytes without leaving half a
// double-byte character at its end.
void CutShiftJis(char* text, std::size_t limit);
std::uint32_t FirstCharacterCode(const char* bytes);
