// Code page 932 through iconv ("CP932", Microsoft's Shift-JIS variant).
#pragma once

#include <string>
#include <string_view>

namespace os::posix {

// Unmappable characters and lone surrogates become '?'. False when the
// converter is not available.
bool WideToShiftJis(std::u16string_view text, std::string& out);
// Invalid or incomplete sequences become U+30FB, the code page's default.
bool ShiftJisToWide(std::string_view bytes, std::u16string& out);

}  // namespace os::posix
