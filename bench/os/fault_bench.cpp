// fault_bench DIR: what the fault seam costs. Times the bare fault point
// and a small read of a cached file, with the seam disarmed (as in every
// ordinary run) and armed to count only (as in a sweep), and prints the
// medians in nanoseconds per call. The last line reads
// "fault_bench: point=D/C read=D/C" (disarmed/counting).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "os/fault.h"
#include "os/file.h"

namespace {

constexpr int kRounds = 7;

// Nanoseconds per call of `step`, disarmed and armed to count only, the
// median of rounds that alternate between the two so that a busy machine
// weighs on both alike.
template <typename Step>
void Measure(const char* what, long calls, Step step, double out[2]) {
  std::vector<double> times[2];
  for (int round = 0; round < kRounds; ++round) {
    for (int counting = 0; counting < 2; ++counting) {
      if (counting) os::ArmFaults({});
      else os::DisarmFaults();
      const auto start = std::chrono::steady_clock::now();
      for (long i = 0; i < calls; ++i) step();
      const std::chrono::duration<double, std::nano> spent =
          std::chrono::steady_clock::now() - start;
      times[counting].push_back(spent.count() / static_cast<double>(calls));
    }
  }
  os::DisarmFaults();
  for (int counting = 0; counting < 2; ++counting) {
    std::sort(times[counting].begin(), times[counting].end());
    out[counting] = times[counting][kRounds / 2];
  }
  std::printf("%-6s disarmed %8.2f ns   counting %8.2f ns\n", what, out[0], out[1]);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fault_bench DIR\n");
    return 2;
  }
  const std::filesystem::path file = std::filesystem::path(argv[1]) / "fault_bench.bin";
  std::ofstream(file, std::ios::binary) << std::string(4096, 'x');
  const os::Handle handle = os::OpenFile(file.u16string().c_str(), os::kAccessRead, os::kShareRead,
                                         os::kOpenExisting, 0, 0);
  if (handle == os::kInvalidHandle) {
    std::fprintf(stderr, "fault_bench: cannot open %s\n", file.string().c_str());
    return 1;
  }

  volatile bool sink = false;
  double point[2], read[2];
  Measure("point", 100000000, [&] { sink = os::FaultInjected(os::FileOp::kRead); }, point);
  char buffer[64];
  Measure("read", 1000000, [&] {
    std::uint32_t done = 0;
    os::SeekFile(handle, 0, os::kSeekBegin);
    sink = os::ReadFile(handle, buffer, sizeof buffer, &done);
  }, read);
  os::CloseFile(handle);
  std::filesystem::remove(file);
  std::printf("fault_bench: point=%.2f/%.2f read=%.1f/%.1f\n", point[0], point[1], read[0], read[1]);
  return 0;
}
