// UTF-8 decoding of hostile bytes, into buffers of every small size, and
// back again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/text_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const char* bytes = text.c_str();

  char first[7];
  FirstUtf8Character(bytes, first);
  Utf8SequenceLength(bytes);
  IsShiftJisPair(bytes);
  FirstCharacterCode(bytes);

  const std::size_t capacity = size % 9;
  std::vector<char16_t> wide(capacity + 1, u'#');
  const std::size_t length = Utf8ToWide(bytes, wide.data(), capacity);
  if (capacity > 0 && (length >= capacity || wide[length] != 0)) __builtin_trap();
  if (wide[capacity] != u'#') __builtin_trap();

  std::vector<char16_t> all(size + 1);
  Utf8ToWide(bytes, all.data(), all.size());
  std::vector<char> narrow(size * 4 + 1 + capacity);
  const std::size_t written = WideToUtf8(all.data(), narrow.data(), capacity * 3);
  if (capacity > 0 && narrow[written] != 0) __builtin_trap();
  WideToUtf8(all.data(), narrow.data(), narrow.size());
  return 0;
}
