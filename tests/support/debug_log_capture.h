// Switches the debug log on for the life of the object and reads back what
// reached "__debug__.log" beside the test executable.
#pragma once

#include <filesystem>
#include <string>

#include "test_support.h"

namespace qvtest {

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

 private:
  ScopedEnv setting_;
};

}  // namespace qvtest
