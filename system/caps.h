// qvCaps: the process-wide record of what the machine is (operating
// system, DirectX, processor, memory, OEM names), probed once when the
// framework starts.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t QVCAPS_OS = 1;
inline constexpr std::uint32_t QVCAPS_DIRECTX = 2;
inline constexpr std::uint32_t QVCAPS_MEMORY = 4;
inline constexpr std::uint32_t QVCAPS_CPU = 8;
inline constexpr std::uint32_t QVCAPS_CPU_CLOCK = 16;
inline constexpr std::uint32_t QVCAPS_OEM = 32;

inline constexpr std::uint32_t kOsCodeUnknown = 0xFFFF;

struct OsInfo {
  std::uint32_t code;
  std::uint32_t major;
  std::uint32_t minor;
  std::uint32_t build;
  std::uint32_t bitness;
  char16_t name[128];
  char16_t service_pack[128];
  char16_t edition[128];
};

// Exchanged between processes byte for byte: the layout is fixed.
struct CpuInfo {
  std::uint32_t type;
  std::uint32_t family;
  std::uint32_t model;
  std::uint32_t stepping;
  char vendor[16];
  std::uint32_t measured_mhz;
  std::uint32_t has_cpuid;
  std::uint32_t has_mmx;
  std::uint32_t has_cmov;
  std::uint32_t has_sse;
  std::uint32_t has_3dnow;
  std::uint32_t processor_count;
  char16_t name[128];
  std::uint8_t reserved[256];
  std::uint32_t registry_mhz;
};
static_assert(sizeof(CpuInfo) == 576);
static_assert(offsetof(CpuInfo, vendor) == 16);
static_assert(offsetof(CpuInfo, measured_mhz) == 32);
static_assert(offsetof(CpuInfo, processor_count) == 56);
static_assert(offsetof(CpuInfo, name) == 60);
static_assert(offsetof(CpuInfo, reserved) == 316);
static_assert(offsetof(CpuInfo, registry_mhz) == 572);

class qvCaps {
 public:
  // Runs the probes that `flags` name. Only the first live instance
  // becomes the process-wide one; a second does nothing.
  qvCaps(std::uint32_t flags, std::int32_t dde_mode);
  qvCaps(const qvCaps&) = delete;
  qvCaps& operator=(const qvCaps&) = delete;
  ~qvCaps();

  // The process-wide instance, or null.
  static const qvCaps* Instance();

  void GetOsInfo(OsInfo* destination) const;
  // Copies the processor record when `destination` is not null.
  const CpuInfo* GetCpuInfo(CpuInfo* destination) const;

  OsInfo os;
  std::uint32_t directx_number;
  char16_t directx_text[128];
  CpuInfo cpu;
  char16_t manufacturer[256];
  char16_t model[256];
  std::uint32_t available_physical_mib;
  std::uint32_t total_physical_mib;
  std::uint32_t available_page_file_mib;
  std::uint32_t total_page_file_mib;
  std::int32_t dde_mode;

 private:
  void ProbeOs();
  void ProbeDirectX();
  void ProbeCpu(bool measure_clock);
  void ProbeMemory();
  void ProbeOem();

  bool registered_ = false;
};
