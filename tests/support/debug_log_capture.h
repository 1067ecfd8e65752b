// Switches the debug log on for the life of the object and reads back what
// reached "__debug__.log" beside the test executable.
#pragma once

#include <filesystem>
#include <string>

namespace qvtest {

void SetEnvironment(const char* name, const char* value);  // null: remove

class DebugLogCapture {
 public:
  // `setting` is the value given to QV_DEBUG_LOG; null leaves it unset.
  explicit DebugLogCapture(const char* setting = "1");
  ~DebugLogCapture();
  DebugLogCapture(const DebugLogCapture&) = delete;
  DebugLogCapture& operator=(const DebugLogCapture&) = delete;

  static std::filesystem::path LogPath();
  bool FileExists() const;
  std::string Contents() const;
};

}  // namespace qvtest
