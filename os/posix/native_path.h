// Translation between engine paths (UTF-16, '\' or '/') and the native
// form (UTF-8, '/'), and the copy-out rule shared by the path queries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace os::posix {

// '\' becomes '/'; the text becomes UTF-8. Null gives an empty path.
std::string NativePath(const char16_t* path);
std::u16string EnginePath(std::string_view native);

// The last component of a native path, ignoring trailing separators.
std::string_view LastComponent(std::string_view native);
// Everything before the last component ("." when there is no folder part,
// "/" for a component directly below the root).
std::string ParentFolder(std::string_view native);

// Copies `text` and its terminator into `out` when it fits `capacity`
// units and returns its length; otherwise writes nothing, sets
// kErrorInsufficientBuffer and returns 0.
std::uint32_t CopyOut(std::u16string_view text, char16_t* out, std::uint32_t capacity);

}  // namespace os::posix
