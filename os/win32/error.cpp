// The thread's last error and the system's texts for error codes.
#include "os/error.h"
#include "os/win32/windows_fwd.h"

namespace os {

std::uint32_t GetLastError() { return ::GetLastError(); }
void SetLastError(std::uint32_t code) { ::SetLastError(code); }

std::uint32_t GetErrorText(std::uint32_t code, char16_t* out, std::uint32_t capacity) {
  if (!out || capacity == 0) return 0;
  out[0] = 0;
  LPWSTR text = nullptr;
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (length == 0 || !text) return 0;
  // Like every other text of this layer it fits whole or not at all.
  std::uint32_t count = length < capacity ? length : 0;
  if (count == 0) ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  for (std::uint32_t i = 0; i < count; ++i) out[i] = static_cast<char16_t>(text[i]);
  out[count] = 0;
  ::LocalFree(text);
  return count;
}

}  // namespace os
