// The short (8.3) name Windows gives an entry beside its long one.
#pragma once

#include <filesystem>
#include <string>

namespace qvtest {

// The last component of `path` in its short form: empty where the system
// gives none beside the long one (POSIX, or a volume without short names).
std::u16string ShortNameOf(const std::filesystem::path& path);

}  // namespace qvtest
