// The folder lock and the named mutexes of os/locks.h: both are named
// mutexes that a holder keeps by keeping them open. A mutex exists while
// any process has a handle of it, and the system closes a dead process's
// handles, so ownership (which would tie it to one thread) is never taken.
#include "os/locks.h"

#include <new>
#include <string>

#include "os/fault.h"
#include "os/win32/folder_check.h"
#include "os/win32/windows_fwd.h"

namespace os {

struct NamedMutex {
  HANDLE handle;
};

struct FolderLock {
  HANDLE handle;
};

namespace {

using win32::Wide;

bool CheckName(const char16_t* name) {
  if (!win32::CheckPath(name)) return false;
  if (name[0] != 0) return true;
  ::SetLastError(ERROR_INVALID_PARAMETER);  // CreateMutexW would make an unnamed one
  return false;
}

// A handle of the mutex `name` when this call made it; null when it existed
// (ERROR_ALREADY_EXISTS) or could not be made.
HANDLE CreateNewMutex(const wchar_t* name) {
  HANDLE handle = ::CreateMutexW(nullptr, FALSE, name);
  if (!handle) {
    // Made by another user, whose mutex this one may not open.
    if (::GetLastError() == ERROR_ACCESS_DENIED) ::SetLastError(ERROR_ALREADY_EXISTS);
    return nullptr;
  }
  if (::GetLastError() != ERROR_ALREADY_EXISTS) return handle;
  ::CloseHandle(handle);
  ::SetLastError(ERROR_ALREADY_EXISTS);
  return nullptr;
}

std::u16string FullLongPath(const char16_t* folder) {
  std::u16string full(MAX_PATH, u'\0');
  for (;;) {
    DWORD length = ::GetFullPathNameW(Wide(folder), static_cast<DWORD>(full.size()),
                                      Wide(full.data()), nullptr);
    if (length == 0) return {};
    const bool fits = length < full.size();
    full.resize(length);
    if (fits) break;
  }
  std::u16string long_form(full.size() + 1, u'\0');
  for (;;) {
    DWORD length = ::GetLongPathNameW(Wide(full.c_str()), Wide(long_form.data()),
                                      static_cast<DWORD>(long_form.size()));
    if (length == 0) return full;  // the short form is all there is
    const bool fits = length < long_form.size();
    long_form.resize(length);
    if (fits) return long_form;
  }
}

// "Global\QVUPDATER_LOCK_" and the FNV-1a hash of the folder's normalised
// path, so that every spelling of the folder names the same mutex and
// every session sees it. Empty when the path cannot be had.
std::u16string LockName(const char16_t* folder) {
  std::u16string path = FullLongPath(folder);
  while (!path.empty() && path.back() == u'\\') path.pop_back();
  if (path.empty()) return {};
  ::CharLowerBuffW(Wide(path.data()), static_cast<DWORD>(path.size()));
  std::uint64_t hash = 14695981039346656037ull;
  for (char16_t unit : path) {
    hash ^= unit;
    hash *= 1099511628211ull;
  }
  std::u16string name = u"Global\\QVUPDATER_LOCK_";
  for (int shift = 60; shift >= 0; shift -= 4) name += u"0123456789ABCDEF"[(hash >> shift) & 0xF];
  return name;
}

// The holder of a mutex handle; null (the handle closed) without memory.
template <typename Holder>
Holder* Keep(HANDLE handle) {
  if (!handle) return nullptr;
  auto* holder = new (std::nothrow) Holder{handle};
  if (holder) return holder;
  ::CloseHandle(handle);
  ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

template <typename Holder>
void LetGo(Holder* holder) {
  if (!holder) return;
  ::CloseHandle(holder->handle);
  delete holder;
}

}  // namespace

FolderLock* LockFolder(const char16_t* folder) {
  if (FaultInjected(FileOp::kLock) || !win32::CheckFolder(folder)) return nullptr;
  const std::u16string name = LockName(folder);
  if (name.empty()) return nullptr;
  HANDLE handle = CreateNewMutex(Wide(name.c_str()));
  if (!handle && ::GetLastError() == ERROR_ALREADY_EXISTS) ::SetLastError(ERROR_LOCK_VIOLATION);
  return Keep<FolderLock>(handle);
}

void UnlockFolder(FolderLock* lock) { LetGo(lock); }

NamedMutex* HoldNamedMutex(const char16_t* name) {
  if (FaultInjected(FileOp::kLock) || !CheckName(name)) return nullptr;
  return Keep<NamedMutex>(CreateNewMutex(Wide(name)));
}

void ReleaseNamedMutex(NamedMutex* mutex) { LetGo(mutex); }

bool NamedMutexExists(const char16_t* name, bool* exists) {
  if (FaultInjected(FileOp::kLock) || !CheckName(name)) return false;
  if (!exists) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  HANDLE handle = ::OpenMutexW(SYNCHRONIZE, FALSE, Wide(name));
  if (handle) {
    ::CloseHandle(handle);
    *exists = true;
    return true;
  }
  switch (::GetLastError()) {
    case ERROR_ACCESS_DENIED:  // another user's mutex: it exists all the same
      *exists = true;
      return true;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_HANDLE:  // the name belongs to an object that is no mutex
      *exists = false;
      return true;
    default:
      return false;
  }
}

}  // namespace os
