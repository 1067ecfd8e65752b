// Integer parsing of hostile 8-bit and 16-bit text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "util/integer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  int end = 0;
  std::int32_t value = 0;
  ParseInteger(text.c_str());
  if (ParseIntegerA(text.c_str(), &end, &value) && (end < 1 || static_cast<std::size_t>(end) > size))
    __builtin_trap();

  std::u16string wide(size / 2, u'\0');
  for (std::size_t i = 0; i < wide.size(); ++i)
    wide[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  if (ParseIntegerW(wide.c_str(), &end, &value) &&
      (end < 1 || static_cast<std::size_t>(end) > wide.size()))
    __builtin_trap();
  return 0;
}
