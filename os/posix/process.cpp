// The running process: the executable's path, the environment, the UI
// language, the error mode, the assertion report and process exit. Common
// controls and COM do not exist here.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "os/file.h"
#include "os/posix/errno_map.h"
#include "os/posix/native_path.h"
#include "os/posix/ui_language.h"
#include "os/process.h"
#include "base/utf8.h"

namespace os {
namespace {

std::atomic<std::uint32_t> error_mode{0};

}  // namespace

std::uint16_t GetUserUiLanguage() {
  return posix::ChooseUiLanguage(std::getenv("QV_UI_LANGUAGE"), std::getenv("LC_ALL"),
                                 std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

std::uint32_t SetErrorMode(std::uint32_t mode) { return error_mode.exchange(mode); }

std::uint32_t GetModulePath(char16_t* out, std::uint32_t capacity) {
  std::vector<char> buffer(4096);
  ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length < 0 || static_cast<std::size_t>(length) >= buffer.size()) {
    posix::SetErrnoError(length < 0 ? errno : ENAMETOOLONG);
    return 0;
  }
  return posix::CopyOut(posix::EnginePath({buffer.data(), static_cast<std::size_t>(length)}), out,
                        capacity);
}

const char* GetEnvironment(const char* name) { return name ? std::getenv(name) : nullptr; }

void ShowAssertBox(const char16_t* caption, const char16_t* text) {
  std::string line = ::ToUtf8(caption ? caption : u"");
  line += ": ";
  line += ::ToUtf8(text ? text : u"");
  line += '\n';
  // One write, unbuffered: the process usually ends right after.
  for (std::size_t done = 0; done < line.size();) {
    ssize_t put = write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += static_cast<std::size_t>(put);
  }
}

void InitCommonControls() {}
bool InitializeCom() { return true; }
void UninitializeCom() {}

void ExitProcess(std::uint32_t code) { _exit(static_cast<int>(code)); }

void TerminateProcess(std::uint32_t code) { _exit(static_cast<int>(code)); }

}  // namespace os
