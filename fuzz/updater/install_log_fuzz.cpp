// install.log: any bytes load, sort and save without loss of the lines
// that were read.
#include "app/text_line_list.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string path = WriteFuzzFile(data, size);
  TextLineList list;
  if (!list.Load(path.c_str())) return 0;
  std::size_t before = list.Lines().size();
  list.SortUnique();
  if (list.Lines().size() > before) __builtin_trap();
  list.Save(path.c_str());
  TextLineList again;
  if (!again.Load(path.c_str()) || again.Lines().size() < list.Lines().size()) __builtin_trap();
  return 0;
}
