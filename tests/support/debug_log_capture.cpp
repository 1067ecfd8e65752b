#include "support/debug_log_capture.h"

#include "base/debug_log_internal.h"
#include "os/process.h"

namespace qvtest {

std::filesystem::path DebugLogCapture::LogPath() {
  char16_t module[1024] = {};
  os::GetModulePath(module, 1024);
  return std::filesystem::path(std::u16string(module)).parent_path() / "__debug__.log";
}

DebugLogCapture::DebugLogCapture(const char* setting) : setting_("QV_DEBUG_LOG", setting) {
  std::error_code ignored;
  std::filesystem::remove(LogPath(), ignored);
  ResetDebugLogForTesting();
}

// The setting goes back after this, and the log is read from it anew.
DebugLogCapture::~DebugLogCapture() {
  ResetDebugLogForTesting();
  std::error_code ignored;
  std::filesystem::remove(LogPath(), ignored);
}

bool DebugLogCapture::FileExists() const { return std::filesystem::exists(LogPath()); }

std::string DebugLogCapture::Contents() const {
  return ReadBytes(LogPath());
}

}  // namespace qvtest
