// The file sink of the debug log: one line per open, append, close, so the
// file is complete after every line and other programs may read it between
// lines.

#include <cstdio>
#include <cstring>
#include <mutex>

#include "os/file.h"
#include "os/process.h"
#include "os/times.h"
#include "base/debug_log.h"
#include "base/debug_log_internal.h"
#include "base/wide_string.h"

namespace {

constexpr std::size_t kLogTextLimit = 1024;
constexpr std::size_t kPathCapacity = 1024;
constexpr char16_t kLogFileName[] = u"__debug__.log";

// The file is opened without sharing; serialising the writers keeps two
// threads from losing each other's lines on the open.
std::mutex g_sink_lock;

// "__debug__.log" in the folder of the running executable.
bool GetLogFilePath(char16_t* path, std::size_t capacity) {
  const std::uint32_t length =
      os::GetModulePath(path, static_cast<std::uint32_t>(capacity));
  if (length == 0) return false;
  std::size_t folder_end = 0;
  for (std::size_t i = 0; i < length; ++i)
    if (path[i] == u'\\' || path[i] == u'/') folder_end = i + 1;
  path[folder_end] = 0;
  const std::size_t name_length = WideLength(kLogFileName);
  if (folder_end + name_length + 1 > capacity) return false;
  std::memcpy(path + folder_end, kLogFileName, (name_length + 1) * sizeof(char16_t));
  return true;
}

}  // namespace

int FormatLogLine(char* destination, std::size_t capacity, const os::LocalTime& time,
                  const char* text) {
  const int length =
      std::snprintf(destination, capacity, "%04d/%02d/%02d %02d:%02d:%02d\t%s\r\n",
                    time.year, time.month, time.day, time.hour, time.minute,
                    time.second, text);
  if (length < 0 || static_cast<std::size_t>(length) >= capacity) return -1;
  return length;
}

void WriteLogLine(const char* text) {
  if (!IsDebugLogOn() || text == nullptr) return;
  if (std::strlen(text) >= kLogTextLimit) return;

  char16_t path[kPathCapacity];
  if (!GetLogFilePath(path, kPathCapacity)) return;

  // Timestamp (19), tab, text, CR LF and the terminator.
  char line[kLogTextLimit + 32];
  const int length = FormatLogLine(line, sizeof line, os::GetLocalTime(), text);
  if (length < 0) return;

  std::lock_guard<std::mutex> guard(g_sink_lock);
  const os::Handle file = os::OpenFile(path, os::kAccessWrite, os::kShareNone,
                                       os::kOpenAlways, os::kAttrNormal, 0);
  if (file == os::kInvalidHandle) return;
  if (os::SeekFile(file, 0, os::kSeekEnd) >= 0) {
    std::uint32_t written = 0;
    os::WriteFile(file, line, static_cast<std::uint32_t>(length), &written);
  }
  os::CloseFile(file);
}
