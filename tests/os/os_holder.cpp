// os_holder lock|mutex TARGET SIGNALS
//
// Plays another program for the lock tests: takes the folder lock of the
// folder TARGET as a second updater would, or holds the named mutex TARGET
// as a running game does. When it holds, it makes the file "held" in the
// folder SIGNALS and keeps what it holds until the file "stop" appears
// there; when "crash" appears it ends at once without letting go (exit code
// 9). Refused, it ends with the error number as its exit code. It gives up
// after a minute.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "os/file.h"
#include "os/locks.h"
#include "os/process.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

// The arguments in UTF-16, whatever the system's ANSI code page.
std::vector<std::u16string> Arguments(int argc, char** argv) {
  std::vector<std::u16string> out;
#ifdef _WIN32
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  for (int i = 0; wide && i < argc; ++i)
    out.emplace_back(reinterpret_cast<const char16_t*>(wide[i]));
  ::LocalFree(wide);
#else
  for (int i = 0; i < argc; ++i) out.push_back(std::filesystem::path(argv[i]).u16string());
#endif
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::u16string> arguments = Arguments(argc, argv);
  if (arguments.size() != 4) return 2;
  const std::u16string& command = arguments[1];
  const std::u16string& target = arguments[2];
  const std::filesystem::path signals = arguments[3];

  os::FolderLock* lock = nullptr;
  os::NamedMutex* mutex = nullptr;
  if (command == u"lock") lock = os::LockFolder(target.c_str());
  else if (command == u"mutex") mutex = os::HoldNamedMutex(target.c_str());
  else return 2;
  if (!lock && !mutex) return static_cast<int>(os::GetLastError() & 0xFF);

  std::ofstream(signals / "held") << "held";
  for (int i = 0; i < 6000 && !std::filesystem::exists(signals / "stop"); ++i) {
    if (std::filesystem::exists(signals / "crash")) os::TerminateProcess(9);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  os::UnlockFolder(lock);
  os::ReleaseNamedMutex(mutex);
  return 0;
}
