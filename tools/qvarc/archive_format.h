// The file layout of the engine's archives as qvarc writes and reads them.
// The engine's reader (file/archive.h) takes the directory from its owner;
// this layout is how the directory travels with the members. All numbers
// are little-endian.
//
//   header, 32 bytes:
//     0  "QVAR"
//     4  u16 layout version, 1
//     6  u16 flags: bit 0, members enciphered
//     8  u32 member count
//    12  u32 directory offset
//    16  u32 directory size in bytes
//    20  8 bytes: "QVARCKEY" enciphered with the key (zero when plain), so
//        that a wrong key is told before anything is extracted
//    28  u32 zero
//   members, one after another from offset 32; in an enciphered archive
//   every complete 8-byte block of a member is enciphered, the rest of it
//   is plain
//   directory, per member in the engine's directory order:
//     u32 offset, u32 size, u32 further value, u16 name length in UTF-16
//     units (1 to 259), the name in UTF-16 ('\' between folders)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "file/blowfish.h"

inline constexpr std::size_t kArchiveHeaderSize = 32;
inline constexpr std::uint16_t kArchiveLayoutVersion = 1;
inline constexpr std::uint16_t kArchiveEnciphered = 0x1;

struct ArchiveMember {
  std::u16string name;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  std::uint32_t extra = 0;
};

struct ArchiveHeader {
  bool enciphered = false;
  std::uint32_t count = 0;
  std::uint32_t directory_offset = 0;
  std::uint32_t directory_size = 0;
  std::uint8_t key_check[8] = {};
};

// The 32 header bytes; false, with the reason in `error`, for anything
// that is not a layout this reads or whose directory lies outside a file
// of `file_size` bytes.
bool ParseArchiveHeader(std::string_view bytes, std::uint64_t file_size, ArchiveHeader* header,
                        std::string* error);
// The directory's bytes: exactly `count` members, each inside the member
// area (from the header's end to the directory), names valid and, letter
// case of A-Z aside, different.
bool ParseArchiveDirectory(std::string_view bytes, const ArchiveHeader& header,
                           std::vector<ArchiveMember>* members, std::string* error);

std::string FormatArchiveHeader(const ArchiveHeader& header);
std::string FormatArchiveDirectory(const std::vector<ArchiveMember>& members);

// The key check of `schedule`.
void ArchiveKeyCheck(const BlowfishSchedule& schedule, std::uint8_t check[8]);
