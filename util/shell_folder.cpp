#include "util/shell_folder.h"

#include <cstdint>

#include "os/shell_folder.h"

namespace {

enum class Source { kShell, kTemp, kWindows };

struct ShellFolderRow {
  Source source;
  int csidl;
  const char16_t* fallback_name;  // value in the user's "Shell Folders" key, or null
};

constexpr ShellFolderRow kRows[] = {
    {Source::kShell, os::kCsidlDesktopDirectory, u"Desktop"},
    {Source::kShell, os::kCsidlCommonDesktopDirectory, nullptr},
    {Source::kShell, os::kCsidlStartMenu, u"Start Menu"},
    {Source::kShell, os::kCsidlPrograms, u"Programs"},
    {Source::kShell, os::kCsidlCommonPrograms, nullptr},
    {Source::kShell, os::kCsidlPersonal, u"Personal"},
    {Source::kTemp, 0, nullptr},
    {Source::kWindows, 0, nullptr},
    {Source::kShell, os::kCsidlCommonAppData, u"AppData"},
    {Source::kShell, os::kCsidlAppData, u"AppData"},
    {Source::kShell, os::kCsidlProgramFiles, nullptr},
    {Source::kShell, os::kCsidlMyPictures, u"My Pictures"},
};

bool QueryRow(const ShellFolderRow& row, char16_t* destination, std::uint32_t capacity) {
  switch (row.source) {
    case Source::kTemp: return os::GetTempPath(destination, capacity) > 0;
    case Source::kWindows: return os::GetWindowsDirectory(destination, capacity) > 0;
    case Source::kShell: break;
  }
  return os::QueryShellFolder(row.csidl, destination, capacity) ||
         os::QueryLegacySpecialFolder(row.csidl, destination, capacity) ||
         (row.fallback_name &&
          os::QueryShellFoldersValue(row.fallback_name, destination, capacity));
}

}  // namespace

int GetShellFolder(int index, char16_t* destination, std::size_t capacity) {
  if (!destination || capacity == 0) return 0;
  destination[0] = 0;
  constexpr int kRowCount = static_cast<int>(sizeof(kRows) / sizeof(kRows[0]));
  if (index < 0 || index >= kRowCount) return 0;

  const auto bounded = static_cast<std::uint32_t>(capacity > UINT32_MAX ? UINT32_MAX : capacity);
  if (QueryRow(kRows[index], destination, bounded)) {
    destination[capacity - 1] = 0;
    return 1;
  }
  destination[0] = 0;
  return 0;
}
