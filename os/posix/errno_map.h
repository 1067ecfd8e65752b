// errno -> Windows error codes.
#pragma once

#include <cstdint>
#include <string>

namespace os::posix {

// Codes the backend reports besides those in os/error.h.
inline constexpr std::uint32_t kErrorInvalidName = 123;
inline constexpr std::uint32_t kErrorDirectory = 267;
inline constexpr std::uint32_t kErrorInvalidFlags = 1004;

// errno values without a Windows counterpart are reported with the
// application bit (bit 29) set, so that the error text can still be told.
inline constexpr std::uint32_t kErrnoCodeBit = 0x20000000u;

std::uint32_t ErrorFromErrno(int error);
// Sets the last error for a failed call on `native_path`: a missing file
// is kErrorFileNotFound, a missing folder on the way kErrorPathNotFound.
void SetPathError(int error, const std::string& native_path);
void SetErrnoError(int error);

}  // namespace os::posix
