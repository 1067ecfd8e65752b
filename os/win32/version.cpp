#include "os/version.h"

#include <windows.h>

#include <cstddef>
#include <new>

#include "os/fault.h"

namespace os {

struct VersionResource {
  DWORD size;
  unsigned char bytes[1];
};

namespace {

const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// VerQueryValueW counts the values under "\StringFileInfo" in characters.
bool IsTextBlock(const char16_t* sub_block) {
  static const char16_t kPrefix[] = u"\\stringfileinfo\\";
  for (int i = 0; kPrefix[i] != 0; ++i) {
    char16_t c = sub_block[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + 32);
    if (c != kPrefix[i]) return false;
  }
  return true;
}

// What the system says of a file it could read that holds no version
// resource or is no program at all; anything else is a failure to read.
bool MeansNoResource(DWORD error) {
  switch (error) {
    case ERROR_RESOURCE_DATA_NOT_FOUND:
    case ERROR_RESOURCE_TYPE_NOT_FOUND:
    case ERROR_RESOURCE_NAME_NOT_FOUND:
    case ERROR_RESOURCE_LANG_NOT_FOUND:
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_BAD_FORMAT:
      return true;
    default:
      return false;
  }
}

}  // namespace

VersionResource* LoadVersionResource(const char16_t* path) {
  // The system opens the file and reads it in one call.
  if (FaultInjected(FileOp::kOpen)) return nullptr;
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(Wide(path), &handle);
  if (size == 0) {
    if (MeansNoResource(::GetLastError())) ::SetLastError(kErrorNoVersionResource);
    return nullptr;
  }
  void* memory = ::operator new(offsetof(VersionResource, bytes) + size, std::nothrow);
  if (!memory) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* resource = static_cast<VersionResource*>(memory);
  resource->size = size;
  if (!GetFileVersionInfoW(Wide(path), 0, size, resource->bytes)) {
    ::operator delete(memory);
    return nullptr;
  }
  return resource;
}

void FreeVersionResource(VersionResource* resource) { ::operator delete(resource); }

bool QueryVersionValue(const VersionResource* resource, const char16_t* sub_block,
                       const void** value, std::uint32_t* size) {
  if (!resource || !sub_block) return false;
  void* found = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(resource->bytes, Wide(sub_block), &found, &length) || !found ||
      length == 0)
    return false;
  *value = found;
  *size = IsTextBlock(sub_block) ? length * 2 : length;
  return true;
}

}  // namespace os
