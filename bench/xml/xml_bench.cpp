// xml_bench: reads a generated description-like document with this reader
// and, for comparison, with expat; prints MB/s for both, their ratio, and
// how the time grows when the input doubles.
#include <expat.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "description_generator.h"
#include "base/private_heap.h"
#include "xml/xml.h"

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

struct Timing {
  double wall = 1e30;       // seconds
  double processor = 1e30;  // seconds of processor time, steadier on a busy machine
};

// Best of `rounds` runs.
Timing BestTime(int rounds, const std::function<bool()>& run) {
  Timing best;
  for (int i = 0; i < rounds; ++i) {
    auto start = std::chrono::steady_clock::now();
    std::clock_t start_clock = std::clock();
    if (!run()) {
      std::fprintf(stderr, "xml_bench: a parse failed\n");
      std::exit(1);
    }
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best.wall = std::min(best.wall, took.count());
    best.processor =
        std::min(best.processor, double(std::clock() - start_clock) / CLOCKS_PER_SEC);
  }
  return best;
}

bool ReadWithReader(const std::string& text) {
  qvXmlReader reader;
  return reader.ReadBuffer(text.data(), text.size()) == kXmlReadOk;
}

bool ReadWithDocument(const std::string& text) {
  qvXml xml;
  return xml.OpenBuffer(text.data(), text.size());
}

// expat with handlers that touch every event, so nothing is optimised away.
struct ExpatCounts {
  std::size_t elements = 0;
  std::size_t text_bytes = 0;
};

bool ReadWithExpat(const std::string& text) {
  XML_Parser parser = XML_ParserCreate("UTF-8");
  ExpatCounts counts;
  XML_SetUserData(parser, &counts);
  XML_SetElementHandler(
      parser, [](void* data, const XML_Char*, const XML_Char**) {
        ++static_cast<ExpatCounts*>(data)->elements;
      },
      [](void*, const XML_Char*) {});
  XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char*, int length) {
    static_cast<ExpatCounts*>(data)->text_bytes += static_cast<std::size_t>(length);
  });
  bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return ok && counts.elements > 0;
}

void PrintSpeed(const char* name, std::size_t bytes, const Timing& t) {
  std::printf("%-28s %8.1f MB/s wall (%.3f s), %8.1f MB/s processor (%.3f s)\n", name,
              bytes / 1e6 / t.wall, t.wall, bytes / 1e6 / t.processor, t.processor);
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (mib == 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: xml_bench [MiB (20)] [rounds (5)]\n");
    return 2;
  }
  CreatePrivateHeap(10 * kMiB);

  const std::string text = GenerateDescription(mib * kMiB);
  const std::string doubled = GenerateDescription(2 * mib * kMiB);

  Timing reader = BestTime(rounds, [&] { return ReadWithReader(text); });
  Timing document = BestTime(rounds, [&] { return ReadWithDocument(text); });
  Timing expat = BestTime(rounds, [&] { return ReadWithExpat(text); });
  Timing reader_doubled = BestTime(rounds, [&] { return ReadWithReader(doubled); });
  Timing expat_doubled = BestTime(rounds, [&] { return ReadWithExpat(doubled); });

  std::printf("input: %.1f MB (%zu MiB requested), best of %d\n", text.size() / 1e6, mib, rounds);
  PrintSpeed("qvXmlReader::ReadBuffer", text.size(), reader);
  PrintSpeed("qvXml::OpenBuffer (+ tree)", text.size(), document);
  PrintSpeed("expat", text.size(), expat);
  std::printf("reader / expat speed ratio   %8.2f wall, %.2f processor  (goal: at least 0.50)\n",
              expat.wall / reader.wall, expat.processor / reader.processor);
  std::printf("doubled input, time ratio    %8.2f reader, %.2f expat (processor; goal: at most 2.30)\n",
              reader_doubled.processor / reader.processor,
              expat_doubled.processor / expat.processor);
  return 0;
}
