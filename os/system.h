// Process-level services: special folders, language, clock, module path,
// the assertion box and process exit.
#pragma once

#include <cstdint>

namespace os {

// Shell folder identifiers (CSIDL values) the engine asks for.
inline constexpr int kCsidlPrograms = 0x02;
inline constexpr int kCsidlPersonal = 0x05;
inline constexpr int kCsidlStartMenu = 0x0B;
inline constexpr int kCsidlDesktopDirectory = 0x10;
inline constexpr int kCsidlCommonPrograms = 0x17;
inline constexpr int kCsidlCommonDesktopDirectory = 0x19;
inline constexpr int kCsidlAppData = 0x1A;
inline constexpr int kCsidlCommonAppData = 0x23;
inline constexpr int kCsidlProgramFiles = 0x26;
inline constexpr int kCsidlMyPictures = 0x27;

// The three ways of asking for a shell folder, tried in this order by the
// engine. Each writes at most `capacity` units (260 in practice) and
// returns false when it has no answer.
bool QueryShellFolder(int csidl, char16_t* out, std::uint32_t capacity);
bool QueryLegacySpecialFolder(int csidl, char16_t* out, std::uint32_t capacity);
// Value `name` of the current user's Explorer "Shell Folders" key, as stored.
bool QueryShellFoldersValue(const char16_t* name, char16_t* out,
                            std::uint32_t capacity);
// Temporary folder, with its trailing separator as the system gives it.
std::uint32_t GetTempPath(char16_t* out, std::uint32_t capacity);
std::uint32_t GetWindowsDirectory(char16_t* out, std::uint32_t capacity);

// The user's UI language as a Windows language identifier; the
// QV_UI_LANGUAGE environment variable (decimal) takes precedence.
std::uint16_t GetUserUiLanguage();

// Full path of the running executable. Same contract as GetFullPathName.
std::uint32_t GetModulePath(char16_t* out, std::uint32_t capacity);

struct LocalTime {
  int year, month, day, hour, minute, second, milliseconds;
};
LocalTime GetLocalTime();

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
