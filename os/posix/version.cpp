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

// The file being read, and whether a read failed (rather than found the
// file shorter than its headers say, which only means it has no resource).
struct Reading {
  Handle file = kInvalidHandle;
  bool failed = false;
};

bool ReadFileAt(void* context, std::uint64_t offset, void* out, std::uint32_t size) {
  auto* reading = static_cast<Reading*>(context);
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
  if (SeekFile(reading->file, static_cast<std::int64_t>(offset), kSeekBegin) < 0) {
    reading->failed = true;
    return false;
  }
  auto* bytes = static_cast<std::uint8_t*>(out);
  while (size > 0) {
    std::uint32_t done = 0;
    if (!ReadFile(reading->file, bytes, size, &done)) {
      reading->failed = true;
      return false;
    }
    if (done == 0) return false;
    bytes += done;
    size -= done;
  }
  return true;
}

}  // namespace

VersionResource* LoadVersionResource(const char16_t* path) {
  Reading reading;
  reading.file = OpenFile(path, kAccessRead, kShareRead, kOpenExisting, 0, 0);
  if (reading.file == kInvalidHandle) return nullptr;
  auto* resource = new (std::nothrow) VersionResource;
  bool ok = resource && pe::ExtractVersionResource(ReadFileAt, &reading, &resource->bytes);
  const std::uint32_t error = !resource         ? kErrorNotEnoughMemory
                              : reading.failed ? GetLastError()
                                               : kErrorNoVersionResource;
  CloseFile(reading.file);
  if (!ok) {
    delete resource;
    SetLastError(error);
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
