#include "base/text_convert.h"

#include <climits>

#include "os/text.h"
#include "base/wide_buffer.h"

namespace {

int ClampCapacity(std::size_t capacity) {
  return capacity > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(capacity);
}

bool IsContinuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

int WideToShiftJis(char* destination, std::size_t capacity, const char16_t* source) {
  if (!destination || capacity == 0) return 0;
  destination[0] = 0;
  if (!source) return 0;
  const int written = os::WideToMultiByte(os::kCodePageShiftJis, source, -1, destination,
                                          ClampCapacity(capacity));
  if (written <= 0) destination[0] = 0;
  return written;
}

void CutShiftJis(char* text, std::size_t limit) {
  std::size_t i = 0;
  while (text[i] != 0) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const bool pair = ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) &&
                      text[i + 1] != 0;
    const std::size_t step = pair ? 2 : 1;
    if (i + step > limit) break;
    i += step;
  }
  text[i] = 0;
}

int ShiftJisToWide(char16_t* destination, std::size_t capacity, const char* source) {
  if (!destination || capacity == 0) return 0;
  destination[0] = 0;
  if (!source) return 0;
  const int written = os::MultiByteToWide(os::kCodePageShiftJis, os::kPrecomposed, source, -1,
                                          destination, ClampCapacity(capacity));
  if (written <= 0) destination[0] = 0;
  return written;
}

std::size_t WideToUtf8(const char16_t* source, char* destination, std::size_t capacity) {
  if (!destination || capacity == 0) return 0;
  std::size_t length = 0;
  for (const char16_t* unit = source; unit && *unit;) {
    char bytes[8];
    int count;
    int consumed = 1;
    if (*unit < 0x80) {
      bytes[0] = static_cast<char>(*unit);
      count = 1;
    } else if (*unit == 0xFFFF) {
      bytes[0] = bytes[1] = static_cast<char>(0xFF);
      count = 2;
    } else {
      if (IsHighSurrogate(unit[0]) && IsLowSurrogate(unit[1])) consumed = 2;
      count = os::WideToMultiByte(os::kCodePageUtf8, unit, consumed, bytes, sizeof bytes);
    }
    if (count <= 0 || length + static_cast<std::size_t>(count) >= capacity) break;
    for (int i = 0; i < count; ++i) destination[length++] = bytes[i];
    unit += consumed;
  }
  destination[length] = 0;
  return length;
}

std::size_t Utf8ToWide(const char* source, char16_t* destination, std::size_t capacity) {
  if (!destination || capacity == 0) return 0;
  std::size_t length = 0;
  for (const char* byte = source; byte && *byte && length + 1 < capacity;) {
    const auto lead = static_cast<unsigned char>(byte[0]);
    if (lead == 0xFF && static_cast<unsigned char>(byte[1]) == 0xFF) {
      destination[length++] = 0xFFFF;
      byte += 2;
      continue;
    }
    if (lead < 0x80) {
      destination[length++] = lead;
      ++byte;
      continue;
    }
    const int sequence = Utf8SequenceLength(byte);
    if (sequence < 1) break;
    char16_t units[8];
    const int count = os::MultiByteToWide(os::kCodePageUtf8, 0, byte, sequence, units, 8);
    if (count <= 0) break;
    // One unit per sequence, except that a character beyond the first plane
    // keeps both halves of its pair, or nothing when they do not fit.
    if (count >= 2 && IsHighSurrogate(units[0]) && IsLowSurrogate(units[1])) {
      if (length + 2 >= capacity) break;
      destination[length++] = units[0];
      destination[length++] = units[1];
    } else {
      destination[length++] = units[0];
    }
    byte += sequence;
  }
  destination[length] = 0;
  return length;
}

int Utf8SequenceLength(const char* bytes) {
  if (!bytes) return -3;
  const auto lead = static_cast<unsigned char>(bytes[0]);
  int ones = 0;
  while (ones < 6 && (lead & (0x80 >> ones))) ++ones;
  if (ones == 0 || ones == 6) return 1;
  if (ones == 1) return -2;
  // A zero byte is not a continuation, so the scan never passes the end.
  for (int i = 1; i < ones; ++i)
    if (!IsContinuation(bytes[i])) return -3;
  return ones;
}

void FirstUtf8Character(const char* text, char* destination) {
  if (!destination) return;
  int length = 0;
  if (text && text[0]) {
    const int sequence = Utf8SequenceLength(text);
    for (; length < sequence; ++length) destination[length] = text[length];
  }
  destination[length] = 0;
}

int IsShiftJisPair(const char* bytes) {
  if (!bytes || !bytes[0]) return 0;
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (!((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEF))) return 0;
  const auto trail = static_cast<unsigned char>(bytes[1]);
  return ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC)) ? 1 : 0;
}

std::uint32_t FirstCharacterCode(const char* bytes) {
  if (!bytes || !bytes[0]) return 0;
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (!IsShiftJisPair(bytes)) return lead;
  return lead * 256u + static_cast<unsigned char>(bytes[1]);
}
