// What the machine is: the probes behind the capabilities record.
#pragma once

#include <cstdint>

namespace os {

// The system's own version report. `platform` follows the Windows numbering
// (0 Win32s, 1 Windows 9x, 2 NT); other systems report kPlatformOther.
inline constexpr std::uint32_t kPlatformOther = 0xFFFFFFFFu;
struct OsVersion {
  std::uint32_t platform = 0;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t service_pack_major = 0;
  std::uint32_t service_pack_minor = 0;
  char16_t service_pack[128] = {};
};
// The precise report (RtlGetVersion on Windows). False when unavailable.
bool QueryOsVersion(OsVersion* out);
// The classic report that product queries expect (GetVersionExW).
bool QueryClassicOsVersion(OsVersion* out);
// The product type for a version, when the system can tell one.
bool QueryProductType(const OsVersion& version, std::uint32_t* type);
// True when the system is 64-bit, whether or not this process is.
bool IsSystem64Bit();

// CPUID leaf `leaf` into eax, ebx, ecx, edx; false without CPUID or when
// the leaf is beyond the highest one the processor offers.
bool QueryCpuId(std::uint32_t leaf, std::uint32_t registers[4]);
// Whether the processor flags' alignment-check bit can be toggled (no 386).
bool CanToggleAlignmentCheck();
std::uint32_t GetProcessorCount();
// The clock the system states (registry "~MHz", /proc/cpuinfo) and the
// processor's name; each is 0 or empty when unknown. False when nothing
// could be asked.
bool QueryProcessorDescription(std::uint32_t* mhz, char16_t* name, std::uint32_t capacity);

// A high-resolution counter and its frequency in counts per second.
bool QueryPerformanceFrequency(std::uint64_t* frequency);
bool QueryPerformanceCounter(std::uint64_t* counter);
// The time-stamp counter, read after a serialising instruction.
std::uint64_t ReadCycleCounter();

struct MemoryStatus {
  std::uint64_t available_physical = 0;
  std::uint64_t total_physical = 0;
  std::uint64_t available_page_file = 0;
  std::uint64_t total_page_file = 0;
};
bool QueryMemoryStatus(MemoryStatus* out);

// "Manufacturer" or "Model" of the machine's OEM information: on Windows the
// "General" section of Oeminfo.ini in `windows_folder`, its "system" and
// its "system32" folder (the first that has one); elsewhere the firmware's
// vendor and product names. Empty when there is none.
bool QueryOemValue(const char16_t* windows_folder, const char16_t* key, char16_t* out,
                   std::uint32_t capacity);

// DirectX as the diagnostics provider reports it. `letter` is the first
// character of the letter text. False when the provider gives no answer.
bool QueryDxDiagVersion(std::uint32_t* major, std::uint32_t* minor, char16_t* letter);
// The fixed file version of a file in the system folder (ms, ls as in the
// version resource). False when the file or its version cannot be read.
bool QuerySystemFileVersion(const char16_t* file_name, std::uint32_t* ms, std::uint32_t* ls);
// Whether a library of the system can be loaded.
bool CanLoadSystemLibrary(const char16_t* name);

}  // namespace os
