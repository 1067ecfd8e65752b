#include "xml/xml.h"

#include <cstdarg>

#include "system/debug_log.h"
#include "util/integer.h"
#include "util/text_convert.h"
#include "util/wide_string.h"

namespace {

// The path's names, all of them: a path has no length limit.
std::vector<const char*> CollectNames(int count, va_list arguments) {
  std::vector<const char*> names(count > 0 ? static_cast<std::size_t>(count) : 0);
  for (const char*& name : names) name = va_arg(arguments, const char*);
  return names;
}

}  // namespace

bool qvXml::Open(const char16_t* path) {
  DebugLogW(u"xml open %s", path ? path : u"");
  Close();
  reader_ = std::make_unique<qvXmlReader>();
  if (!Finish(reader_->ReadFile(path))) {
    DebugLogW(u"qvXml : File open error %s", path ? path : u"");
    return false;
  }
  DebugLog("xml open exit");
  return true;
}

bool qvXml::OpenBuffer(const void* bytes, std::size_t length) {
  Close();
  reader_ = std::make_unique<qvXmlReader>();
  return Finish(reader_->ReadBuffer(bytes, length));
}

// After a read the document has an element array, empty when it failed.
bool qvXml::Finish(int read_result) {
  has_elements_ = true;
  if (read_result != kXmlReadOk) return false;
  BuildElements();
  return true;
}

void qvXml::Close() {
  reader_.reset();
  has_elements_ = false;
  top_count_ = 0;
  elements_.clear();
  elements_.shrink_to_fit();
  attributes_.clear();
  attributes_.shrink_to_fit();
}

// Each sibling chain becomes one contiguous range of the pool, in chain
// order. Pending chains wait on a work list instead of the call stack.
void qvXml::BuildElements() {
  struct Pending {
    const XmlNode* first;
    std::size_t slot;
  };
  auto reserve_range = [this](const XmlNode* first) {
    std::size_t count = 0;
    for (const XmlNode* node = first; node; node = node->next) ++count;
    std::size_t base = elements_.size();
    elements_.resize(base + count);
    return base;
  };

  elements_.reserve(reader_->GetNodeCount());
  attributes_.reserve(reader_->GetAttributeCount());
  const XmlNode* top = reader_->GetRootNode()->first_child;
  reserve_range(top);
  top_count_ = elements_.size();
  std::vector<Pending> work;
  if (top) work.push_back({top, 0});
  while (!work.empty()) {
    Pending pending = work.back();
    work.pop_back();
    std::size_t slot = pending.slot;
    for (const XmlNode* node = pending.first; node; node = node->next, ++slot) {
      std::size_t first_attribute = attributes_.size();
      for (const XmlNodeAttribute* a = node->first_attribute; a; a = a->next)
        attributes_.push_back({a->name, a->value});
      std::size_t first_child = node->first_child ? reserve_range(node->first_child) : 0;
      // Fill after reserving: the pool may have moved.
      XmlElement& element = elements_[slot];
      element.name = node->name;
      element.text = node->text;
      element.first_attribute = first_attribute;
      element.attribute_count = attributes_.size() - first_attribute;
      if (node->first_child) {
        element.first_child = first_child;
        element.child_count = elements_.size() - first_child;
        work.push_back({node->first_child, first_child});
      }
    }
  }
}

std::span<const XmlElement> qvXml::GetTopElements() const {
  return {elements_.data(), top_count_};
}

std::span<const XmlElement> qvXml::GetChildren(const XmlElement& element) const {
  if (element.child_count == 0) return {};
  return {elements_.data() + element.first_child, element.child_count};
}

std::span<const XmlAttribute> qvXml::GetAttributes(const XmlElement& element) const {
  if (element.attribute_count == 0) return {};
  return {attributes_.data() + element.first_attribute, element.attribute_count};
}

// A lone top element named "document" is queried without naming it.
std::span<const XmlElement> qvXml::QueryStart() const {
  std::span<const XmlElement> top = GetTopElements();
  if (top.size() == 1 && top[0].name == "document") return GetChildren(top[0]);
  return top;
}

// Depth-first with backtracking: a member whose subtree lacks the rest of
// the path lets the search go on with the next member. The depth is the
// path's length, never the document's.
const XmlElement* qvXml::FindPath(std::span<const XmlElement> members, const char* const* names,
                                  int count, int index) const {
  if (members.empty() || count <= 0 || index >= count || !names[index]) return nullptr;
  std::string_view name = names[index];
  for (const XmlElement& member : members) {
    if (member.name != name) continue;
    if (index == count - 1) return &member;
    if (const XmlElement* found = FindPath(GetChildren(member), names, count, index + 1))
      return found;
  }
  return nullptr;
}

const XmlElement* qvXml::FindElement(const char* const* names, int count) const {
  if (!has_elements_) return nullptr;
  return FindPath(QueryStart(), names, count, 0);
}

bool qvXml::GetStringPath(char16_t* destination, std::size_t capacity, const char16_t* fallback,
                          const char* const* names, int count) {
  last_string_cut_ = false;
  if (destination && capacity > 0) CopyWide(destination, capacity, fallback ? fallback : u"");
  const XmlElement* element = FindElement(names, count);
  if (!element) return false;
  if (!destination || capacity == 0) return true;
  char16_t area[kXmlConvertCapacity];
  std::size_t units = Utf8ToWide(element->text.c_str(), area, kXmlConvertCapacity);
  // A full area may have stopped the conversion early.
  last_string_cut_ = !CopyWide(destination, capacity, area) || units + 2 >= kXmlConvertCapacity;
  return true;
}

bool qvXml::GetString(char16_t* destination, std::size_t capacity, const char16_t* fallback,
                      int count, ...) {
  va_list arguments;
  va_start(arguments, count);
  const std::vector<const char*> names = CollectNames(count, arguments);
  va_end(arguments);
  return GetStringPath(destination, capacity, fallback, names.data(),
                       static_cast<int>(names.size()));
}

std::int32_t qvXml::GetInt(std::int32_t fallback, int count, ...) {
  va_list arguments;
  va_start(arguments, count);
  const std::vector<const char*> names = CollectNames(count, arguments);
  va_end(arguments);
  const XmlElement* element = FindElement(names.data(), static_cast<int>(names.size()));
  return element ? ParseInteger(element->text.c_str()) : fallback;
}
