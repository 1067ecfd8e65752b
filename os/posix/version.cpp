#include "os/version.h"

#include <new>
#include <vector>

#include "os/file.h"
#include "os/posix/pe_resource.h"

namespace os {

struct VersionResource {
  std::vector<std::uint8_t> bytes;
};

namespace {

bool ReadFileAt(void* context, std::uint64_t offset, void* out, std::uint32_t size) {
  const Handle file = *static_cast<Handle*>(context);
  if (offset > static_cast<std::uint64_t>(INT64_MAX) ||
      SeekFile(file, static_cast<std::int64_t>(offset), kSeekBegin) < 0)
    return false;
  auto* bytes = static_cast<std::uint8_t*>(out);
  while (size > 0) {
    std::uint32_t done = 0;
    if (!ReadFile(file, bytes, size, &done) || done == 0) return false;
    bytes += done;
    size -= done;
  }
  return true;
}

}  // namespace

VersionResource* LoadVersionResource(const char16_t* path) {
  Handle file = OpenFile(path, kAccessRead, kShareRead, kOpenExisting, 0, 0);
  if (file == kInvalidHandle) return nullptr;
  auto* resource = new (std::nothrow) VersionResource;
  bool ok = resource && pe::ExtractVersionResource(ReadFileAt, &file, &resource->bytes);
  CloseFile(file);
  if (!ok) {
    delete resource;
    return nullptr;
  }
  return resource;
}

void FreeVersionResource(VersionResource* resource) { delete resource; }

bool QueryVersionValue(const VersionResource* resource, const char16_t* sub_block,
                       const void** value, std::uint32_t* size) {
  if (!resource || !sub_block) return false;
  return pe::FindVersionValue(resource->bytes.data(), resource->bytes.size(), sub_block,
                              value, size);
}

}  // namespace os
