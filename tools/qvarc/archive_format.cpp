#include "tools/qvarc/archive_format.h"

#include <cstring>
#include <set>

#include "file/archive.h"
#include "tools/common/failure.h"
#include "util/text_search.h"

namespace {

constexpr char kMagic[4] = {'Q', 'V', 'A', 'R'};
constexpr char kKeyCheckText[8] = {'Q', 'V', 'A', 'R', 'C', 'K', 'E', 'Y'};
constexpr std::size_t kEntryFixedSize = 14;

std::uint32_t Load(std::string_view bytes, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

void Store(std::string* bytes, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) *bytes += static_cast<char>(value >> (8 * i));
}

}  // namespace

bool ParseArchiveHeader(std::string_view bytes, std::uint64_t file_size, ArchiveHeader* header,
                        std::string* error) {
  if (bytes.size() < kArchiveHeaderSize || std::memcmp(bytes.data(), kMagic, 4) != 0)
    return Fail(error, "not an archive of this layout");
  if (Load(bytes, 4, 2) != kArchiveLayoutVersion) return Fail(error, "an archive layout this program does not know");
  const std::uint32_t flags = Load(bytes, 6, 2);
  if (flags & ~std::uint32_t{kArchiveEnciphered}) return Fail(error, "unknown archive flags");
  header->enciphered = (flags & kArchiveEnciphered) != 0;
  header->count = Load(bytes, 8, 4);
  header->directory_offset = Load(bytes, 12, 4);
  header->directory_size = Load(bytes, 16, 4);
  std::memcpy(header->key_check, bytes.data() + 20, 8);
  if (header->directory_offset < kArchiveHeaderSize ||
      std::uint64_t{header->directory_offset} + header->directory_size != file_size)
    return Fail(error, "the directory does not end the archive: damaged or cut short");
  if (header->count > header->directory_size / kEntryFixedSize)
    return Fail(error, "the directory is too small for its members");
  return true;
}

bool ParseArchiveDirectory(std::string_view bytes, const ArchiveHeader& header,
                           std::vector<ArchiveMember>* members, std::string* error) {
  members->clear();
  std::set<std::u16string> keys;
  std::size_t at = 0;
  for (std::uint32_t i = 0; i < header.count; ++i) {
    if (bytes.size() - at < kEntryFixedSize) return Fail(error, "the directory is cut short");
    ArchiveMember member;
    member.offset = Load(bytes, at, 4);
    member.size = Load(bytes, at + 4, 4);
    member.extra = Load(bytes, at + 8, 4);
    const std::size_t length = Load(bytes, at + 12, 2);
    at += kEntryFixedSize;
    if (length == 0 || length >= kArchiveNameCapacity || bytes.size() - at < 2 * length)
      return Fail(error, "member " + std::to_string(i) + " has a bad name length");
    for (std::size_t k = 0; k < length; ++k) {
      const auto unit = static_cast<char16_t>(Load(bytes, at + 2 * k, 2));
      if (unit == 0) return Fail(error, "member " + std::to_string(i) + " has a zero in its name");
      member.name += unit;
    }
    at += 2 * length;
    if (member.offset < kArchiveHeaderSize ||
        std::uint64_t{member.offset} + member.size > header.directory_offset)
      return Fail(error, "member " + std::to_string(i) + " lies outside the member area");
    std::u16string key = member.name;
    ToUpperText(key.data());
    if (!keys.insert(key).second) return Fail(error, "member " + std::to_string(i) + " repeats a name");
    members->push_back(std::move(member));
  }
  if (at != bytes.size()) return Fail(error, "the directory has bytes past its last member");
  return true;
}

std::string FormatArchiveHeader(const ArchiveHeader& header) {
  std::string bytes(kMagic, 4);
  Store(&bytes, kArchiveLayoutVersion, 2);
  Store(&bytes, header.enciphered ? kArchiveEnciphered : 0, 2);
  Store(&bytes, header.count, 4);
  Store(&bytes, header.directory_offset, 4);
  Store(&bytes, header.directory_size, 4);
  bytes.append(reinterpret_cast<const char*>(header.key_check), 8);
  Store(&bytes, 0, 4);
  return bytes;
}

std::string FormatArchiveDirectory(const std::vector<ArchiveMember>& members) {
  std::string bytes;
  for (const ArchiveMember& member : members) {
    Store(&bytes, member.offset, 4);
    Store(&bytes, member.size, 4);
    Store(&bytes, member.extra, 4);
    Store(&bytes, static_cast<std::uint32_t>(member.name.size()), 2);
    for (char16_t unit : member.name) Store(&bytes, unit, 2);
  }
  return bytes;
}

void ArchiveKeyCheck(const BlowfishSchedule& schedule, std::uint8_t check[8]) {
  std::memcpy(check, kKeyCheckText, 8);
  BlowfishEncipherBlocks(schedule, check, 1);
}
