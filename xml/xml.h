// qvXml: an XML document read from a file and queried by paths of element
// names. The reader's linked tree is converted once into arrays that every
// query walks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "xml/xml_reader.h"

struct XmlAttribute {
  std::string name;
  std::string value;
};

// Children and attributes are ranges of the owning document's pools, listed
// in reverse document order (the last child in the file comes first). A
// count of 0 means "none".
struct XmlElement {
  std::string name;
  std::string text;
  std::size_t first_attribute = 0;
  std::size_t attribute_count = 0;
  std::size_t first_child = 0;
  std::size_t child_count = 0;
};

// Size of the UTF-16 area a text is converted in before it is copied out.
inline constexpr std::size_t kXmlConvertCapacity = 4096;

class qvXml {
 public:
  qvXml() = default;
  qvXml(const qvXml&) = delete;
  qvXml& operator=(const qvXml&) = delete;
  ~qvXml() { Close(); }

  bool Open(const char16_t* path);
  // The same from bytes in memory (for tools and fuzzing); not logged.
  bool OpenBuffer(const void* bytes, std::size_t length);
  // The destination (`capacity` units) always receives a string: the text
  // at the path, or `fallback` when the path is not there. Texts are cut
  // to fit, never splitting a surrogate pair. Names are `const char*`.
  bool GetString(char16_t* destination, std::size_t capacity, const char16_t* fallback,
                 int count, ...);
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
  std::span<const XmlElement> GetTopElements() const;
  std::span<const XmlElement> GetChildren(const XmlElement& element) const;
  std::span<const XmlAttribute> GetAttributes(const XmlElement& element) const;
  // The reader of the last Open (its error code and text), or null.
  const qvXmlReader* GetReader() const { return reader_.get(); }

 private:
  bool Finish(int read_result);
  void BuildElements();
  std::span<const XmlElement> QueryStart() const;
  const XmlElement* FindPath(std::span<const XmlElement> members, const char* const* names,
                             int count, int index) const;

  std::unique_ptr<qvXmlReader> reader_;
  // Present after every Open; empty after a failed one.
  bool has_elements_ = false;
  std::size_t top_count_ = 0;  // the top elements are the first pool members
  std::vector<XmlElement> elements_;
  std::vector<XmlAttribute> attributes_;
  bool last_string_cut_ = false;
};
