// Exclusion between programs: the lock an updater holds on an install
// folder for a whole run, and the named mutexes by which a running program
// shows itself (the game's `mutex` and `confmutex`).
//
// Windows keeps both in named mutexes. On POSIX the folder lock is an
// flock on the folder itself, and a named mutex is an flock on a lock file
// named after it in the runtime folder ($XDG_RUNTIME_DIR when it is an
// absolute path, else /tmp): "qv-mutex-" and the name in UTF-8, every byte
// other than A-Z, a-z, 0-9, '.', '_' and '-' written as %XX, a leading
// "Local\" dropped as Windows drops it. Longer than 255 bytes, it keeps
// the escaped bytes added while it was shorter than 236 bytes, then "~"
// and the 64-bit FNV-1a hash of the UTF-8 name in 16 upper-case
// hexadecimal digits. A program that ends, however it
// ends, lets go of both.
#pragma once

#include <cstdint>

namespace os {

inline constexpr std::uint32_t kErrorLockViolation = 33;

struct FolderLock;

// Takes the exclusive lock of `folder` for this run. Null on failure; with
// kErrorLockViolation when another holder has it, in another process or in
// this one. A missing folder fails with kErrorPathNotFound, a file with
// ERROR_DIRECTORY (267).
//
// Windows: the mutex "Global\QVUPDATER_LOCK_" and 16 hexadecimal digits,
// the FNV-1a hash of the folder's full long path, lower-cased, without a
// trailing backslash, so that every spelling of one folder meets the same
// lock. POSIX: flock(LOCK_EX | LOCK_NB) on the folder, which names it by
// device and inode and covers every user; no lock file is made.
FolderLock* LockFolder(const char16_t* folder);
void UnlockFolder(FolderLock* lock);

struct NamedMutex;

// Creates the named mutex `name` and holds it, as a program does to show
// that it runs (CreateMutexW). Null on failure; with kErrorAlreadyExists
// when it exists already.
NamedMutex* HoldNamedMutex(const char16_t* name);
void ReleaseNamedMutex(NamedMutex* mutex);

// Whether a named mutex `name` exists (OpenMutexW with SYNCHRONIZE; one
// that exists but may not be opened by this user counts). False when that
// cannot be told, with the last error set.
bool NamedMutexExists(const char16_t* name, bool* exists);

}  // namespace os
