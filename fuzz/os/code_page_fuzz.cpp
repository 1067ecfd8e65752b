// Both code pages in both directions, with the size query and with a
// destination one unit short; valid UTF-16 must survive a UTF-8 round trip.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "os/text.h"

namespace {

void Narrow(std::uint32_t code_page, const char* bytes, int length) {
  int size = os::MultiByteToWide(code_page, 0, bytes, length, nullptr, 0);
  if (size <= 0) return;
  std::vector<char16_t> out(static_cast<std::size_t>(size));
  if (os::MultiByteToWide(code_page, 0, bytes, length, out.data(), size) != size) std::abort();
  if (size > 1 && os::MultiByteToWide(code_page, 0, bytes, length, out.data(), size - 1) != 0)
    std::abort();
}

bool IsValidUtf16(const char16_t* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF) {
      if (i + 1 >= length || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

void Widen(std::uint32_t code_page, const char16_t* text, int length) {
  int size = os::WideToMultiByte(code_page, text, length, nullptr, 0);
  if (size <= 0) return;
  std::vector<char> out(static_cast<std::size_t>(size));
  if (os::WideToMultiByte(code_page, text, length, out.data(), size) != size) std::abort();
  if (code_page != os::kCodePageUtf8 || !IsValidUtf16(text, static_cast<std::size_t>(length)))
    return;
  std::vector<char16_t> back(static_cast<std::size_t>(length));
  int units = os::MultiByteToWide(code_page, 0, out.data(), size, back.data(), length);
  if (units != length || !std::equal(back.begin(), back.end(), text)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 4096) return 0;
  const char* bytes = reinterpret_cast<const char*>(data);
  for (std::uint32_t code_page : {os::kCodePageUtf8, os::kCodePageShiftJis}) {
    Narrow(code_page, bytes, static_cast<int>(size));
    std::vector<char16_t> wide(size / 2);
    for (std::size_t i = 0; i < wide.size(); ++i)
      wide[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    if (!wide.empty()) Widen(code_page, wide.data(), static_cast<int>(wide.size()));
  }
  return 0;
}
