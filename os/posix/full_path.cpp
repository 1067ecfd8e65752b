// Full path names, the current directory and the error mode.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <vector>

#include "os/file.h"
#include "os/posix/errors.h"
#include "os/posix/native_path.h"

namespace os {
namespace {

std::atomic<std::uint32_t> error_mode{0};

bool CurrentDirectory(std::string* out) {
  std::vector<char> buffer(PATH_MAX);
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) {
      posix::SetErrnoError(errno);
      return false;
    }
    buffer.resize(buffer.size() * 2);
  }
  *out = buffer.data();
  return true;
}

// Resolves "." and ".." textually, as GetFullPathName does; ".." at the
// root stays at the root. A trailing separator is kept.
std::string Normalise(const std::string& absolute) {
  std::vector<std::string_view> parts;
  std::string_view rest(absolute);
  while (!rest.empty()) {
    std::size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (std::string_view part : parts) {
    out += '/';
    out += part;
  }
  bool trailing = absolute.back() == '/';
  if (out.empty() || trailing) out += '/';
  return out;
}

}  // namespace

std::uint32_t GetFullPathName(const char16_t* path, char16_t* out, std::uint32_t capacity) {
  std::string native = posix::NativePath(path);
  if (native.empty()) {
    SetLastError(posix::kErrorInvalidName);
    return 0;
  }
  if (native[0] != '/') {
    std::string current;
    if (!CurrentDirectory(&current)) return 0;
    native = current + "/" + native;
  }
  return posix::CopyOut(posix::EnginePath(Normalise(native)), out, capacity);
}

std::uint32_t GetCurrentDirectory(char16_t* out, std::uint32_t capacity) {
  std::string current;
  if (!CurrentDirectory(&current)) return 0;
  return posix::CopyOut(posix::EnginePath(current), out, capacity);
}

bool SetCurrentDirectory(const char16_t* path) {
  std::string native = posix::NativePath(path);
  if (!path || chdir(native.c_str()) != 0) {
    int error = path ? errno : ENOENT;
    posix::SetPathError(error, native);
    if (error == ENOTDIR) SetLastError(posix::kErrorDirectory);
    return false;
  }
  return true;
}

std::uint32_t SetErrorMode(std::uint32_t mode) { return error_mode.exchange(mode); }

}  // namespace os
