#include "system/framework.h"

#include "system/caps.h"
#include "system/debug_log.h"
#include "system/private_heap.h"

namespace {

// The record the framework created; null when another owner made the
// process-wide one first.
qvCaps* g_framework_caps = nullptr;

}  // namespace

int StartFramework(std::uint32_t flags, std::int32_t dde_mode) {
  if (!qvCaps::Instance()) g_framework_caps = new qvCaps(flags, dde_mode);
  CreatePrivateHeap(kFrameworkHeapSize);
  return 1;
}

void EndFramework() {
  DestroyPrivateHeap();
  EndDebugLog();
  delete g_framework_caps;
  g_framework_caps = nullptr;
}
