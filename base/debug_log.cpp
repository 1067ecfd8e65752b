// Formatting, the log switch and the assertion box.

#include "base/debug_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "os/process.h"
#include "base/debug_log_internal.h"
#include "base/format.h"
#include "base/text_convert.h"

namespace {

constexpr std::size_t kMessageBufferSize = 2048;
constexpr char16_t kAssertCaption[] = u"Assert message...";
constexpr std::uint32_t kAssertExitCode = 3;

enum SwitchState : int { kUnknown = -1, kOff = 0, kOn = 1 };
std::atomic<int> g_switch{kUnknown};

// Cuts a UTF-16 message to the limit without splitting a surrogate pair.
void CutWide(char16_t* text) {
  for (int i = 0; i <= kDebugMessageLimit; ++i)
    if (text[i] == 0) return;
  std::size_t end = kDebugMessageLimit;
  if (text[end - 1] >= 0xD800 && text[end - 1] < 0xDC00) --end;
  text[end] = 0;
}

void FormatNarrow(char* message, const char* format, va_list arguments) {
  message[0] = 0;
  if (format == nullptr) return;
  std::vsnprintf(message, kMessageBufferSize, format, arguments);
  CutShiftJis(message, kDebugMessageLimit);
}

void FormatWideMessage(char16_t* message, const char16_t* format, va_list arguments) {
  message[0] = 0;
  if (format == nullptr) return;
  FormatWideV(message, kMessageBufferSize, format, arguments);
  CutWide(message);
}

void WriteWideLogLine(const char16_t* message) {
  if (!IsDebugLogOn()) return;
  char converted[kFixedConvertCapacity];
  if (WideToShiftJis(converted, sizeof converted, message) > 0) WriteLogLine(converted);
}

// A debug-log line only, or also the assertion box (shown whether the log
// is on or not).
enum Reach { kLogOnly, kLogAndBox };

void Report(Reach reach, const char* format, va_list arguments) {
  if (reach == kLogOnly && !IsDebugLogOn()) return;
  char message[kMessageBufferSize];
  FormatNarrow(message, format, arguments);
  WriteLogLine(message);
  if (reach == kLogOnly) return;
  char16_t text[kMessageBufferSize];
  if (ShiftJisToWide(text, kMessageBufferSize, message) == 0) text[0] = 0;
  os::ShowAssertBox(kAssertCaption, text);
}

void Report(Reach reach, const char16_t* format, va_list arguments) {
  if (reach == kLogOnly && !IsDebugLogOn()) return;
  char16_t message[kMessageBufferSize];
  FormatWideMessage(message, format, arguments);
  WriteWideLogLine(message);
  if (reach == kLogAndBox) os::ShowAssertBox(kAssertCaption, message);
}

}  // namespace

bool IsDebugLogOn() {
  int state = g_switch.load(std::memory_order_acquire);
  if (state != kUnknown) return state == kOn;
  const char* setting = os::GetEnvironment("QV_DEBUG_LOG");
  const int wanted = setting != nullptr && std::strcmp(setting, "1") == 0 ? kOn : kOff;
  // A concurrent EndDebugLog wins over the first reading.
  g_switch.compare_exchange_strong(state, wanted, std::memory_order_acq_rel);
  return g_switch.load(std::memory_order_acquire) == kOn;
}

void EndDebugLog() { g_switch.store(kOff, std::memory_order_release); }

void ResetDebugLogForTesting() { g_switch.store(kUnknown, std::memory_order_release); }

void DebugLog(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  Report(kLogOnly, format, arguments);
  va_end(arguments);
}

void DebugLogW(const char16_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  Report(kLogOnly, format, arguments);
  va_end(arguments);
}

void AssertMessage(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  Report(kLogAndBox, format, arguments);
  va_end(arguments);
}

void AssertMessageW(const char16_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  Report(kLogAndBox, format, arguments);
  va_end(arguments);
}

void EndProcessAfterAssert() { os::ExitProcess(kAssertExitCode); }
