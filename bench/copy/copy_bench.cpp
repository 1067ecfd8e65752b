// copy_bench [--keep] [--rounds N] [--only NAME] DIR
//
// The install engine against the system's own copy, durable on both sides.
// For four source trees under DIR (one 1 GiB file; 5,000 files of 4 KiB in
// 50 folders; 200 files of 1 MiB; a game-like mix of two 300 MiB archives,
// 2,000 files of 1 to 64 KiB and 50 files of 4 MiB) it installs each as
// the updater does (an InstallSession: staging, version check, a progress
// report per buffer, flushes, switch and commit) and copies it with
// "cp -r SRC/. DST && sync -f DST", alternating, with warm caches and then
// with cold ones (the system's caches dropped before every run, which
// needs root). Plain "cp -r" runs too, for reference. The short trees
// (small, medium) run three times as many rounds, since a second's run
// drifts more with the machine's load. Before every run of either side
// the last run's tree is moved aside (nothing is deleted until the end),
// the file system is synced, and the caches are brought to the same state:
// the source read whole (warm) or everything dropped (cold). It prints the
// median times with their spread, the processor time (user + system) of
// each side, the ratios engine / (cp + sync), the engine's peak memory
// above the process's baseline, and last
//   copy_bench: large=R small=R medium=R mix=R cold_large=R ... cold_mix=R
// with "-" for a figure that was skipped. With --keep the source trees
// stay for the next run; --only runs one tree.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "app/install_session.h"
#include "bench/support/engine_path.h"
#include "bench/support/peak_memory.h"
#include "os/sync.h"
#include "system/caps.h"
#include "base/private_heap.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kKiB = 1024, kMiB = kKiB * 1024, kGiB = kMiB * 1024;
// The largest tree twice (source and installed copy), the small files of
// the finished runs' trees (below) and room to spare.
constexpr std::uint64_t kSpaceNeeded = 6 * kGiB;
// Files from this size on are cut when their tree is put aside.
constexpr std::uint64_t kCutSize = kMiB;

// A group of files of one tree: `count` files spread over `folders`
// folders, each between `min_size` and `max_size` bytes.
struct FileGroup {
  const char* prefix;
  int folders;
  int count;
  std::uint64_t min_size;
  std::uint64_t max_size;
};

struct SourceTree {
  const char* name;
  int round_factor;  // rounds of this tree per round asked for
  std::vector<FileGroup> groups;
};

const SourceTree kTrees[] = {
    {"large", 1, {{"a", 1, 1, kGiB, kGiB}}},
    {"small", 3, {{"s", 50, 5000, 4 * kKiB, 4 * kKiB}}},
    {"medium", 3, {{"m", 1, 200, kMiB, kMiB}}},
    {"mix", 1,
     {{"arc", 1, 2, 300 * kMiB, 300 * kMiB},
      {"data", 20, 2000, kKiB, 64 * kKiB},
      {"movie", 2, 50, 4 * kMiB, 4 * kMiB}}},
};
constexpr int kTreeCount = 4;

std::uint32_t NextRandom(std::uint32_t& x) {
  x = x * 1664525u + 1013904223u;
  return x;
}

void WriteTree(const fs::path& root, const SourceTree& tree) {
  std::vector<char> block(kMiB);
  std::uint32_t x = 12345;
  for (char& c : block) c = static_cast<char>(NextRandom(x) >> 24);
  for (const FileGroup& group : tree.groups) {
    for (int i = 0; i < group.count; ++i) {
      const fs::path folder = root / (group.prefix + std::to_string(i % group.folders));
      fs::create_directories(folder);
      const std::uint64_t size =
          group.min_size + NextRandom(x) % (group.max_size - group.min_size + 1);
      const fs::path file = folder / (group.prefix + std::to_string(i) + ".bin");
      if (fs::exists(file) && fs::file_size(file) == size) continue;
      std::ofstream out(file, std::ios::binary | std::ios::trunc);
      block[0] = static_cast<char>(i);
      block[1] = static_cast<char>(i >> 8);
      for (std::uint64_t left = size; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
        out.write(block.data(), static_cast<std::streamsize>(n));
        left -= n;
      }
    }
  }
}

// The copy list as the updater makes it: paths below the data folder.
std::vector<std::u16string> CopyList(const fs::path& source) {
  std::vector<std::u16string> list;
  for (const auto& entry : fs::recursive_directory_iterator(source))
    if (entry.is_regular_file()) list.push_back(bench::EnginePath(fs::relative(entry.path(), source)));
  std::sort(list.begin(), list.end());
  return list;
}

