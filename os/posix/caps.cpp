// Machine probes on systems without the Windows facilities: the kernel's
// version, /proc and /sys for the processor, memory and firmware names.
#include "os/caps.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#define QV_HAS_CPUID 1
#endif

#include "os/text.h"

namespace os {
namespace {

// "6.1.0-18-amd64" gives 6, 1, 0.
void ParseRelease(const char* release, OsVersion* out) {
  std::uint32_t* parts[] = {&out->major, &out->minor, &out->build};
  const char* p = release;
  for (std::uint32_t* part : parts) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(p, &end, 10);
    if (end == p) break;
    *part = static_cast<std::uint32_t>(value);
    if (*end != '.') break;
    p = end + 1;
  }
}

void ToWide(const std::string& text, char16_t* out, std::uint32_t capacity) {
  if (capacity == 0) return;
  out[0] = 0;
  if (text.empty()) return;
  // Cut bytes until the conversion fits, so a long text is cut, not lost.
  std::string cut = text.substr(0, capacity - 1);
  while (!cut.empty()) {
    const int units = MultiByteToWide(kCodePageUtf8, 0, cut.data(), static_cast<int>(cut.size()),
                                      out, static_cast<int>(capacity - 1));
    if (units > 0) {
      out[units] = 0;
      return;
    }
    cut.pop_back();
  }
}

std::string Trim(std::string text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

bool QueryOsVersion(OsVersion* out) {
  *out = OsVersion{};
  out->platform = kPlatformOther;
  utsname name;
  if (uname(&name) != 0) return false;
  ParseRelease(name.release, out);
  return true;
}

bool QueryClassicOsVersion(OsVersion* out) { return QueryOsVersion(out); }

bool QueryProductType(const OsVersion&, std::uint32_t*) { return false; }

bool IsSystem64Bit() {
  if (sizeof(void*) == 8) return true;
  utsname name;
  return uname(&name) == 0 && std::strstr(name.machine, "64") != nullptr;
}

bool QueryCpuId(std::uint32_t leaf, std::uint32_t registers[4]) {
#ifdef QV_HAS_CPUID
  const unsigned highest = __get_cpuid_max(leaf & 0x80000000u, nullptr);
  if (highest == 0 || leaf > highest) return false;
  __cpuid(leaf, registers[0], registers[1], registers[2], registers[3]);
  return true;
#else
  return false;
#endif
}

bool CanToggleAlignmentCheck() {
#ifdef QV_HAS_CPUID
  return true;  // every processor this builds for is a 486 or later
#else
  return false;
#endif
}

std::uint32_t GetProcessorCount() {
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? static_cast<std::uint32_t>(count) : 1;
}

bool QueryProcessorDescription(std::uint32_t* mhz, char16_t* name, std::uint32_t capacity) {
  *mhz = 0;
  if (capacity) name[0] = 0;
  std::ifstream in("/proc/cpuinfo");
  if (!in) return false;
  bool have_name = false, have_clock = false;
  for (std::string line; (!have_name || !have_clock) && std::getline(in, line);) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, colon));
    const std::string value = Trim(line.substr(colon + 1));
    if (!have_name && key == "model name") {
      ToWide(value, name, capacity);
      have_name = true;
    } else if (!have_clock && key == "cpu MHz") {
      *mhz = static_cast<std::uint32_t>(std::strtod(value.c_str(), nullptr) + 0.5);
      have_clock = true;
    }
  }
  return true;
}

bool QueryPerformanceFrequency(std::uint64_t* frequency) {
  *frequency = 1000000000ull;
  return true;
}

bool QueryPerformanceCounter(std::uint64_t* counter) {
  timespec now;
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return false;
  *counter = static_cast<std::uint64_t>(now.tv_sec) * 1000000000ull +
             static_cast<std::uint64_t>(now.tv_nsec);
  return true;
}

std::uint64_t ReadCycleCounter() {
#ifdef QV_HAS_CPUID
  unsigned a, b, c, d;
  __cpuid(0, a, b, c, d);
  return __rdtsc();
#else
  return 0;
#endif
}

bool QueryMemoryStatus(MemoryStatus* out) {
  *out = MemoryStatus{};
  struct sysinfo info;
  if (sysinfo(&info) != 0) return false;
  const std::uint64_t unit = info.mem_unit ? info.mem_unit : 1;
  out->total_physical = info.totalram * unit;
  out->available_physical = (info.freeram + info.bufferram) * unit;
  // What the kernel counts as available includes reclaimable caches.
  std::ifstream meminfo("/proc/meminfo");
  for (std::string line; std::getline(meminfo, line);) {
    if (line.rfind("MemAvailable:", 0) == 0) {
      out->available_physical = std::strtoull(line.c_str() + 13, nullptr, 10) * 1024;
      break;
    }
  }
  // The Windows page-file figures are the commit limit: memory plus swap.
  out->total_page_file = out->total_physical + info.totalswap * unit;
  out->available_page_file = out->available_physical + info.freeswap * unit;
  return true;
}

bool QueryOemValue(const char16_t*, const char16_t* key, char16_t* out, std::uint32_t capacity) {
  if (capacity == 0) return false;
  out[0] = 0;
  const std::u16string_view wanted(key);
  const char* file = wanted == u"Manufacturer" ? "/sys/class/dmi/id/sys_vendor"
                     : wanted == u"Model"      ? "/sys/class/dmi/id/product_name"
                                               : nullptr;
  if (!file) return false;
  std::ifstream in(file);
  std::string value;
  if (!in || !std::getline(in, value)) return false;
  ToWide(Trim(value), out, capacity);
  return out[0] != 0;
}

bool QueryDxDiagVersion(std::uint32_t*, std::uint32_t*, char16_t*) { return false; }

bool QuerySystemFileVersion(const char16_t*, std::uint32_t*, std::uint32_t*) { return false; }

bool CanLoadSystemLibrary(const char16_t*) { return false; }

}  // namespace os
