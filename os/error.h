// The last error of the calling thread and the system's texts for errors.
#pragma once

#include <cstdint>

namespace os {

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

// Last error of the calling thread, set by every failing call of this layer.
std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);

// The system's text for an error code as the system gives it (it usually
// ends with a line break). Returns the length written (0 when there is
// none); never writes more than `capacity` units including the terminator.
std::uint32_t GetErrorText(std::uint32_t code, char16_t* out, std::uint32_t capacity);

}  // namespace os
