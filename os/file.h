// Files, folders, attributes and times as the engine sees them.
//
// The shape follows the Windows file API because the engine's behaviour is
// defined in its terms (dispositions, attribute bits, FILETIME, last-error
// codes). The POSIX backend reproduces the same results on Linux; paths may
// use '\' as separator and are translated at this boundary only.
#pragma once

#include <cstdint>

namespace os {

using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

// 100-nanosecond intervals since 1601-01-01 UTC (the Windows FILETIME scale).
struct FileTime {
  std::uint64_t ticks = 0;
};

// Creation dispositions, numerically equal to the Windows values.
enum Disposition : std::uint32_t {
  kCreateNew = 1,
  kCreateAlways = 2,
  kOpenExisting = 3,
  kOpenAlways = 4,
  kTruncateExisting = 5,
};

enum Access : std::uint32_t { kAccessRead = 0x1, kAccessWrite = 0x2 };
enum Share : std::uint32_t { kShareNone = 0, kShareRead = 0x1, kShareWrite = 0x2 };
enum OpenFlag : std::uint32_t {
  kFlagSequentialScan = 0x1,
  kFlagNoBuffering = 0x2,  // reads must be whole sectors into aligned memory
};

// File attribute bits, numerically equal to the Windows values.
inline constexpr std::uint32_t kAttrReadOnly = 0x1;
inline constexpr std::uint32_t kAttrHidden = 0x2;
inline constexpr std::uint32_t kAttrSystem = 0x4;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrNormal = 0x80;
inline constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// Error codes the engine and its tests look at (Windows numbering; the POSIX
// backend maps errno onto these).
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorHandleDiskFull = 39;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorDirNotEmpty = 145;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorNegativeSeek = 131;

// Last error of the calling thread, set by every failing call below.
std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);

// Opens or creates a file. `access` and `share` are bit sets of Access and
// Share; `attributes` is used when a file is created (0 = normal). Returns
// kInvalidHandle on failure with the last error set.
Handle OpenFile(const char16_t* path, std::uint32_t access, std::uint32_t share,
                std::uint32_t disposition, std::uint32_t attributes,
                std::uint32_t flags);
bool CloseFile(Handle file);

// One system read or write. `done` receives the bytes moved (0 at the end
// of a file). A handle without the needed access fails with kErrorAccessDenied.
bool ReadFile(Handle file, void* buffer, std::uint32_t count, std::uint32_t* done);
bool WriteFile(Handle file, const void* buffer, std::uint32_t count,
               std::uint32_t* done);

// Whether CopyFileData copies inside the system here (POSIX: yes; Windows:
// no, callers read and write through their own buffers).
bool SystemCopiesFileData();
// Copies up to `count` bytes from the file position of `from` (open for
// reading, without kFlagNoBuffering) to that of `to` (open for writing)
// without passing them through the caller's memory, and moves both
// positions: copy_file_range, or sendfile where the file systems refuse
// it. `done` receives the bytes copied, 0 at the end of `from`. A fault
// point of kind kWrite. Windows: kErrorNotSupported.
bool CopyFileData(Handle from, Handle to, std::uint32_t count, std::uint32_t* done);

// A read at `offset` that neither uses nor depends on the file pointer, so
// that threads sharing a handle never read at each other's positions.
bool ReadFileAt(Handle file, std::uint64_t offset, void* buffer, std::uint32_t count,
                std::uint32_t* done);

enum SeekOrigin : std::uint32_t { kSeekBegin = 0, kSeekCurrent = 1, kSeekEnd = 2 };
// Moves the file pointer; returns the new position, or -1 on failure (a
// negative resulting position fails with kErrorNegativeSeek).
std::int64_t SeekFile(Handle file, std::int64_t distance, SeekOrigin origin);
bool GetFileSize(Handle file, std::uint64_t* size);

// Times by handle; a null pointer leaves that time alone (or is not asked
// for). The POSIX backend cannot set a creation time and ignores it.
bool GetFileTimes(Handle file, FileTime* creation, FileTime* last_access,
                  FileTime* last_write);
bool SetFileTimes(Handle file, const FileTime* creation,
                  const FileTime* last_access, const FileTime* last_write);

// Directory search with Windows wildcard rules ('*', '?', "*.*" also
// matching names without a dot, ASCII case-insensitive); "." and ".." are
// reported for folders as Windows does.
struct FindData {
  std::uint32_t attributes = 0;
  FileTime creation;
  FileTime last_access;
  FileTime last_write;
  std::uint64_t size = 0;
  char16_t name[260] = {};
};
// Returns kInvalidHandle when nothing matches (last error
// kErrorFileNotFound) or the folder cannot be read.
Handle FindFirst(const char16_t* pattern, FindData* data);
bool FindNext(Handle search, FindData* data);
void FindClose(Handle search);

std::uint32_t GetFileAttributes(const char16_t* path);  // kInvalidAttributes if none
bool SetFileAttributes(const char16_t* path, std::uint32_t attributes);
bool DeleteFile(const char16_t* path);  // files only
bool CreateDirectory(const char16_t* path);
bool RemoveDirectory(const char16_t* path);  // empty folders only

// Absolute form of a path. Returns its length in units, or 0 on failure or
// when it does not fit `capacity` units including the terminator.
std::uint32_t GetFullPathName(const char16_t* path, char16_t* out,
                              std::uint32_t capacity);
// Same contract as GetFullPathName.
std::uint32_t GetCurrentDirectory(char16_t* out, std::uint32_t capacity);
bool SetCurrentDirectory(const char16_t* path);

// Critical-error dialog switch; returns the previous mode. Meaningful on
// Windows only; the POSIX backend keeps the value and nothing else.
inline constexpr std::uint32_t kSemFailCriticalErrors = 0x1;
std::uint32_t SetErrorMode(std::uint32_t mode);

// The system's text for an error code as the system gives it (it usually
// ends with a line break). Returns the length written (0 when there is none); never
// writes more than `capacity` units including the terminator.
std::uint32_t GetErrorText(std::uint32_t code, char16_t* out, std::uint32_t capacity);

}  // namespace os
