// qvimg: shows what the engine makes of a picture file and converts
// between the picture formats it reads and writes.
#include "base/private_heap.h"
#include "tools/common/tool_main.h"
#include "tools/qvimg/command.h"

namespace {

// Picture buffers and decoder work areas come from the private heap.
constexpr std::size_t kHeapSize = 64 * 1024 * 1024;

int RunWithHeap(const std::vector<std::string>& arguments, std::string* out, std::string* err) {
  CreatePrivateHeap(kHeapSize);
  const int status = RunQvimg(arguments, out, err);
  DestroyPrivateHeap();
  return status;
}

}  // namespace

QV_TOOL_MAIN("qvimg", RunWithHeap)
