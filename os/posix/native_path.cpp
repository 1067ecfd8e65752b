#include "os/posix/native_path.h"

#include <algorithm>

#include "os/file.h"
#include "base/utf8.h"

namespace os::posix {

std::string NativePath(const char16_t* path) {
  if (!path) return {};
  std::u16string_view view(path);
  std::string native = ToUtf8(view);
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

std::u16string EnginePath(std::string_view native) { return ToUtf16(native); }

std::string_view LastComponent(std::string_view native) {
  while (native.size() > 1 && native.back() == '/') native.remove_suffix(1);
  std::size_t slash = native.rfind('/');
  if (slash == std::string_view::npos || native.size() == 1) return native;
  return native.substr(slash + 1);
}

std::string ParentFolder(std::string_view native) {
  while (native.size() > 1 && native.back() == '/') native.remove_suffix(1);
  std::size_t slash = native.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(native.substr(0, slash));
}

std::uint32_t CopyOut(std::u16string_view text, char16_t* out, std::uint32_t capacity) {
  if (!out || text.size() >= capacity) {
    SetLastError(kErrorInsufficientBuffer);
    return 0;
  }
  std::copy(text.begin(), text.end(), out);
  out[text.size()] = 0;
  return static_cast<std::uint32_t>(text.size());
}

}  // namespace os::posix
