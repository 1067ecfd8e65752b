// Version resources of executables and libraries.
//
// A loaded resource answers queries by sub-block path in the Windows form:
// "\\" for the fixed file information, "\\VarFileInfo\\Translation" for the
// translation table, "\\StringFileInfo\\041104b0\\FileVersion" for a text.
#pragma once

#include <cstdint>

namespace os {

struct VersionResource;

// ERROR_RESOURCE_TYPE_NOT_FOUND: the file is there and readable but holds no
// version resource (or is no program at all).
inline constexpr std::uint32_t kErrorNoVersionResource = 1813;

// Reads the version resource of the file at `path`. Null when the file has
// none (last error kErrorNoVersionResource) or it cannot be read (the
// system's error): a caller that compares versions must not take a file it
// could not read for one without a version.
VersionResource* LoadVersionResource(const char16_t* path);
void FreeVersionResource(VersionResource* resource);

// Finds the value of a sub-block. `value` points into the resource and
// `size` is its length in bytes (a text counts two bytes a unit and may or
// may not include its terminator). False when the block does not exist or
// holds no value.
bool QueryVersionValue(const VersionResource* resource, const char16_t* sub_block,
                       const void** value, std::uint32_t* size);

}  // namespace os
