#include "archive_builder.h"

#include <gtest/gtest.h>

namespace qvtest {

void BuildArchive(const ScratchDir& dir, std::u16string_view file,
                  const std::vector<ArchiveMember>& members, const BlowfishSchedule* schedule,
                  qvArchive* archive) {
  std::string image = "HEADER";  // members do not start at offset 0
  for (const ArchiveMember& member : members) {
    std::string stored = member.bytes;
    if (schedule) BlowfishEncipherBlocks(*schedule, stored.data(), stored.size() / 8);
    ASSERT_EQ(archive->AddMember(member.name.c_str(), static_cast<std::uint32_t>(image.size()),
                                 static_cast<std::uint32_t>(stored.size())),
              1);
    image += stored;
  }
  dir.WriteFile(file, image);
  ASSERT_EQ(archive->OpenFile(dir.Path(file).c_str()), 1);
  if (schedule) archive->SetKeySchedule(*schedule);
}

std::string CountingBytes(std::size_t length, int seed) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i * 7 + seed + 1);
  return bytes;
}

}  // namespace qvtest
