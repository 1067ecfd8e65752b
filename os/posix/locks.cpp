// The lock of a folder is an flock on the folder itself; a named mutex is
// an flock on a lock file in the runtime folder (see os/locks.h for the
// names). The system lets go of a holder's flock when its process ends in
// any way; a lock file left behind then holds nothing.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "base/utf8.h"
#include "os/fault.h"
#include "os/file.h"
#include "os/locks.h"
#include "os/posix/environment_folder.h"
#include "os/posix/errno_map.h"
#include "os/posix/folder_descriptor.h"
#include "os/posix/native_path.h"

namespace os {

struct FolderLock {
  int fd;
};

FolderLock* LockFolder(const char16_t* folder) {
  if (FaultInjected(FileOp::kLock)) return nullptr;
  const int fd = posix::OpenFolderDescriptor(folder);
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    SetLastError(errno == EWOULDBLOCK ? kErrorLockViolation : posix::ErrorFromErrno(errno));
    close(fd);
    return nullptr;
  }
  auto* lock = new (std::nothrow) FolderLock{fd};
  if (!lock) {
    close(fd);
    SetLastError(kErrorNotEnoughMemory);
  }
  return lock;
}

void UnlockFolder(FolderLock* lock) {
  if (!lock) return;
  close(lock->fd);  // releases the flock
  delete lock;
}

struct NamedMutex {
  int fd;
  std::string path;
};

namespace {

constexpr int kHoldAttempts = 100;
// A file name's limit (NAME_MAX), and what of it a long name's escaped
// form keeps before its hash ("~" and 16 hexadecimal digits).
constexpr std::size_t kNameLimit = 255;
constexpr std::size_t kHashLength = 17;
constexpr char kHex[] = "0123456789ABCDEF";

bool IsPlainByte(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
         (byte >= '0' && byte <= '9') || byte == '.' || byte == '_' || byte == '-';
}

// The file name of the mutex `utf8`: "qv-mutex-" and the name escaped. A
// name whose escaped form is longer than a file name may be (Windows takes
// 259 characters, a Japanese one escapes to nine bytes each) keeps the
// start of it that fits, cut before an escape, then "~" and the FNV-1a
// hash of the whole name; "~" is escaped in every other name, so the two
// forms never meet.
std::string FileNameOf(const std::string& utf8) {
  std::string name = "qv-mutex-";
  std::size_t cut = std::string::npos;
  for (unsigned char byte : utf8) {
    if (cut == std::string::npos && name.size() + 3 > kNameLimit - kHashLength) cut = name.size();
    if (IsPlainByte(byte)) {
      name += static_cast<char>(byte);
    } else {
      name += '%';
      name += kHex[byte >> 4];
      name += kHex[byte & 0xF];
    }
  }
  if (name.size() <= kNameLimit) return name;
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char byte : utf8) {
    hash ^= byte;
    hash *= 1099511628211ull;
  }
  name.resize(cut);
  name += '~';
  for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(hash >> shift) & 0xF];
  return name;
}

// The lock file of the mutex `name`; empty (with the last error set) for a
// name that cannot be one.
std::string LockFileOf(const char16_t* name) {
  std::u16string_view view(name ? name : u"");
  constexpr std::u16string_view kLocal = u"Local\\";
  if (view.starts_with(kLocal)) view.remove_prefix(kLocal.size());
  if (view.empty()) {
    SetLastError(kErrorInvalidParameter);
    return {};
  }
  std::string folder = posix::FolderFromEnvironment("XDG_RUNTIME_DIR");
  return (folder.empty() ? "/tmp" : folder) + "/" + FileNameOf(::ToUtf8(view));
}

bool SameFile(int fd, const std::string& path) {
  struct stat held, named;
  return fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

NamedMutex* HoldNamedMutex(const char16_t* name) {
  if (FaultInjected(FileOp::kLock)) return nullptr;
  std::string path = LockFileOf(name);
  if (path.empty()) return nullptr;
  for (int attempt = 0; attempt < kHoldAttempts; ++attempt) {
    // Read access is all flock needs, so another user's lock file serves.
    const int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
      posix::SetErrnoError(errno);
      return nullptr;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      SetLastError(errno == EWOULDBLOCK ? kErrorAlreadyExists : posix::ErrorFromErrno(errno));
      close(fd);
      return nullptr;
    }
    // A holder that let go has unlinked its file; a lock on that one would
    // guard nothing.
    if (SameFile(fd, path)) {
      if (auto* mutex = new (std::nothrow) NamedMutex{fd, std::move(path)}) return mutex;
      SetLastError(kErrorNotEnoughMemory);
      close(fd);
      return nullptr;
    }
    close(fd);
  }
  SetLastError(kErrorSharingViolation);
  return nullptr;
}

void ReleaseNamedMutex(NamedMutex* mutex) {
  if (!mutex) return;
  // Unlinked while still locked, so that no one locks a file on its way out.
  unlink(mutex->path.c_str());
  close(mutex->fd);
  delete mutex;
}

bool NamedMutexExists(const char16_t* name, bool* exists) {
  if (FaultInjected(FileOp::kLock)) return false;
  const std::string path = LockFileOf(name);
  if (path.empty() || !exists) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    // Windows likewise tells of a mutex that this user may not open.
    if (errno == ENOENT || errno == EACCES) {
      *exists = errno == EACCES;
      return true;
    }
    posix::SetErrnoError(errno);
    return false;
  }
  // A shared lock is refused while a holder has its exclusive one.
  const int refusal = flock(fd, LOCK_SH | LOCK_NB) == 0 ? 0 : errno;
  close(fd);  // and with it the probe's own lock
  if (refusal != 0 && refusal != EWOULDBLOCK) {
    posix::SetErrnoError(refusal);
    return false;
  }
  *exists = refusal == EWOULDBLOCK;
  return true;
}

}  // namespace os
