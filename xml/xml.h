// qvXml: an XML document read from a file and queried by paths of element
// names. The reader's tree holds every sibling list as an array, with a copy
// ordered by name, so a query step among many siblings is a binary search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "xml/xml_reader.h"

// Size of the UTF-16 area a text is converted in before it is copied out.
inline constexpr std::size_t kXmlConvertCapacity = 4096;

class qvXml {
 public:
  qvXml() = default;
  qvXml(const qvXml&) = delete;
  qvXml& operator=(const qvXml&) = delete;
  ~qvXml() { Close(); }

  // Applies to the Opens that follow; see XmlMemoryLimit.
  void SetMemoryLimit(XmlMemoryLimit limit) { limit_ = limit; }
  bool Open(const char16_t* path);
  // The same from bytes in memory (for tools and fuzzing); not logged.
  bool OpenBuffer(const void* bytes, std::size_t length);
  // The destination (`capacity` units) always receives a string: the text
  // at the path, or `fallback` when the path is not there. Texts are cut
  // to fit, never splitting a surrogate pair. Names are `const char*`.
  bool GetString(char16_t* destination, std::size_t capacity, const char16_t* fallback, int count,
                 ...);
  // The text at the path read as an integer (sign, decimal or 0x hex;
  // anything else gives 0), or `fallback` when the path is not there.
  std::int32_t GetInt(std::int32_t fallback, int count, ...);
  void Close();

  // The same searches with the path as an array.
  bool GetStringPath(char16_t* destination, std::size_t capacity, const char16_t* fallback,
                     const char* const* names, int count);
  const XmlElement* FindElement(const char* const* names, int count) const;
  // Whether the text of the last successful GetString had to be cut.
  bool LastStringWasCut() const { return last_string_cut_; }

  // Read-only access to the tree, for tools that inspect a document.
  XmlElementList GetTopElements() const;
  XmlElementList GetChildren(const XmlElement& element) const;
  std::span<const XmlAttribute> GetAttributes(const XmlElement& element) const;
  // The reader of the last Open (its error code, text and memory), or null.
  const qvXmlReader* GetReader() const { return reader_ ? &*reader_ : nullptr; }

 private:
  XmlElementList QueryStart() const;
  const XmlElement* FindPath(const XmlElementList& members, const char* const* names, int count,
                             int index) const;

  XmlMemoryLimit limit_;
  std::optional<qvXmlReader> reader_;
  bool last_string_cut_ = false;
};
