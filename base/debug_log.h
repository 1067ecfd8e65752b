// The debug log and assertions.
//
// The log is off unless the environment variable QV_DEBUG_LOG is "1"; off,
// lines are formatted and dropped. On, each line is appended with a
// timestamp to "__debug__.log" beside the executable.
#pragma once

inline constexpr int kDebugMessageLimit = 499;

void DebugLog(const char* format, ...);
void DebugLogW(const char16_t* format, ...);
// Show the message under "Assert message..." and return; every caller then
// ends the process at once (EndProcessAfterAssert).
void AssertMessage(const char* format, ...);
void AssertMessageW(const char16_t* format, ...);
void EndDebugLog();

bool IsDebugLogOn();

// Ends the process at once, without clean-up, after an assertion box.
[[noreturn]] void EndProcessAfterAssert();
