// copy_bench [--keep] [--buffered] DIR
//
// Builds three source trees under DIR (one 1 GiB file; 5,000 files of
// 4 KiB in 50 folders; 200 files of 1 MiB), copies each with the
// installer worker as the updater drives it (3 buffers, version check on)
// and with "cp -r", alternating, and prints the median times and the ratio
// worker/cp. The last line reads "copy_bench: large=R small=R medium=R".
// With --keep the source trees stay for the next run. --buffered makes the
// worker read through the system cache as cp does, which separates the
// worker's own cost from that of unbuffered reading.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/install_worker.h"
#include "bench/support/engine_path.h"
#include "bench/support/peak_memory.h"
#include "file/confined_tree.h"
#include "os/thread.h"
#include "system/caps.h"
#include "system/private_heap.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 3;

struct SourceTree {
  const char* name;
  int folders;
  int files_per_folder;
  std::uint64_t file_size;
};

const SourceTree kTrees[] = {
    {"large", 1, 1, 1ull << 30},
    {"small", 50, 100, 4096},
    {"medium", 1, 200, 1u << 20},
};

void WriteTree(const fs::path& root, const SourceTree& tree) {
  std::vector<char> block(1u << 20);
  std::uint32_t x = 12345;
  for (char& c : block) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  for (int f = 0; f < tree.folders; ++f) {
    const fs::path folder = root / ("d" + std::to_string(f));
    fs::create_directories(folder);
    for (int i = 0; i < tree.files_per_folder; ++i) {
      const fs::path file = folder / ("f" + std::to_string(i) + ".bin");
      if (fs::exists(file) && fs::file_size(file) == tree.file_size) continue;
      std::ofstream out(file, std::ios::binary | std::ios::trunc);
      block[0] = static_cast<char>(i);
      for (std::uint64_t left = tree.file_size; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
        out.write(block.data(), static_cast<std::streamsize>(n));
        left -= n;
      }
    }
  }
}

struct Done {
  os::Event* event;
  int failed = 0;
};

std::int32_t OnReport(void* user, WorkerStatus* status) {
  auto* done = static_cast<Done*>(user);
  if (status->failed) done->failed = 1;
  if (status->finished) os::SetEvent(done->event);
  return 1;
}

double CopyWithWorker(const fs::path& source, const fs::path& destination,
                      const confine::Tree& tree, int buffered_only, long* peak_kib) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(source))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());

  const long baseline = bench::StatusValue("VmRSS:");
  bench::ResetPeakMemory();
  const auto start = std::chrono::steady_clock::now();
  auto* worker = new InstallWorker(3, buffered_only);
  worker->SetVersionCheck(1);
  worker->SetDestinationTree(&tree);
  for (const fs::path& file : files) {
    const fs::path target = destination / fs::relative(file, source);
    worker->Add(bench::EnginePath(file).c_str(), bench::EnginePath(target).c_str(), 0);
  }
  Done done{os::CreateEvent(true, false)};
  worker->Start(OnReport, &done, nullptr);
  os::WaitForEvent(done.event, os::kInfinite);
  delete worker;
  const auto end = std::chrono::steady_clock::now();
  const long peak = bench::StatusValue("VmHWM:");
  if (peak >= 0 && baseline >= 0) *peak_kib = std::max(*peak_kib, peak - baseline);
  os::CloseEvent(done.event);
  if (done.failed) std::fprintf(stderr, "copy_bench: the worker reported a failure\n");
  return std::chrono::duration<double>(end - start).count();
}

double CopyWithCp(const fs::path& source, const fs::path& destination) {
  const std::string command = "cp -r '" + source.string() + "' '" + destination.string() + "'";
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "copy_bench: cp failed\n");
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  bool keep = false;
  int buffered_only = 0;
  const char* dir = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--keep") == 0) keep = true;
    else if (std::strcmp(argv[i], "--buffered") == 0) buffered_only = 1;
    else dir = argv[i];
  }
  if (!dir) {
    std::fprintf(stderr, "usage: copy_bench [--keep] [--buffered] DIR\n");
    return 2;
  }
  CreatePrivateHeap(10u << 20);
  qvCaps caps(QVCAPS_OS, 0);
  const fs::path root = fs::absolute(dir);
  fs::create_directories(root);
  // The destinations lie below DIR, which the worker writes into as the
  // updater writes into an install folder.
  confine::Tree tree;
  if (confine::Rule rule = tree.Open(bench::EnginePath(root).c_str(), {}); rule != confine::Rule::kOk) {
    std::fprintf(stderr, "copy_bench: %s cannot be written into (%s)\n", dir,
                 confine::RuleCode(rule));
    return 2;
  }

  double ratios[3] = {};
  long peak_kib = 0;
  for (int t = 0; t < 3; ++t) {
    const SourceTree& source_tree = kTrees[t];
    const fs::path source = root / (std::string("src_") + source_tree.name);
    const fs::path destination = root / (std::string("dst_") + source_tree.name);
    WriteTree(source, source_tree);
    std::vector<double> worker_times, cp_times;
    for (int round = 0; round < kRounds; ++round) {
      fs::remove_all(destination);
      worker_times.push_back(CopyWithWorker(source, destination, tree, buffered_only, &peak_kib));
      fs::remove_all(destination);
      cp_times.push_back(CopyWithCp(source, destination));
    }
    fs::remove_all(destination);
    if (!keep) fs::remove_all(source);
    const double worker = Median(worker_times), cp = Median(cp_times);
    ratios[t] = worker / cp;
    std::printf("%-6s worker %.3f s  cp %.3f s  ratio %.2f\n", source_tree.name, worker, cp, ratios[t]);
  }
  std::printf("worker peak memory above baseline: %.1f MiB\n", peak_kib / 1024.0);
  std::printf("copy_bench: large=%.2f small=%.2f medium=%.2f\n", ratios[0], ratios[1], ratios[2]);
  return 0;
}
