// Shell folders: the special folders of the user and of the machine, the
// temporary folder and the Windows folder.
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

}  // namespace os
