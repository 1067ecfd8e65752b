#include "support/links.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#include <string>
#else
#include <system_error>
#endif

namespace qvtest {

namespace fs = std::filesystem;

#ifdef _WIN32
namespace {

using UnixFileName = char*(CDECL*)(LPCWSTR);

// Wine runs Windows programs as Linux processes: the kernel's own calls
// reach the Linux file system directly.
std::intptr_t LinuxCall(std::intptr_t number, std::intptr_t a, std::intptr_t b, std::intptr_t c) {
#if defined(__x86_64__)
  std::intptr_t result;
  register std::intptr_t r10 asm("r10") = 0;
  asm volatile("syscall"
               : "=a"(result)
               : "a"(number), "D"(a), "S"(b), "d"(c), "r"(r10)
               : "rcx", "r11", "memory");
  return result;
#else
  return -1;
#endif
}

constexpr std::intptr_t kLinuxSymlinkAt = 266;
constexpr std::intptr_t kLinuxUnlinkAt = 263;
constexpr std::intptr_t kLinuxCurrentFolder = -100;  // AT_FDCWD

// The Linux path of a Windows path, through Wine's own export.
std::string UnixPath(const fs::path& path) {
  auto convert = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return {};
  char* unix_path = convert(fs::absolute(path).wstring().c_str());
  if (!unix_path) return {};
  std::string out = unix_path;
  ::HeapFree(::GetProcessHeap(), 0, unix_path);
  return out;
}

}  // namespace

bool RunningUnderWine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

bool MakeLink(const fs::path& link, const fs::path& target, bool folder) {
  if (RunningUnderWine()) {
    std::string to = target.is_absolute() ? UnixPath(target) : target.generic_string();
    std::string from = UnixPath(link);
    if (to.empty() || from.empty()) return false;
    return LinuxCall(kLinuxSymlinkAt, reinterpret_cast<std::intptr_t>(to.c_str()), kLinuxCurrentFolder,
                     reinterpret_cast<std::intptr_t>(from.c_str())) == 0;
  }
  constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  DWORD flags = kUnprivileged | (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
  return ::CreateSymbolicLinkW(link.wstring().c_str(), target.wstring().c_str(), flags) != 0;
}

void RemoveLink(const fs::path& link) {
  if (!RunningUnderWine()) {
    if (!::DeleteFileW(link.wstring().c_str())) ::RemoveDirectoryW(link.wstring().c_str());
    return;
  }
  std::string path = UnixPath(link);
  if (!path.empty())
    LinuxCall(kLinuxUnlinkAt, kLinuxCurrentFolder, reinterpret_cast<std::intptr_t>(path.c_str()), 0);
}

#else

bool RunningUnderWine() { return false; }

bool MakeLink(const fs::path& link, const fs::path& target, bool folder) {
  std::error_code error;
  fs::create_symlink(target, link, error);
  return !error;
}

void RemoveLink(const fs::path& link) {
  std::error_code ignored;
  fs::remove(link, ignored);
}

#endif

}  // namespace qvtest
