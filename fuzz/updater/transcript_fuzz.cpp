// Transcript quoting: no raw control character, quote or lone backslash
// escapes a quoted field; screen sizes parse or are refused.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/emulated/transcript_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  std::string quoted = ui::EscapeForTranscript(text);
  for (std::size_t i = 0; i < quoted.size(); ++i) {
    auto c = static_cast<unsigned char>(quoted[i]);
    if (c < 0x20 || c == 0x7F || c == '"') __builtin_trap();
    if (c == '\\') ++i;  // an escape always has its second character
    if (i >= quoted.size()) __builtin_trap();
  }
  std::string screen(reinterpret_cast<const char*>(data), size);
  std::int32_t width = 0, height = 0;
  if (ui::ParseScreenSize(screen.c_str(), &width, &height) && (width <= 0 || height <= 0))
    __builtin_trap();
  return 0;
}
