#include "peer_process.h"

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "os/system.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

namespace qvtest {

namespace {

std::filesystem::path PeerPath() {
  char16_t module[1024] = {};
  os::GetModulePath(module, 1024);
  std::filesystem::path path = std::filesystem::path(std::u16string(module)).parent_path();
#ifdef _WIN32
  return path / "dde_peer.exe";
#else
  return path / "dde_peer";
#endif
}

}  // namespace

PeerProcess::PeerProcess(const std::filesystem::path& folder) : folder_(folder) {
#ifdef _WIN32
  std::wstring command = L"\"" + PeerPath().wstring() + L"\" \"" + folder.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    return;
  CloseHandle(info.hThread);
  process_ = reinterpret_cast<std::intptr_t>(info.hProcess);
#else
  const std::string peer = PeerPath().string(), argument = folder.string();
  char* arguments[] = {const_cast<char*>(peer.c_str()), const_cast<char*>(argument.c_str()),
                       nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, peer.c_str(), nullptr, nullptr, arguments, environ) != 0) return;
  process_ = pid;
#endif
  for (int i = 0; i < 2000 && !ready_; ++i) {
    ready_ = std::filesystem::exists(folder_ / "ready");
    if (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

PeerProcess::~PeerProcess() {
  if (process_ == 0) return;
  std::ofstream(folder_ / "stop") << "stop";
#ifdef _WIN32
  auto handle = reinterpret_cast<HANDLE>(process_);
  WaitForSingleObject(handle, 30000);
  CloseHandle(handle);
#else
  int status = 0;
  waitpid(static_cast<pid_t>(process_), &status, 0);
#endif
}

}  // namespace qvtest
