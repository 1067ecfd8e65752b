// The executable's path, the local clock, the environment, the assertion
// report and process exit.
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "os/file.h"
#include "os/posix/errors.h"
#include "os/posix/native_path.h"
#include "base/utf8.h"
#include "os/system.h"

namespace os {

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

LocalTime GetLocalTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts{};
  localtime_r(&now.tv_sec, &parts);
  return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                   parts.tm_min,         parts.tm_sec,     static_cast<int>(now.tv_nsec / 1000000)};
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

void ExitProcess(std::uint32_t code) { _exit(static_cast<int>(code)); }

void TerminateProcess(std::uint32_t code) { _exit(static_cast<int>(code)); }

}  // namespace os
