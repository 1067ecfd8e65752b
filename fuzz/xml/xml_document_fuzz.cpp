// Reads fuzzed bytes as a document, under no memory limit or under one of
// two (chosen by the input's length), and queries the tree with names
// found in it as well as fixed ones.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/private_heap.h"
#include "xml/xml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool heap = CreatePrivateHeap(1 << 20) == 1;
  (void)heap;

  qvXml xml;
  const XmlMemoryLimit limits[] = {{}, {4, 0}, {1, 64 * 1024}};
  xml.SetMemoryLimit(limits[size % 3]);
  xml.OpenBuffer(data, size);
  const qvXmlReader* reader = xml.GetReader();
  if (reader->GetErrorText()[kXmlErrorTextCapacity - 1] != '\0') __builtin_trap();

  // Paths along the first members, at most four deep, plus fixed ones.
  std::vector<std::string> names;
  auto level = xml.GetTopElements();
  if (level.size() == 1 && level[0].Name() == "document") level = xml.GetChildren(level[0]);
  while (!level.empty() && names.size() < 4) {
    names.emplace_back(level[size % level.size()].Name());
    level = xml.GetChildren(level[size % level.size()]);
  }
  names.push_back("brand");
  std::vector<const char*> path;
  for (const std::string& name : names) path.push_back(name.c_str());

  char16_t small[5];
  char16_t large[kXmlConvertCapacity + 16];
  for (int count = 0; count <= static_cast<int>(path.size()); ++count) {
    xml.GetStringPath(small, sizeof small / sizeof small[0], u"default", path.data(), count);
    xml.GetStringPath(large, sizeof large / sizeof large[0], u"", path.data(), count);
    if (const XmlElement* element = xml.FindElement(path.data(), count)) {
      for (const XmlAttribute& attribute : xml.GetAttributes(*element)) (void)attribute.Value().size();
    }
  }
  xml.GetInt(-1, 2, "language", "default");
  xml.Close();
  return 0;
}
