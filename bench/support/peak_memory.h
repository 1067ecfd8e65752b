// Resident memory of this process as Linux reports it in /proc/self/status,
// and a way to restart its peak, for the benchmarks that measure memory.
#pragma once

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace bench {

// A value of /proc/self/status in KiB ("VmRSS:", "VmHWM:"), or -1.
inline long StatusValue(const char* key) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  return -1;
}

// From here on VmHWM is the peak of what follows.
inline void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

}  // namespace bench
