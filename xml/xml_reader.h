// qvXmlReader: a small, tolerant reader for the engine's own UTF-8 XML
// files. It splits the input into tag and text tokens, drops comments and
// builds the element tree of the first element. Entities, CDATA, document
// type declarations and empty-element tags are not recognised; their
// characters stay in texts or are read as ordinary tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "util/memory_budget.h"
#include "xml/xml_tree.h"

enum XmlReadResult : int {
  kXmlReadOk = 0,
  kXmlOpenFailed = 1,
  kXmlReadFailed = 2,
  kXmlNoBuffer = 3,
  kXmlBadFormat = 4,
  kXmlBadTag = 5,
  kXmlBadEndTag = 6,
  // The document needs more memory than its limit allows, or than the
  // system gives.
  kXmlOutOfMemory = 7,
};

inline constexpr std::size_t kXmlErrorTextCapacity = 512;

// How much memory a read may hold at its peak, from the file's bytes to the
// finished tree: `per_input_byte` times the input's length plus
// `allowance`. A `per_input_byte` of 0 sets no limit.
struct XmlMemoryLimit {
  std::size_t per_input_byte = 0;
  std::size_t allowance = 0;
};

class qvXmlReader {
 public:
  qvXmlReader() = default;
  qvXmlReader(const qvXmlReader&) = delete;
  qvXmlReader& operator=(const qvXmlReader&) = delete;
  ~qvXmlReader();

  // Applies to the reads that follow.
  void SetMemoryLimit(XmlMemoryLimit limit) { limit_ = limit; }

  // Both return the error code and also keep it (GetErrorCode). A read
  // starts from an empty tree; a failed read leaves it empty.
  int ReadFile(const char16_t* path);
  int ReadBuffer(const void* bytes, std::size_t length);

  // The tree of the last successful read.
  const XmlTree& GetTree() const { return tree_; }
  // The attribute whose name equals `name` ignoring ASCII case, first in
  // list order (the last one in the tag); `value` may be null.
  static bool GetAttribute(std::span<const XmlAttribute> attributes, std::string_view name,
                           std::string_view* value);

  int GetErrorCode() const { return error_code_; }
  // The message of the last error recorded by the last read, Shift-JIS,
  // cut to 511 bytes on a character boundary. Attribute errors are recorded
  // without failing the read, so a successful read may leave one here.
  const char* GetErrorText() const { return error_text_; }
  // What the tree holds after a read, and how much more the read's limit
  // would allow (for a caller that builds on the tree within the same
  // limit).
  std::size_t GetMemoryUse() const { return budget_.Used(); }
  std::size_t GetMemoryLeft() const { return budget_.Left(); }

 private:
  // A tag split into its name and its attributes in list order, views of
  // the input.
  struct Tag {
    std::string_view name;
    std::vector<XmlAttribute> attributes;
  };
  // An element whose end tag has not come yet.
  struct OpenElement {
    std::uint32_t number;
    std::size_t first_piece;  // of its text, in text_pieces_
    std::size_t first_child;  // in children_
  };

  void Reset();
  // Runs a read step, turning an allocation failure into its code.
  template <typename Step>
  int Guarded(Step&& step);
  int Finish(int code);
  int OutOfMemory();
  bool AllocateInput(std::size_t length);
  void ReleaseInput();
  void PrepareInput(std::size_t length);
  int Parse(std::size_t length);

  bool CheckDeclaration(std::string_view token);
  int ParseElement(class XmlTokens* tokens, std::string_view start_tag);
  bool OpenChild(std::vector<OpenElement>* open);
  bool Close(const OpenElement& element);

  bool SplitTag(std::string_view token, Tag* tag, std::string_view opener, std::string_view closer);
  static std::size_t ReadWord(std::string_view text, std::size_t position, std::string_view* word);
  bool ReadAttribute(std::string_view text, std::size_t* position, Tag* tag);

  // The message becomes the error text in Shift-JIS, like every 8-bit text
  // of the library; `format` takes UTF-16 arguments.
  void RecordError(const char16_t* format, ...);
  // The same with one name from the file (UTF-8) for its "%s".
  void RecordErrorNaming(const char16_t* format, std::string_view utf8_name);

  XmlMemoryLimit limit_;
  MemoryBudget budget_;
  XmlTree tree_{&budget_};
  int error_code_ = kXmlReadOk;
  char error_text_[kXmlErrorTextCapacity] = {};

  // Live only during a read: the prepared input (a private-heap block), the
  // tag being split, the texts and children of the open elements.
  char* input_ = nullptr;
  std::size_t input_charge_ = 0;
  std::uint32_t input_length_ = 0;
  Tag tag_;
  std::vector<std::string_view> text_pieces_;
  std::vector<std::uint32_t> children_;
};
