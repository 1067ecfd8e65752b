// description_bench mixed MIB | deletes COUNT
//
// Writes a generated update description to a temporary file and loads it
// the way the updater does before its first box (LoadUpdateInfo, then the
// choice of a language). Prints the file's size, the time taken, and the
// peak resident memory above the baseline, also as a multiple of the size.
// "mixed" is a description of about MIB MiB in the shape of real ones
// (languages with their messages, and delete entries); "deletes" has one
// language and COUNT delete entries.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/update_info.h"
#include "bench/support/engine_path.h"
#include "bench/support/peak_memory.h"
#include "description_generator.h"
#include "base/private_heap.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

int Usage() {
  std::fprintf(stderr, "usage: description_bench mixed MIB | deletes COUNT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Usage();
  const std::size_t amount = std::strtoull(argv[2], nullptr, 10);
  if (amount == 0) return Usage();
  const fs::path file = fs::temp_directory_path() /
                        ("description_bench_" + std::string(argv[1]) + "_" + argv[2] + ".xml");
  std::uintmax_t size = 0;
  {
    std::string text;
    if (std::strcmp(argv[1], "mixed") == 0) {
      text = GenerateDescription(amount * kMiB);
    } else if (std::strcmp(argv[1], "deletes") == 0) {
      text = GenerateDeleteList(amount);
    } else {
      return Usage();
    }
    std::ofstream(file, std::ios::binary) << text;
    size = text.size();
  }
  CreatePrivateHeap(10 * kMiB);
  auto info = std::make_unique<UpdateInfo>();

  const long baseline = bench::StatusValue("VmRSS:");
  bench::ResetPeakMemory();
  const auto start = std::chrono::steady_clock::now();
  const bool loaded = LoadUpdateInfoFrom(bench::EnginePath(file).c_str(), info.get(), nullptr);
  const bool chosen = loaded && ChooseLanguageFor(info.get(), 1041) != nullptr;
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  const long peak = bench::StatusValue("VmHWM:") - baseline;
  fs::remove(file);

  std::printf("%s %s: %.1f MB, loaded=%d chosen=%d, %zu languages, %zu delete entries\n", argv[1],
              argv[2], size / 1e6, loaded, chosen, info->languages.size(),
              info->delete_list.size());
  std::printf("time %.3f s, peak memory above baseline %.1f MiB (%.2f x the size)\n", took.count(),
              peak / 1024.0, peak * 1024.0 / static_cast<double>(size));
  return loaded ? 0 : 1;
}
