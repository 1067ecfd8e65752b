#include "xml/xml.h"

#include <cstdarg>
#include <new>
#include <vector>

#include "base/debug_log.h"
#include "util/integer.h"
#include "base/text_convert.h"
#include "base/wide_string.h"

namespace {

// The path's names, all of them: a path has no length limit. The paths of
// ordinary queries fit the inline room and allocate nothing; a longer one
// that finds no memory is treated as not there.
class PathNames {
 public:
  PathNames(int count, va_list arguments) {
    const std::size_t wanted = count > 0 ? static_cast<std::size_t>(count) : 0;
    const char** names = inline_;
    if (wanted > kInline) {
      try {
        more_.resize(wanted);
      } catch (const std::bad_alloc&) {
        return;
      }
      names = more_.data();
    }
    for (std::size_t i = 0; i < wanted; ++i) names[i] = va_arg(arguments, const char*);
    names_ = names;
    count_ = static_cast<int>(wanted);
  }
  const char* const* Names() const { return names_; }
  int Count() const { return count_; }

 private:
  static constexpr std::size_t kInline = 16;
  const char* inline_[kInline] = {};
  std::vector<const char*> more_;
  const char* const* names_ = inline_;
  int count_ = 0;
};

}  // namespace

bool qvXml::Open(const char16_t* path) {
  DebugLogW(u"xml open %s", path ? path : u"");
  Close();
  reader_.emplace();
  reader_->SetMemoryLimit(limit_);
  if (reader_->ReadFile(path) != kXmlReadOk) {
    DebugLogW(u"qvXml : File open error %s", path ? path : u"");
    return false;
  }
  DebugLog("xml open exit");
  return true;
}

bool qvXml::OpenBuffer(const void* bytes, std::size_t length) {
  Close();
  reader_.emplace();
  reader_->SetMemoryLimit(limit_);
  return reader_->ReadBuffer(bytes, length) == kXmlReadOk;
}

void qvXml::Close() { reader_.reset(); }

XmlElementList qvXml::GetTopElements() const {
  return reader_ ? reader_->GetTree().Top() : XmlElementList();
}

XmlElementList qvXml::GetChildren(const XmlElement& element) const {
  return reader_ ? reader_->GetTree().Children(element) : XmlElementList();
}

std::span<const XmlAttribute> qvXml::GetAttributes(const XmlElement& element) const {
  if (!reader_) return {};
  return reader_->GetTree().Attributes(element);
}

// A lone top element named "document" is queried without naming it.
XmlElementList qvXml::QueryStart() const {
  XmlElementList top = GetTopElements();
  if (top.size() == 1 && top[0].Name() == "document") return GetChildren(top[0]);
  return top;
}

// Depth-first with backtracking: a member whose subtree lacks the rest of
// the path lets the search go on with the next member of the name. The
// depth is the path's length, never the document's.
const XmlElement* qvXml::FindPath(const XmlElementList& members, const char* const* names,
                                  int count, int index) const {
  if (members.empty() || count <= 0 || index >= count || !names[index]) return nullptr;
  return reader_->GetTree().FindNamed(
      members, names[index], [&](const XmlElement& member) -> const XmlElement* {
        if (index == count - 1) return &member;
        return FindPath(GetChildren(member), names, count, index + 1);
      });
}

const XmlElement* qvXml::FindElement(const char* const* names, int count) const {
  if (!reader_) return nullptr;
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
  std::size_t units = Utf8ToWide(element->Text().data(), area, kXmlConvertCapacity);
  // A full area may have stopped the conversion early.
  last_string_cut_ = !CopyWide(destination, capacity, area) || units + 2 >= kXmlConvertCapacity;
  return true;
}

bool qvXml::GetString(char16_t* destination, std::size_t capacity, const char16_t* fallback,
                      int count, ...) {
  va_list arguments;
  va_start(arguments, count);
  const PathNames path(count, arguments);
  va_end(arguments);
  return GetStringPath(destination, capacity, fallback, path.Names(), path.Count());
}

std::int32_t qvXml::GetInt(std::int32_t fallback, int count, ...) {
  va_list arguments;
  va_start(arguments, count);
  const PathNames path(count, arguments);
  va_end(arguments);
  const XmlElement* element = FindElement(path.Names(), path.Count());
  return element ? ParseInteger(element->Text().data()) : fallback;
}
