#include "support/child_process.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "os/process.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace qvtest {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

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

std::optional<std::size_t> ChildProcess::WaitForOutput(std::string_view text, std::size_t from,
                                                       int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (from <= output_.size()) {
      const std::size_t at = output_.find(text, from);
      if (at != std::string::npos) return at + text.size();
    }
    if (!ReadSome(MillisecondsLeft(deadline))) return std::nullopt;
  }
}

bool ChildProcess::ReadToEnd(int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (ReadSome(MillisecondsLeft(deadline))) {
  }
  return output_ended_;
}

#ifdef _WIN32

namespace {

HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// An inheritable copy of this process's standard error, or null.
HANDLE InheritableStandardError() {
  HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  HANDLE copy = nullptr;
  if (error && error != INVALID_HANDLE_VALUE)
    ::DuplicateHandle(::GetCurrentProcess(), error, ::GetCurrentProcess(), &copy, 0, TRUE,
                      DUPLICATE_SAME_ACCESS);
  return copy;
}

}  // namespace

ChildProcess::ChildProcess(const std::filesystem::path& program,
                           const std::vector<std::string>& arguments, const ChildOptions& options) {
  std::wstring command = L"\"" + program.wstring() + L"\"";
  for (const std::string& argument : arguments) {
    const std::u16string wide = U16(argument);
    command += L" \"" + std::wstring(wide.begin(), wide.end()) + L"\"";
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  // The program's ends are inheritable, ours are not: a program started
  // later must not keep this one's input open.
  HANDLE child_ends[3] = {};
  if (options.piped) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE our_input = nullptr, our_output = nullptr;
    if (!::CreatePipe(&child_ends[0], &our_input, &inherit, 0)) return;
    input_ = reinterpret_cast<std::intptr_t>(our_input);
    if (!::CreatePipe(&our_output, &child_ends[1], &inherit, 0)) {
      ::CloseHandle(child_ends[0]);
      return;
    }
    output_pipe_ = reinterpret_cast<std::intptr_t>(our_output);
    ::SetHandleInformation(our_input, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(our_output, HANDLE_FLAG_INHERIT, 0);
    child_ends[2] = InheritableStandardError();
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = child_ends[0];
    startup.hStdOutput = child_ends[1];
    startup.hStdError = child_ends[2];
  }
  const std::wstring folder = options.folder.wstring();
  PROCESS_INFORMATION info{};
  const BOOL started =
      ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, options.piped, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &info);
  for (HANDLE end : child_ends)
    if (end) ::CloseHandle(end);
  if (!started) return;
  ::CloseHandle(info.hThread);
  process_ = reinterpret_cast<std::intptr_t>(info.hProcess);
}

ChildProcess::~ChildProcess() {
  CloseInput();
  if (process_ != 0) {
    if (!Wait(30000)) ::TerminateProcess(AsHandle(process_), 1);
    ::CloseHandle(AsHandle(process_));
  }
  if (output_pipe_ != -1) ::CloseHandle(AsHandle(output_pipe_));
}

std::optional<int> ChildProcess::Wait(int timeout_ms) {
  if (exit_code_ || process_ == 0) return exit_code_;
  auto handle = AsHandle(process_);
  DWORD code = 0;
  if (::WaitForSingleObject(handle, static_cast<DWORD>(timeout_ms)) == WAIT_OBJECT_0 &&
      ::GetExitCodeProcess(handle, &code))
    exit_code_ = static_cast<int>(code);
  return exit_code_;
}

bool ChildProcess::Send(std::string_view text) {
  while (input_ != -1 && !text.empty()) {
    DWORD written = 0;
    if (!::WriteFile(AsHandle(input_), text.data(), static_cast<DWORD>(text.size()), &written,
                     nullptr))
      return false;
    text.remove_prefix(written);
  }
  return input_ != -1;
}

void ChildProcess::CloseInput() {
  if (input_ == -1) return;
  ::CloseHandle(AsHandle(input_));
  input_ = -1;
}

bool ChildProcess::ReadSome(int timeout_ms) {
  if (output_pipe_ == -1 || output_ended_) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  // Anonymous pipes cannot wait with a time limit: they are polled.
  for (;;) {
    DWORD available = 0;
    if (!::PeekNamedPipe(AsHandle(output_pipe_), nullptr, 0, nullptr, &available, nullptr)) {
      output_ended_ = true;
      return false;
    }
    if (available > 0) break;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  char buffer[4096];
  DWORD got = 0;
  if (!::ReadFile(AsHandle(output_pipe_), buffer, sizeof buffer, &got, nullptr) || got == 0) {
    output_ended_ = true;
    return false;
  }
  output_.append(buffer, got);
  return true;
}

#else

ChildProcess::ChildProcess(const std::filesystem::path& program,
                           const std::vector<std::string>& arguments, const ChildOptions& options) {
  std::vector<std::string> words = {program.string()};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Close-on-exec everywhere: only the program's own ends, made its
  // standard input and output, pass into it.
  int input[2] = {-1, -1}, output[2] = {-1, -1};
  if (options.piped) {
    // A write to a program that has ended fails instead of ending the test.
    signal(SIGPIPE, SIG_IGN);
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) {
      for (int fd : {input[0], input[1], output[0], output[1]})
        if (fd != -1) close(fd);
      posix_spawn_file_actions_destroy(&actions);
      return;
    }
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    input_ = input[1];
    output_pipe_ = output[0];
  }
  if (!options.folder.empty())
    posix_spawn_file_actions_addchdir_np(&actions, options.folder.c_str());
  pid_t pid = 0;
  if (posix_spawn(&pid, words[0].c_str(), &actions, nullptr, argv.data(), environ) == 0)
    process_ = pid;
  posix_spawn_file_actions_destroy(&actions);
  for (int fd : {input[0], output[1]})
    if (fd != -1) close(fd);
}

ChildProcess::~ChildProcess() {
  CloseInput();
  if (process_ != 0 && !Wait(30000)) {
    kill(static_cast<pid_t>(process_), SIGKILL);
    waitpid(static_cast<pid_t>(process_), nullptr, 0);
  }
  if (output_pipe_ != -1) close(static_cast<int>(output_pipe_));
}

std::optional<int> ChildProcess::Wait(int timeout_ms) {
  if (exit_code_ || process_ == 0) return exit_code_;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    if (waitpid(static_cast<pid_t>(process_), &status, WNOHANG) == static_cast<pid_t>(process_)) {
      exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return exit_code_;
    }
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool ChildProcess::Send(std::string_view text) {
  while (input_ != -1 && !text.empty()) {
    const ssize_t written = write(static_cast<int>(input_), text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return input_ != -1;
}

void ChildProcess::CloseInput() {
  if (input_ == -1) return;
  close(static_cast<int>(input_));
  input_ = -1;
}

bool ChildProcess::ReadSome(int timeout_ms) {
  if (output_pipe_ == -1 || output_ended_) return false;
  pollfd ready{static_cast<int>(output_pipe_), POLLIN, 0};
  int polled = 0;
  do {
    polled = poll(&ready, 1, timeout_ms);
  } while (polled < 0 && errno == EINTR);
  if (polled <= 0) return false;
  char buffer[4096];
  const ssize_t got = read(static_cast<int>(output_pipe_), buffer, sizeof buffer);
  if (got <= 0) {
    if (got < 0 && errno == EINTR) return true;
    output_ended_ = true;
    return false;
  }
  output_.append(buffer, static_cast<std::size_t>(got));
  return true;
}

#endif

}  // namespace qvtest
