// qvXmlReader: a small, tolerant reader for the engine's own UTF-8 XML
// files. It splits the input into tag and text tokens, drops comments and
// builds a linked tree of the first element. Entities, CDATA, document type
// declarations and empty-element tags are not recognised; their characters
// stay in texts or are read as ordinary tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "xml/chunked_pool.h"

struct XmlNodeAttribute {
  std::string name;
  std::string value;
  XmlNodeAttribute* next = nullptr;
};

// New children and attributes are linked at the head of their chains, so
// every chain runs in reverse document order.
struct XmlNode {
  XmlNode* parent = nullptr;
  XmlNode* first_child = nullptr;
  XmlNode* previous = nullptr;
  XmlNode* next = nullptr;
  std::string name;
  std::string text;
  XmlNodeAttribute* first_attribute = nullptr;
};

enum XmlReadResult : int {
  kXmlReadOk = 0,
  kXmlOpenFailed = 1,
  kXmlReadFailed = 2,
  kXmlNoBuffer = 3,
  kXmlBadFormat = 4,
  kXmlBadTag = 5,
  kXmlBadEndTag = 6,
};

inline constexpr std::size_t kXmlErrorTextCapacity = 512;

class qvXmlReader {
 public:
  qvXmlReader() = default;
  qvXmlReader(const qvXmlReader&) = delete;
  qvXmlReader& operator=(const qvXmlReader&) = delete;
  ~qvXmlReader();

  // Both return the error code and also keep it (GetErrorCode). A read
  // starts from an empty tree.
  int ReadFile(const char16_t* path);
  int ReadBuffer(const void* bytes, std::size_t length);

  // A node with empty name and text whose children are the top elements.
  const XmlNode* GetRootNode() const { return &root_; }
  // First attribute of the chain whose name equals `name` ignoring ASCII
  // case; `value` may be null.
  static bool GetAttribute(const XmlNode* node, std::string_view name,
                           std::string* value);

  // Nodes and attributes of the tree, the root not counted.
  std::size_t GetNodeCount() const { return nodes_.Size(); }
  std::size_t GetAttributeCount() const { return attributes_.Size(); }

  int GetErrorCode() const { return error_code_; }
  // The message of the last error recorded by the last read, Shift-JIS,
  // cut to 511 bytes on a character boundary. Attribute errors are recorded
  // without failing the read, so a successful read may leave one here.
  const char* GetErrorText() const { return error_text_; }

 private:
  // A token is a span of the prepared input, which files limit to 32 bits.
  struct Token {
    std::uint32_t offset;
    std::uint32_t length;
  };

  int Finish(int code);
  void ClearTree();
  void ReleaseInput();
  bool PrepareInput(const unsigned char* bytes, std::size_t length);
  std::string_view TokenText(const Token& token) const {
    return {input_ + token.offset, token.length};
  }

  void Tokenize();
  bool CheckDeclaration();
  void RemoveComments();
  int ParseElement(XmlNode* parent, std::size_t start_token);

  bool SplitTag(std::string_view token, XmlNode* node, std::string_view opener,
                std::string_view closer);
  static std::size_t ReadWord(std::string_view text, std::size_t position,
                              std::string_view* word);
  bool ReadAttribute(std::string_view text, std::size_t* position,
                     XmlNodeAttribute* attribute);

  XmlNode* NewNode(XmlNode* parent);
  // The message becomes the error text in Shift-JIS, like every 8-bit text
  // of the library; `format` takes UTF-16 arguments.
  void RecordError(const char16_t* format, ...);
  // The same with one name from the file (UTF-8) for its "%s".
  void RecordErrorNaming(const char16_t* format, std::string_view utf8_name);

  XmlNode root_;
  // Owners of every node and attribute; chains point into them.
  ChunkedPool<XmlNode> nodes_;
  ChunkedPool<XmlNodeAttribute> attributes_;
  std::vector<Token> tokens_;
  int error_code_ = kXmlReadOk;
  char error_text_[kXmlErrorTextCapacity] = {};
  // The prepared input, a private-heap block; live only during a read.
  char* input_ = nullptr;
  std::uint32_t input_length_ = 0;
  // "<" and ">" bytes of the input: an upper bound of the token count.
  std::size_t markup_count_ = 0;
};
