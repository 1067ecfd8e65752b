// Files by handle: opening, reading, writing, seeking and copying.
//
// The shape of this layer follows the Windows API because the engine's
// behaviour is defined in its terms (dispositions, attribute bits, FILETIME,
// last-error codes). The POSIX backend reproduces the same results on Linux;
// paths may use '\' as separator and are translated at this boundary only.
#pragma once

#include <cstdint>

#include "os/error.h"

namespace os {

using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

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

// Opens or creates a file. `access` and `share` are bit sets of Access and
// Share; `attributes` is used when a file is created (0 = normal). Returns
// kInvalidHandle on failure with the last error set.
Handle OpenFile(const char16_t* path, std::uint32_t access, std::uint32_t share,
                std::uint32_t disposition, std::uint32_t attributes,
                std::uint32_t flags);
bool CloseFile(Handle file);

// Opens `path` for writing alone (no sharing) as an empty file: creates it
// with normal attributes, or empties the file that is there. One fault
// point of kind kOpen. The error is that of the step that decided, so a
// failed creation is never reported as a missing file.
Handle OpenFileForRewrite(const char16_t* path);

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
// Asks the system to start reading `count` bytes of `file` from `offset`
// into its cache and returns without waiting: a hint, which later reads do
// not depend on. A fault point of kind kRead. POSIX: posix_fadvise
// WILLNEED; Windows keeps no such hint and only checks the handle.
bool ReadAheadFile(Handle file, std::uint64_t offset, std::uint32_t count);

// A read at `offset` that neither uses nor depends on the file pointer, so
// that threads sharing a handle never read at each other's positions.
bool ReadFileAt(Handle file, std::uint64_t offset, void* buffer, std::uint32_t count,
                std::uint32_t* done);

enum SeekOrigin : std::uint32_t { kSeekBegin = 0, kSeekCurrent = 1, kSeekEnd = 2 };
// Moves the file pointer; returns the new position, or -1 on failure (a
// negative resulting position fails with kErrorNegativeSeek).
std::int64_t SeekFile(Handle file, std::int64_t distance, SeekOrigin origin);
bool GetFileSize(Handle file, std::uint64_t* size);

}  // namespace os
