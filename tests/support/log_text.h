// The debug log as UTF-8 text: the log file holds Shift-JIS lines.
#pragma once

#include <string>
#include <vector>

#include "support/debug_log_capture.h"
#include "test_support.h"
#include "base/text_convert.h"

namespace qvtest {

inline std::string LogText(const DebugLogCapture& log) {
  const std::string bytes = log.Contents();
  std::vector<char16_t> wide(bytes.size() + 1);
  ShiftJisToWide(wide.data(), wide.size(), bytes.c_str());
  return U8(wide.data());
}

inline bool Logged(const DebugLogCapture& log, const std::string& line) {
  return LogText(log).find(line) != std::string::npos;
}

}  // namespace qvtest
