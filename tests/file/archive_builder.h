// Writes archive files for the tests: members laid out one after another
// behind a few filler bytes, each complete 8-byte block of a member
// enciphered when a key schedule is given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file/archive.h"
#include "test_support.h"

namespace qvtest {

struct ArchiveMember {
  std::u16string name;
  std::string bytes;  // plain
};

// Writes `file` below `dir` and fills `archive` (file, directory, key).
void BuildArchive(const ScratchDir& dir, std::u16string_view file,
                  const std::vector<ArchiveMember>& members, const BlowfishSchedule* schedule,
                  qvArchive* archive);

// Bytes 0, 1, 2, ... of the given length, offset by `seed`.
std::string CountingBytes(std::size_t length, int seed = 0);

}  // namespace qvtest
