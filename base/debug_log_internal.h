// Pieces of the debug log that its tests reach directly.
#pragma once

#include <cstddef>

#include "os/times.h"

// Formats one timestamped line of the log file; returns its length, or -1
// when it does not fit `capacity` bytes.
int FormatLogLine(char* destination, std::size_t capacity, const os::LocalTime& time,
                  const char* text);

// Appends `text` (8-bit, Shift-JIS where it came from UTF-16) with a
// timestamp to "__debug__.log" beside the executable when the log is on.
// Texts of 1024 bytes or more are ignored; a file that cannot be opened
// loses the line.
void WriteLogLine(const char* text);

// Forgets the switch so that the next use reads QV_DEBUG_LOG again.
void ResetDebugLogForTesting();
