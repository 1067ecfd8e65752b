#include "support/debug_log_capture.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "os/system.h"
#include "base/debug_log_internal.h"

namespace qvtest {

void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr)
    setenv(name, value, 1);
  else
    unsetenv(name);
#endif
}

std::filesystem::path DebugLogCapture::LogPath() {
  char16_t module[1024] = {};
  os::GetModulePath(module, 1024);
  return std::filesystem::path(std::u16string(module)).parent_path() / "__debug__.log";
}

DebugLogCapture::DebugLogCapture(const char* setting) {
  std::error_code ignored;
  std::filesystem::remove(LogPath(), ignored);
  SetEnvironment("QV_DEBUG_LOG", setting);
  ResetDebugLogForTesting();
}

DebugLogCapture::~DebugLogCapture() {
  SetEnvironment("QV_DEBUG_LOG", nullptr);
  ResetDebugLogForTesting();
  std::error_code ignored;
  std::filesystem::remove(LogPath(), ignored);
}

bool DebugLogCapture::FileExists() const { return std::filesystem::exists(LogPath()); }

std::string DebugLogCapture::Contents() const {
  std::ifstream in(LogPath(), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace qvtest
