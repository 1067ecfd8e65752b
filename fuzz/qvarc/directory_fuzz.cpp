// Reads the input as an archive's header and directory, the input's size
// standing for the file's; whatever is accepted must write back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "tools/qvarc/archive_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ArchiveHeader header;
  std::string error;
  if (!ParseArchiveHeader(bytes.substr(0, kArchiveHeaderSize), size, &header, &error)) return 0;
  std::vector<ArchiveMember> members;
  const std::string_view directory = bytes.substr(header.directory_offset, header.directory_size);
  if (!ParseArchiveDirectory(directory, header, &members, &error)) return 0;
  if (FormatArchiveDirectory(members) != directory) std::abort();
  return 0;
}
