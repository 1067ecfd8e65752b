// The version resource of an executable or library, read into a fixed
// record: the standard strings of its first translation and a numeric
// version taken from the "FileVersion" text.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kVersionStringCapacity = 256;

struct VersionInfo {
  char16_t comments[kVersionStringCapacity];
  char16_t company_name[kVersionStringCapacity];
  char16_t file_description[kVersionStringCapacity];
  char16_t file_version[kVersionStringCapacity];
  char16_t internal_name[kVersionStringCapacity];
  char16_t legal_copyright[kVersionStringCapacity];
  char16_t legal_trademarks[kVersionStringCapacity];
  char16_t original_filename[kVersionStringCapacity];
  char16_t product_name[kVersionStringCapacity];
  char16_t product_version[kVersionStringCapacity];
  char16_t private_build[kVersionStringCapacity];
  char16_t special_build[kVersionStringCapacity];
  // Fourth part first: read as one little-endian 64-bit number, the first
  // part is the most significant, so versions compare as integers.
  std::uint16_t version[4];

  std::uint64_t Number() const {
    return static_cast<std::uint64_t>(version[3]) << 48 |
           static_cast<std::uint64_t>(version[2]) << 32 |
           static_cast<std::uint64_t>(version[1]) << 16 | version[0];
  }
};

// 1 when the file has a version resource (the record is filled as far as
// it goes), 0 when it has none (last error os::kErrorNoVersionResource) or
// it cannot be read (the system's error); the record is zero then.
int ReadVersionInfo(const char16_t* path, VersionInfo* info);

// Splits a "FileVersion" text ("1, 2, 3, 4", "1.2.3.4", ...) into `info`'s
// numeric version; parts without a separator behind them stay 0.
void ParseFileVersion(const char16_t* text, VersionInfo* info);
