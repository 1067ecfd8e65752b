// Line reading, searching, replacing and case changes on hostile text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "util/text_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte splits the rest into a text and a pattern.
  const std::size_t split = 1 + data[0] % size;
  const std::string text(reinterpret_cast<const char*>(data + 1), split - 1);
  const std::string pattern(reinterpret_cast<const char*>(data + split), size - split);

  char line[16];
  std::size_t offset = 0;
  for (int used; (used = ReadTextLine(text.c_str() + offset, line, sizeof line)) > 0;) {
    offset += static_cast<std::size_t>(used);
    if (offset > text.size()) __builtin_trap();
  }
  FindBytes(text.c_str(), pattern.c_str());
  FindCharA(text.c_str(), pattern.size() > 1 ? (static_cast<std::uint8_t>(pattern[0]) << 8) |
                                                   static_cast<std::uint8_t>(pattern[1])
                                             : 'a');

  auto widen = [](const std::string& bytes) {
    std::u16string wide(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i)
      wide[i] = static_cast<char16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                      static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8);
    return wide;
  };
  std::u16string wide_text = widen(text);
  const std::u16string wide_pattern = widen(pattern);
  FindText(wide_text.c_str(), wide_pattern.c_str());
  if (!wide_pattern.empty()) FindChar(wide_text.c_str(), wide_pattern[0]);

  std::vector<char16_t> replaced(1 + size % 37, u'#');
  const std::size_t capacity = replaced.size() - 1;
  ReplaceText(replaced.data(), capacity, wide_text.c_str(), wide_pattern.c_str(), u"\\\\");
  if (replaced[capacity] != u'#') __builtin_trap();

  ToUpperText(wide_text.data());
  ToLowerText(wide_text.data());
  return 0;
}