// Why the caches cannot be dropped, or empty when they can.
std::string CacheDropRefusal() {
  std::FILE* file = std::fopen("/proc/sys/vm/drop_caches", "w");
  if (!file) return std::string("/proc/sys/vm/drop_caches: ") + std::strerror(errno);
  std::fclose(file);
  return {};
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

// The installed trees of finished runs. ext4 without a journal passes over
// every inode freed in the last minutes (reading its deletion time) for
// each file it creates, so a tree created after the last run's tree was
// removed took up to several times as long, on either side at random. A
// finished tree is moved aside, its large files cut to nothing (which
// frees their space but no inode); the trees are removed when the bench
// ends.
class SpentTrees {
 public:
  explicit SpentTrees(fs::path folder) : folder_(std::move(folder)) {}
  ~SpentTrees() { fs::remove_all(folder_); }

  void Retire(const fs::path& tree) {
    if (!fs::exists(tree)) return;
    for (const auto& entry : fs::recursive_directory_iterator(tree))
      if (entry.is_regular_file() && entry.file_size() >= kCutSize) fs::resize_file(entry.path(), 0);
    fs::create_directories(folder_);
    fs::rename(tree, folder_ / std::to_string(next_++));
  }

 private:
  fs::path folder_;
  int next_ = 0;
};

// Reads every file of the tree, so that all of it is in the cache.
void ReadTree(const fs::path& source) {
  std::vector<char> block(kMiB);
  for (const fs::path& file : fs::recursive_directory_iterator(source)) {
    std::ifstream in(file, std::ios::binary);
    while (in.read(block.data(), static_cast<std::streamsize>(block.size()))) {
    }
  }
}

// Called before every timed run of either side: nothing of the last run is
// still being written (its data nor the file system's journal), and the
// source is wholly cached (warm) or nothing is (cold).
void Settle(const fs::path& root, const fs::path& source, bool cold) {
  Shell("sync -f '" + root.string() + "'");
  if (cold) std::ofstream("/proc/sys/vm/drop_caches") << "3";
  else ReadTree(source);
}

// Processor time (user + system) of this process's threads, or of its
// waited-for children, in seconds.
double ProcessorSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Report {
  os::Event* finished;
  bool failed = false;
  std::uint64_t reports = 0;
};

std::int32_t OnReport(void* user, WorkerStatus* status) {
  auto* report = static_cast<Report*>(user);
  if (status->failed) report->failed = true;
  ++report->reports;
  if (status->finished) os::SetEvent(report->finished);
  return 1;
}

// One timed run: wall-clock and processor seconds.
struct Run {
  double wall = 0, cpu = 0;
};

// Times what runs between its construction and Stop; `who` is
// RUSAGE_SELF for work in this process, RUSAGE_CHILDREN for commands.
class Stopwatch {
 public:
  explicit Stopwatch(int who)
      : who_(who), start_(std::chrono::steady_clock::now()), cpu_(ProcessorSeconds(who)) {}
  Run Stop() const {
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(),
            ProcessorSeconds(who_) - cpu_};
  }

 private:
  int who_;
  std::chrono::steady_clock::time_point start_;
  double cpu_;
};

// One install of `source` into the empty folder `destination`, as the
// updater runs it from the start of the copy to the commit.
Run InstallWithEngine(const fs::path& source, const fs::path& destination,
                      const std::vector<std::u16string>& copy_list, long* peak_kib) {
  const long baseline = bench::StatusValue("VmRSS:");
  bench::ResetPeakMemory();
  const Stopwatch watch(RUSAGE_SELF);
  InstallSession session;
  Report report{os::CreateEvent(true, false)};
  bool applied = false;
  if (session.OpenInstallFolder(bench::EnginePath(destination).c_str(),
                                bench::EnginePath(source).c_str()) == confine::Rule::kOk &&
      session.LockInstallFolder() &&
      session.Start(bench::EnginePath(source), copy_list, {}, OnReport, &report)) {
    os::WaitForEvent(report.finished, os::kInfinite);
    applied = session.Finish(report.failed) == InstallSession::Outcome::kApplied;
  }
  const Run run = watch.Stop();
  const long peak = bench::StatusValue("VmHWM:");
  if (peak >= 0 && baseline >= 0) *peak_kib = std::max(*peak_kib, peak - baseline);
  os::CloseEvent(report.finished);
  if (!applied) std::fprintf(stderr, "copy_bench: the install failed\n");
  return run;
}

Run CopyWithCp(const fs::path& source, const fs::path& destination, bool flush) {
  std::string command = "cp -r '" + source.string() + "/.' '" + destination.string() + "'";
  if (flush) command += " && sync -f '" + destination.string() + "'";
  const Stopwatch watch(RUSAGE_CHILDREN);
  if (Shell(command) != 0) std::fprintf(stderr, "copy_bench: %s failed\n", command.c_str());
  return watch.Stop();
}

// The median of one side's runs, with the fastest and slowest wall time.
struct Summary {
  double wall = 0, cpu = 0, fastest = 0, slowest = 0;
};

