// Text helpers of the emulated front ends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ui {

// The text for a double-quoted transcript field: a backslash becomes \\, a
// double quote \", a line feed \n, a carriage return \r and any other
// control character \xHH (two upper-case hex digits).
std::string EscapeForTranscript(std::u16string_view text);

// Parses "WxH" with both numbers from 1 to 65535; false leaves the outputs
// alone.
bool ParseScreenSize(const char* text, std::int32_t* width, std::int32_t* height);

}  // namespace ui
