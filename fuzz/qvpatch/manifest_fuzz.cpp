// Reads the input as a patch manifest (and so as JSON); whatever it
// accepts must write out and read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/qvpatch/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Manifest manifest;
  std::string error;
  if (!ParseManifest(std::string_view(reinterpret_cast<const char*>(data), size), &manifest, &error))
    return 0;
  Manifest again;
  if (!ParseManifest(FormatManifest(manifest), &again, &error) ||
      again.files.size() != manifest.files.size() || again.deletions != manifest.deletions)
    std::abort();
  return 0;
}
