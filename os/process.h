// The running process: its executable, environment and language, the
// critical-error mode, COM, the assertion box and exit.
#pragma once

#include <cstdint>

namespace os {

// The user's UI language as a Windows language identifier; the
// QV_UI_LANGUAGE environment variable (decimal) takes precedence.
std::uint16_t GetUserUiLanguage();

// Critical-error dialog switch; returns the previous mode. Meaningful on
// Windows only; the POSIX backend keeps the value and nothing else.
inline constexpr std::uint32_t kSemFailCriticalErrors = 0x1;
std::uint32_t SetErrorMode(std::uint32_t mode);

// Full path of the running executable. Same contract as GetFullPathName.
std::uint32_t GetModulePath(char16_t* out, std::uint32_t capacity);

// Value of an environment variable as UTF-8, or null.
const char* GetEnvironment(const char* name);

// Shows an error box without owner (Windows) or writes caption and text to
// standard error (POSIX), and returns once it is dismissed.
void ShowAssertBox(const char16_t* caption, const char16_t* text);

// Common controls and COM (apartment model) for the calling thread; the
// POSIX backend has neither: it reports success and does nothing.
void InitCommonControls();
// True when the thread's COM must be uninitialised later.
bool InitializeCom();
void UninitializeCom();
[[noreturn]] void ExitProcess(std::uint32_t code);
// Ends the process at once, as a crash would: no exit handlers, no
// flushing, no notification of loaded libraries.
[[noreturn]] void TerminateProcess(std::uint32_t code);

}  // namespace os
