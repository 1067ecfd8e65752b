// running_game NAME
//
// Plays the running game for the updater's tests: holds the named mutex
// NAME as the game does while it runs, writes "held" and a line end to
// standard output, and lets go when a line arrives on standard input or
// the input ends. Refused, it writes "refused" and the system's error
// number and ends with 1.
//
// It makes the system's calls itself instead of going through the
// updater's own code, so that the updater's probe is checked against the
// game's side: CreateMutexW on Windows; on POSIX the lock file that the
// README's mapping names (an flock on "qv-mutex-" and the name, every byte
// but A-Z a-z 0-9 . _ - written %XX, shortened with a hash when that is too
// long for a file name, in $XDG_RUNTIME_DIR when absolute, else /tmp),
// removed when it lets go.
#include <cstdio>
#include <iostream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#endif

namespace {

#ifdef _WIN32

// The name in UTF-16 as given, whatever the system's ANSI code page.
std::wstring NameArgument() {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::wstring name = arguments && count == 2 ? arguments[1] : L"";
  ::LocalFree(arguments);
  return name;
}

int Hold() {
  const std::wstring name = NameArgument();
  if (name.empty()) return 2;
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
  if (!mutex || ::GetLastError() == ERROR_ALREADY_EXISTS) {
    std::printf("refused %lu\n", ::GetLastError());
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  std::string line;
  std::getline(std::cin, line);
  ::CloseHandle(mutex);
  return 0;
}

#else

bool IsPlainByte(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
         (byte >= '0' && byte <= '9') || byte == '.' || byte == '_' || byte == '-';
}

std::string FileNameOf(const std::string& name) {
  // Too long for a file name, it becomes a start of it and the hash of the
  // whole.
  std::string file = "qv-mutex-", shortened = file;
  for (unsigned char byte : name) {
    char unit[4];
    std::snprintf(unit, sizeof unit, IsPlainByte(byte) ? "%c" : "%%%02X", byte);
    if (shortened.size() < 236) shortened += unit;
    file += unit;
  }
  if (file.size() <= 255) return file;
  std::uint64_t hash = 0xCBF29CE484222325ull;
  for (unsigned char byte : name) hash = (hash ^ byte) * 0x100000001B3ull;
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llX", static_cast<unsigned long long>(hash));
  return shortened + "~" + digits;
}

std::string LockFileOf(std::string name) {
  if (name.rfind("Local\\", 0) == 0) name.erase(0, 6);
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string path = runtime && runtime[0] == '/' ? runtime : "/tmp";
  return path + "/" + FileNameOf(name);
}

int Hold(const char* name) {
  const std::string path = LockFileOf(name);
  const int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    std::printf("refused %d\n", errno);
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  std::string line;
  std::getline(std::cin, line);
  unlink(path.c_str());
  close(fd);
  return 0;
}

#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
#ifdef _WIN32
  (void)argv;
  return Hold();
#else
  return Hold(argv[1]);
#endif
}
