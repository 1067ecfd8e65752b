// Feeds arbitrary bytes to the PE version-resource reader twice: as a
// whole file, and as a bare version tree queried for every value the
// version reader asks for.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "os/posix/pe_resource.h"

namespace {

const char16_t* const kQueries[] = {
    u"\\",
    u"\\VarFileInfo\\Translation",
    u"\\StringFileInfo\\041104b0\\FileVersion",
    u"\\StringFileInfo\\041104b0\\CompanyName",
    u"\\StringFileInfo\\040904b0\\ProductName",
    u"\\\\StringFileInfo\\\\",
};

void QueryAll(const std::uint8_t* data, std::size_t size) {
  volatile std::uint32_t sink = 0;
  for (const char16_t* query : kQueries) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    if (os::pe::FindVersionValue(data, size, query, &value, &length)) {
      const auto* bytes = static_cast<const std::uint8_t*>(value);
      for (std::uint32_t i = 0; i < length; ++i) sink = sink + bytes[i];
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> resource;
  if (os::pe::ExtractVersionResource(data, size, &resource))
    QueryAll(resource.data(), resource.size());
  QueryAll(data, size);
  return 0;
}
