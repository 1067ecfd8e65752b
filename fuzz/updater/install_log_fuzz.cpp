// install.log: any bytes load, sort and save without loss of the lines
// that were read.
#include "app/text_line_list.h"
#include "file/confined_tree.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string path = WriteFuzzFile(data, size, u"install.log");
  static confine::Tree tree;
  if (!tree.IsOpen() && tree.Open(FuzzFolder().c_str(), {}) != confine::Rule::kOk) __builtin_trap();
  TextLineList list;
  if (!list.Load(tree, u"install.log")) return 0;
  std::size_t before = list.Lines().size();
  list.SortUnique();
  if (list.Lines().size() > before) __builtin_trap();
  list.Save(tree, u"install.log");
  TextLineList again;
  if (!again.Load(tree, u"install.log") || again.Lines().size() < list.Lines().size())
    __builtin_trap();
  return 0;
}
