// Entries by path: attributes, deleting files, creating and removing
// folders, full path names and the current directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "os/fault.h"
#include "os/folders.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_stat.h"
#include "os/posix/native_path.h"
#include "os/posix/open_files.h"

namespace os {

// Attribute bits by path; a symbolic link shows as a reparse point, as
// Windows shows its links. Only the read-only bit can be set: it clears or
// restores the write permission bits. Folders keep their permissions, as
// Windows does not enforce read-only on folders either.

std::uint32_t GetFileAttributes(const char16_t* path) {
  if (FaultInjected(FileOp::kQuery)) return kInvalidAttributes;
  std::string native = posix::NativePath(path);
  posix::EntryStat entry;
  if (!path || !posix::StatEntry(AT_FDCWD, native.c_str(), &entry)) {
    posix::SetPathError(path ? errno : ENOENT, native);
    return kInvalidAttributes;
  }
  return posix::AttributesOf(posix::LastComponent(native), entry);
}

bool SetFileAttributes(const char16_t* path, std::uint32_t attributes) {
  if (FaultInjected(FileOp::kSetAttributes)) return false;
  std::string native;
  struct stat info;
  if (!posix::StatPath(path, posix::Links::kFollow, &native, &info)) return false;
  if (S_ISDIR(info.st_mode)) return true;
  mode_t mode = posix::ModeForAttributes(info.st_mode, attributes);
  if (mode != (info.st_mode & 07777) && chmod(native.c_str(), mode) != 0) {
    posix::SetPathError(errno, native);
    return false;
  }
  return true;
}

// Deleting files, creating and removing folders.

bool DeleteFile(const char16_t* path) {
  if (FaultInjected(FileOp::kDelete)) return false;
  std::string native;
  struct stat info;
  if (!posix::StatPath(path, posix::Links::kKeep, &native, &info)) return false;
  // Windows refuses folders, read-only files and files that are open
  // (no handle here shares deletion).
  if (S_ISDIR(info.st_mode) || (S_ISREG(info.st_mode) && posix::IsReadOnly(info))) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  if (posix::IsFileOpen(info.st_dev, info.st_ino)) {
    SetLastError(kErrorSharingViolation);
    return false;
  }
  if (unlink(native.c_str()) != 0) {
    posix::SetPathError(errno, native);
    return false;
  }
  return true;
}

bool CreateDirectory(const char16_t* path) {
  if (FaultInjected(FileOp::kCreateFolder)) return false;
  std::string native = posix::NativePath(path);
  if (!path || mkdir(native.c_str(), 0777) != 0) {
    int error = path ? errno : ENOENT;
    posix::SetPathError(error, native);
    if (error == EEXIST) SetLastError(kErrorAlreadyExists);
    else if (error == ENOENT) SetLastError(kErrorPathNotFound);
    return false;
  }
  return true;
}

bool RemoveDirectory(const char16_t* path) {
  if (FaultInjected(FileOp::kRemoveFolder)) return false;
  std::string native = posix::NativePath(path);
  if (!path || rmdir(native.c_str()) != 0) {
    int error = path ? errno : ENOENT;
    posix::SetPathError(error, native);
    if (error == EEXIST) SetLastError(kErrorDirNotEmpty);
    struct stat info;
    if (error == ENOTDIR && lstat(native.c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
      SetLastError(posix::kErrorDirectory);
    return false;
  }
  return true;
}

// Full path names and the current directory.
namespace {

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

}  // namespace os
