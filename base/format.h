// printf-style formatting into UTF-16 buffers, the same on every platform
// (wchar_t is not 16-bit everywhere). "%s" takes a UTF-16 string, "%c" a
// UTF-16 unit; "%d %i %u %x %X %f %g %e %p %%" with flags, width, precision
// and the 'l', 'll', 'h', 'z' modifiers behave as in printf.
#pragma once

#include <cstdarg>
#include <cstddef>

// Always terminates; cuts at `capacity` - 1 units. Returns units written.
int FormatWide(char16_t* destination, std::size_t capacity, const char16_t* format, ...);
int FormatWideV(char16_t* destination, std::size_t capacity, const char16_t* format,
                va_list arguments);
