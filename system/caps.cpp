#include "system/caps.h"

#include <atomic>

#include "util/memory.h"

namespace {
std::atomic<qvCaps*> g_instance{nullptr};
}  // namespace

qvCaps::qvCaps(std::uint32_t flags, std::int32_t mode) {
  ZeroBytes(&os, sizeof os);
  directx_number = 0;
  ZeroBytes(directx_text, sizeof directx_text);
  ZeroBytes(&cpu, sizeof cpu);
  ZeroBytes(manufacturer, sizeof manufacturer);
  ZeroBytes(model, sizeof model);
  available_physical_mib = total_physical_mib = 0;
  available_page_file_mib = total_page_file_mib = 0;
  dde_mode = mode;
  qvCaps* expected = nullptr;
  registered_ = g_instance.compare_exchange_strong(expected, this);
}

qvCaps::~qvCaps() {
  if (registered_) g_instance.store(nullptr);
}

const qvCaps* qvCaps::Instance() { return g_instance.load(); }

void qvCaps::GetOsInfo(OsInfo* destination) const {
  if (destination) *destination = os;
}

const CpuInfo* qvCaps::GetCpuInfo(CpuInfo* destination) const {
  if (destination) *destination = cpu;
  return &cpu;
}
