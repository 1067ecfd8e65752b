#include "support/child_process.h"

#include <chrono>
#include <thread>

#include "os/system.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

namespace qvtest {

std::filesystem::path ProgramBesideTest(const std::string& name) {
  char16_t module[1024] = {};
  os::GetModulePath(module, 1024);
  std::filesystem::path folder = std::filesystem::path(std::u16string(module)).parent_path();
#ifdef _WIN32
  return folder / (name + ".exe");
#else
  return folder / name;
#endif
}

#ifdef _WIN32

ChildProcess::ChildProcess(const std::filesystem::path& program,
                           const std::vector<std::string>& arguments) {
  std::wstring command = L"\"" + program.wstring() + L"\"";
  for (const std::string& argument : arguments) {
    const std::u16string wide = U16(argument);
    command += L" \"" + std::wstring(wide.begin(), wide.end()) + L"\"";
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
    return;
  ::CloseHandle(info.hThread);
  process_ = reinterpret_cast<std::intptr_t>(info.hProcess);
}

ChildProcess::~ChildProcess() {
  if (process_ == 0) return;
  if (!Wait(30000)) ::TerminateProcess(reinterpret_cast<HANDLE>(process_), 1);
  ::CloseHandle(reinterpret_cast<HANDLE>(process_));
}

std::optional<int> ChildProcess::Wait(int timeout_ms) {
  if (exit_code_ || process_ == 0) return exit_code_;
  auto handle = reinterpret_cast<HANDLE>(process_);
  DWORD code = 0;
  if (::WaitForSingleObject(handle, static_cast<DWORD>(timeout_ms)) == WAIT_OBJECT_0 &&
      ::GetExitCodeProcess(handle, &code))
    exit_code_ = static_cast<int>(code);
  return exit_code_;
}

#else

ChildProcess::ChildProcess(const std::filesystem::path& program,
                           const std::vector<std::string>& arguments) {
  std::vector<std::string> words = {program.string()};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, words[0].c_str(), nullptr, nullptr, argv.data(), environ) == 0)
    process_ = pid;
}

ChildProcess::~ChildProcess() {
  if (process_ == 0 || Wait(30000)) return;
  kill(static_cast<pid_t>(process_), SIGKILL);
  waitpid(static_cast<pid_t>(process_), nullptr, 0);
}

std::optional<int> ChildProcess::Wait(int timeout_ms) {
  if (exit_code_ || process_ == 0) return exit_code_;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    if (waitpid(static_cast<pid_t>(process_), &status, WNOHANG) == static_cast<pid_t>(process_)) {
      exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return exit_code_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

#endif

}  // namespace qvtest