Summary Summarize(const std::vector<Run>& runs) {
  std::vector<double> wall, cpu;
  for (const Run& run : runs) {
    wall.push_back(run.wall);
    cpu.push_back(run.cpu);
  }
  std::sort(wall.begin(), wall.end());
  std::sort(cpu.begin(), cpu.end());
  return {wall[wall.size() / 2], cpu[cpu.size() / 2], wall.front(), wall.back()};
}

struct Medians {
  Summary engine, cp_sync, cp;
};

Medians MeasureTree(const fs::path& root, const fs::path& source,
                    const std::vector<std::u16string>& copy_list, int rounds, bool cold,
                    SpentTrees* spent, long* peak_kib) {
  const fs::path destination = root / "dst";
  auto fresh = [&] {
    spent->Retire(destination);
    fs::create_directories(destination);
    Settle(root, source, cold);
  };
  std::vector<Run> engine, cp_sync, cp;
  for (int round = 0; round < rounds; ++round) {
    // Alternating which goes first spreads the machine's drift over both.
    for (int turn = 0; turn < 2; ++turn) {
      fresh();
      if ((round + turn) % 2 == 0) engine.push_back(InstallWithEngine(source, destination, copy_list, peak_kib));
      else cp_sync.push_back(CopyWithCp(source, destination, true));
    }
    fresh();
    cp.push_back(CopyWithCp(source, destination, false));
  }
  spent->Retire(destination);
  Shell("sync -f '" + root.string() + "'");
  return {Summarize(engine), Summarize(cp_sync), Summarize(cp)};
}

void PrintRow(const char* name, bool cold, int rounds, const Medians& m) {
  auto side = [](const char* label, const Summary& s) {
    std::printf("  %-8s %7.3f s (%.3f-%.3f)  cpu %6.3f s\n", label, s.wall, s.fastest, s.slowest,
                s.cpu);
  };
  std::printf("%-5s %-6s ratio %.2f  engine/cp %.2f  (median of %d)\n", cold ? "cold" : "warm",
              name, m.engine.wall / m.cp_sync.wall, m.engine.wall / m.cp.wall, rounds);
  side("engine", m.engine);
  side("cp+sync", m.cp_sync);
  side("cp", m.cp);
  std::fflush(stdout);
}

std::string Figure(double value) {
  if (value <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  bool keep = false;
  int rounds = 3;
  const char* only = nullptr;
  const char* dir = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--keep") == 0) keep = true;
    else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) rounds = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[++i];
    else dir = argv[i];
  }
  if (!dir) {
    std::fprintf(stderr, "usage: copy_bench [--keep] [--rounds N] [--only NAME] DIR\n");
    return 2;
  }
  CreatePrivateHeap(10u << 20);
  qvCaps caps(QVCAPS_OS, 0);
  const fs::path root = fs::absolute(dir);
  fs::create_directories(root);
  const fs::space_info space = fs::space(root);
  std::printf("free space at %s: %.1f GiB (%.1f GiB needed)\n", root.c_str(),
              static_cast<double>(space.available) / kGiB, static_cast<double>(kSpaceNeeded) / kGiB);
  if (space.available < kSpaceNeeded) {
    std::fprintf(stderr, "copy_bench: not enough free space\n");
    return 2;
  }
  const std::string cold_refusal = CacheDropRefusal();
  if (!cold_refusal.empty()) std::printf("cold runs skipped: %s\n", cold_refusal.c_str());

  SpentTrees spent(root / "spent");
  double ratios[2][kTreeCount] = {};
  long peak_kib = 0;
  for (int t = 0; t < kTreeCount; ++t) {
    const SourceTree& tree = kTrees[t];
    if (only && std::strcmp(only, tree.name) != 0) continue;
    const fs::path source = root / (std::string("src_") + tree.name);
    WriteTree(source, tree);
    const std::vector<std::u16string> copy_list = CopyList(source);
    for (int cold = 0; cold < 2; ++cold) {
      if (cold && !cold_refusal.empty()) continue;
      const int tree_rounds = rounds * tree.round_factor;
      const Medians m = MeasureTree(root, source, copy_list, tree_rounds, cold != 0, &spent, &peak_kib);
      PrintRow(tree.name, cold != 0, tree_rounds, m);
      ratios[cold][t] = m.engine.wall / m.cp_sync.wall;
    }
    if (!keep) fs::remove_all(source);
  }
  std::printf("engine peak memory above baseline: %.1f MiB\n", peak_kib / 1024.0);
  std::printf("copy_bench:");
  for (int cold = 0; cold < 2; ++cold)
    for (int t = 0; t < kTreeCount; ++t)
      std::printf(" %s%s=%s", cold ? "cold_" : "", kTrees[t].name, Figure(ratios[cold][t]).c_str());
  std::printf("\n");
  return 0;
}
