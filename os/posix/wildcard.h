// Windows file-name wildcard matching (the rules of FindFirstFile):
// '*' matches any run of characters; '?' matches one character, or none
// at a '.' or at the end of the name; "*." lets the star stop at the
// name's last dot, and ".*" / ".?" also match a name without an extension,
// so "*.*" matches every name. Letters compare ASCII case-insensitively.
#pragma once

#include <string_view>

namespace os::posix {

bool HasWildcards(std::u16string_view pattern);
bool MatchWildcard(std::u16string_view pattern, std::u16string_view name);

}  // namespace os::posix
