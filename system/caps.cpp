#include "system/caps.h"

#include <atomic>

#include "os/caps.h"
#include "system/caps_tables.h"
#include "system/dde.h"
#include "base/format.h"
#include "util/memory.h"
#include "util/shell_folder.h"
#include "base/wide_string.h"

namespace {

std::atomic<qvCaps*> g_instance{nullptr};

constexpr int kWindowsFolderIndex = 7;

std::uint32_t Mebibytes(std::uint64_t bytes) { return static_cast<std::uint32_t>(bytes >> 20); }

// Busy-waits a quarter of a second on the performance counter and counts
// processor cycles meanwhile; 0 when a counter cannot be trusted.
std::uint32_t MeasureClock() {
  std::uint64_t frequency = 0, start = 0;
  if (!os::QueryPerformanceFrequency(&frequency) || !os::QueryPerformanceCounter(&start))
    return 0;
  const std::uint64_t cycles_start = os::ReadCycleCounter();
  for (std::uint64_t now = start;;) {
    if (!os::QueryPerformanceCounter(&now) || now < start) return 0;
    if (now - start >= frequency / 4) break;
  }
  return ClockFromQuarterSecond(cycles_start, os::ReadCycleCounter());
}

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
  if (g_instance.load(std::memory_order_acquire) != nullptr) return;

  // With a DDE link, mode 1 publishes this record and mode 2 may take the
  // processor and DirectX figures from a publisher instead of probing.
  const bool taken = mode != 0 && ExchangeCapsOverDde(this);
  if (flags & QVCAPS_OS) ProbeOs();
  if ((flags & QVCAPS_DIRECTX) && !taken) ProbeDirectX();
  if ((flags & QVCAPS_CPU) && !taken) ProbeCpu((flags & QVCAPS_CPU_CLOCK) != 0);
  if (flags & QVCAPS_MEMORY) ProbeMemory();
  if (flags & QVCAPS_OEM) ProbeOem();

  qvCaps* expected = nullptr;
  registered_ = g_instance.compare_exchange_strong(expected, this, std::memory_order_acq_rel);
}

qvCaps::~qvCaps() {
  // A link that outlives this record must not hand it out any more.
  if (dde_mode == 1) WithdrawCapsFromDde(this);
  if (registered_) g_instance.store(nullptr, std::memory_order_release);
}

const qvCaps* qvCaps::Instance() { return g_instance.load(std::memory_order_acquire); }

void qvCaps::GetOsInfo(OsInfo* destination) const {
  if (destination) *destination = os;
}

const CpuInfo* qvCaps::GetCpuInfo(CpuInfo* destination) const {
  if (destination) *destination = cpu;
  return &cpu;
}

void qvCaps::ProbeOs() {
  os::OsVersion version;
  const char16_t* name = u"";
  if (os::QueryOsVersion(&version)) {
    const OsName entry = ClassifyOs(version.platform, version.major, version.minor);
    os.code = entry.code;
    name = entry.name;
    if (version.platform == 1) {
      SplitWin9xBuild(version.build, &os.major, &os.minor, &os.build);
    } else {
      os.major = version.major;
      os.minor = version.minor;
      os.build = version.build;
    }
    CopyWide(os.service_pack, 128, version.service_pack);
  }
  os.bitness = os::IsSystem64Bit() ? 64 : 32;
  FormatWide(os.name, 128, u"%s%s", name, BitnessSuffix(os.bitness));

  os::OsVersion classic;
  std::uint32_t product = 0;
  if (os::QueryClassicOsVersion(&classic) && os::QueryProductType(classic, &product))
    CopyWide(os.edition, 128, EditionName(product));
}

void qvCaps::ProbeDirectX() {
  DirectXVersion version = FoundDirectX(os::QueryDxDiagVersion, os::QuerySystemFileVersion);
  os::OsVersion system;
  const bool readable = os::QueryOsVersion(&system);
  version = WithDirectX11Rule(WithLowerCaseLetter(version), readable, system.major, system.minor,
                              system.build, os::CanLoadSystemLibrary);
  directx_number = DirectXNumber(version);
  FormatDirectXText(version, directx_text, 128);
}

void qvCaps::ProbeCpu(bool measure_clock) {
  ZeroBytes(&cpu, sizeof cpu);
  if (!os::CanToggleAlignmentCheck()) {
    cpu.type = 1;
  } else {
    cpu.type = 2;
    std::uint32_t r[4];
    if (os::QueryCpuId(0, r)) {
      cpu.has_cpuid = 1;
      // The vendor text is spread over ebx, edx, ecx.
      for (int i = 0; i < 4; ++i) {
        cpu.vendor[i] = static_cast<char>(r[1] >> (8 * i));
        cpu.vendor[4 + i] = static_cast<char>(r[3] >> (8 * i));
        cpu.vendor[8 + i] = static_cast<char>(r[2] >> (8 * i));
      }
      if (os::QueryCpuId(1, r)) {
        const CpuSignature signature = DecodeCpuSignature(r[0], r[3]);
        cpu.type = signature.type;
        cpu.family = signature.family;
        cpu.model = signature.model;
        cpu.stepping = signature.stepping;
        cpu.has_mmx = signature.has_mmx;
        cpu.has_cmov = signature.has_cmov;
        cpu.has_sse = signature.has_sse;
      }
      if (os::QueryCpuId(0x80000001u, r)) cpu.has_3dnow = (r[3] >> 31) & 1;
    }
  }
  cpu.processor_count = os::GetProcessorCount();
  os::QueryProcessorDescription(&cpu.registry_mhz, cpu.name, 128);
  if (measure_clock && cpu.has_cpuid) cpu.measured_mhz = MeasureClock();
}

void qvCaps::ProbeMemory() {
  os::MemoryStatus status;
  if (!os::QueryMemoryStatus(&status)) return;
  available_physical_mib = Mebibytes(status.available_physical);
  total_physical_mib = Mebibytes(status.total_physical);
  available_page_file_mib = Mebibytes(status.available_page_file);
  total_page_file_mib = Mebibytes(status.total_page_file);
}

void qvCaps::ProbeOem() {
  char16_t windows[kShellFolderCapacity];
  GetShellFolder(kWindowsFolderIndex, windows);  // empty when there is none
  os::QueryOemValue(windows, u"Manufacturer", manufacturer, 256);
  os::QueryOemValue(windows, u"Model", model, 256);
}
