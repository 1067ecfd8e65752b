// WideToMultiByte / MultiByteToWide with the contract of the Windows
// converters: -1 lengths include the terminator, capacity 0 asks for the
// size, and a destination that is too small gets nothing beyond its
// capacity and fails with kErrorInsufficientBuffer.
#include <climits>
#include <cstring>
#include <string>

#include "os/file.h"
#include "os/posix/errors.h"
#include "os/posix/shift_jis.h"
#include "base/utf8.h"
#include "os/text.h"

namespace os {
namespace {

int Fail(std::uint32_t code) {
  SetLastError(code);
  return 0;
}

template <typename Unit>
int Deliver(const std::basic_string<Unit>& result, Unit* out, int capacity) {
  if (result.size() > static_cast<std::size_t>(INT_MAX)) return Fail(kErrorInvalidParameter);
  int size = static_cast<int>(result.size());
  if (capacity == 0) return size;
  if (size > capacity) return Fail(kErrorInsufficientBuffer);
  std::memcpy(out, result.data(), result.size() * sizeof(Unit));
  return size;
}

template <typename Unit>
bool ValidArguments(const Unit* source, int length, const void* out, int capacity) {
  if (!source || length == 0 || length < -1 || capacity < 0 || (capacity > 0 && !out))
    return false;
  // Windows also refuses a destination that overlaps the source.
  return out != static_cast<const void*>(source);
}

template <typename Unit>
std::basic_string_view<Unit> SourceView(const Unit* source, int length) {
  if (length >= 0) return {source, static_cast<std::size_t>(length)};
  // -1: up to and including the terminator.
  return {source, std::char_traits<Unit>::length(source) + 1};
}

}  // namespace

int WideToMultiByte(std::uint32_t code_page, const char16_t* source, int length, char* out,
                    int capacity) {
  if (!ValidArguments(source, length, out, capacity)) return Fail(kErrorInvalidParameter);
  std::u16string_view text = SourceView(source, length);
  std::string result;
  if (code_page == kCodePageUtf8) {
    ::AppendUtf8(text, result);
  } else if (code_page != kCodePageShiftJis || !posix::WideToShiftJis(text, result)) {
    return Fail(kErrorInvalidParameter);
  }
  return Deliver(result, out, capacity);
}

int MultiByteToWide(std::uint32_t code_page, std::uint32_t flags, const char* source, int length,
                    char16_t* out, int capacity) {
  if (!ValidArguments(source, length, out, capacity)) return Fail(kErrorInvalidParameter);
  std::string_view bytes = SourceView(source, length);
  std::u16string result;
  if (code_page == kCodePageUtf8) {
    // Windows accepts no conversion flags for UTF-8.
    if (flags != 0) return Fail(posix::kErrorInvalidFlags);
    ::AppendUtf16(bytes, result);
  } else if (code_page != kCodePageShiftJis || !posix::ShiftJisToWide(bytes, result)) {
    return Fail(kErrorInvalidParameter);
  }
  return Deliver(result, out, capacity);
}

}  // namespace os
