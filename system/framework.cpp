#include "system/framework.h"

#include "file/file_server.h"
#include "os/process.h"
#include "system/caps.h"
#include "system/dde.h"
#include "base/debug_log.h"
#include "base/private_heap.h"

namespace {

// What this framework created; null when it did not create it (another
// owner made the process-wide one first, or it could not be created).
qvDDE* g_framework_dde = nullptr;
qvCaps* g_framework_caps = nullptr;
qvFileServer* g_framework_file_server = nullptr;
bool g_com_started = false;

}  // namespace

int StartFramework(std::uint32_t flags, std::int32_t dde_mode) {
  os::InitCommonControls();
  // COM is started once: one shutdown balances it.
  if (!g_com_started) g_com_started = os::InitializeCom();
  if (dde_mode != 0 && qvDDE::Instance() == nullptr) g_framework_dde = new qvDDE();
  if (!qvCaps::Instance()) g_framework_caps = new qvCaps(flags, dde_mode);
  CreatePrivateHeap(kFrameworkHeapSize);
  if (!qvFileServer::Instance()) g_framework_file_server = new qvFileServer();
  return 1;
}

void EndFramework() {
  delete g_framework_dde;
  g_framework_dde = nullptr;
  delete g_framework_file_server;
  g_framework_file_server = nullptr;
  DestroyPrivateHeap();
  EndDebugLog();
  delete g_framework_caps;
  g_framework_caps = nullptr;
  if (g_com_started) os::UninitializeCom();
  g_com_started = false;
}
