// qvimg: shows what the engine makes of a picture file and converts
// between the picture formats it reads and writes.
#include <cstdio>
#include <string>
#include <vector>

#include "base/private_heap.h"
#include "tools/qvimg/command.h"

#ifdef _WIN32
#include "base/text_convert.h"
#endif

namespace {

// Picture buffers and decoder work areas come from the private heap.
constexpr std::size_t kHeapSize = 64 * 1024 * 1024;

int Run(const std::vector<std::string>& arguments) {
  CreatePrivateHeap(kHeapSize);
  std::string out;
  std::string err;
  const int status = RunQvimg(arguments, &out, &err);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  DestroyPrivateHeap();
  return status;
}

}  // namespace

#ifdef _WIN32
// Wide arguments keep file names in any language intact.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    const auto* wide = reinterpret_cast<const char16_t*>(argv[i]);
    std::size_t length = 0;
    while (wide[length] != 0) ++length;
    std::string utf8(4 * length + 1, '\0');
    utf8.resize(WideToUtf8(wide, utf8.data(), utf8.size()));
    arguments.push_back(std::move(utf8));
  }
  return Run(arguments);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
