#include "xml/xml_reader.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "file/native_file.h"
#include "system/private_heap.h"
#include "util/format.h"
#include "util/text_convert.h"
#include "xml/ascii.h"

namespace {

// Spare zero bytes behind the prepared input.
constexpr std::size_t kInputPadding = 8;

}  // namespace

qvXmlReader::~qvXmlReader() { ReleaseInput(); }

void qvXmlReader::RecordError(const char16_t* format, ...) {
  char16_t message[kFixedConvertCapacity];
  va_list arguments;
  va_start(arguments, format);
  FormatWideV(message, kFixedConvertCapacity, format, arguments);
  va_end(arguments);
  char converted[kFixedConvertCapacity];
  if (WideToShiftJis(converted, sizeof converted, message) <= 0) converted[0] = '\0';
  CutShiftJis(converted, kXmlErrorTextCapacity - 1);
  std::memcpy(error_text_, converted, std::strlen(converted) + 1);
}

void qvXmlReader::RecordErrorNaming(const char16_t* format, std::string_view utf8_name) {
  char16_t name[kXmlErrorTextCapacity];
  const std::string bytes(utf8_name);
  Utf8ToWide(bytes.c_str(), name, kXmlErrorTextCapacity);
  RecordError(format, name);
}

int qvXmlReader::Finish(int code) {
  ReleaseInput();
  tokens_.clear();
  tokens_.shrink_to_fit();
  error_code_ = code;
  return code;
}

void qvXmlReader::ClearTree() {
  root_ = XmlNode{};
  nodes_.Clear();
  attributes_.Clear();
}

void qvXmlReader::ReleaseInput() {
  PrivateFree(input_);
  input_ = nullptr;
  input_length_ = 0;
}

int qvXmlReader::ReadFile(const char16_t* path) {
  tokens_.clear();
  error_text_[0] = '\0';
  const char16_t* name = path ? path : u"";

  qvFile file;
  if (!path || !file.Open(path, QVFILE_READ | QVFILE_OPEN_EXISTING)) {
    RecordError(u"ファイル %s のオープンに失敗しました。", name);
    return Finish(kXmlOpenFailed);
  }
  std::int32_t size = file.GetSize();
  std::unique_ptr<char[]> buffer;
  if (size >= 0) buffer.reset(new (std::nothrow) char[static_cast<std::size_t>(size) + 1]);
  if (!buffer || file.Read(buffer.get(), static_cast<std::uint32_t>(size)) != size) {
    file.Close();
    RecordError(u"ファイル %s の読み込みに失敗しました。", name);
    return Finish(kXmlReadFailed);
  }
  file.Close();
  return ReadBuffer(buffer.get(), static_cast<std::size_t>(size));
}

// Copies the bytes into a zeroed private-heap block, turning every CR LF
// into LF and ending the input at its first zero byte.
bool qvXmlReader::PrepareInput(const unsigned char* bytes, std::size_t length) {
  if (length > UINT32_MAX - kInputPadding) return false;
  input_ = static_cast<char*>(PrivateAlloc(0, length + kInputPadding));
  if (!input_) return false;
  std::size_t written = 0;
  std::size_t markup = 0;
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char byte = bytes[i];
    if (byte == 0) break;
    if (byte == '\r' && i + 1 < length && bytes[i + 1] == '\n') continue;
    markup += (byte == '<') + (byte == '>');
    input_[written++] = static_cast<char>(byte);
  }
  std::memset(input_ + written, 0, length + kInputPadding - written);
  input_length_ = static_cast<std::uint32_t>(written);
  markup_count_ = markup;
  return true;
}

int qvXmlReader::ReadBuffer(const void* bytes, std::size_t length) {
  ReleaseInput();
  tokens_.clear();
  ClearTree();
  error_text_[0] = '\0';
  if (!bytes) {
    RecordError(u"読み込みバッファが無効です。");
    return Finish(kXmlNoBuffer);
  }
  if (!PrepareInput(static_cast<const unsigned char*>(bytes), length)) {
    // No input block (out of memory, or beyond 4 GiB): as good as no buffer.
    RecordError(u"読み込みバッファが無効です。");
    return Finish(kXmlNoBuffer);
  }
  Tokenize();
  if (!CheckDeclaration()) {
    RecordError(u"読み込みできない形式のファイルです。");
    return Finish(kXmlBadFormat);
  }
  RemoveComments();
  for (std::size_t i = 1; i < tokens_.size(); ++i) {
    if (tokens_[i].length > 0 && input_[tokens_[i].offset] == '<')
      return Finish(ParseElement(&root_, i));
  }
  return Finish(kXmlReadOk);
}

// The list alternates between tags ("<" to the next ">") and the text
// between them. All markup bytes are below 0x40, which no Shift-JIS trail
// byte and no UTF-8 continuation byte is, so a byte walk finds the same
// boundaries as a walk by characters.
void qvXmlReader::Tokenize() {
  // Each "<" and each ">" emits at most one token.
  tokens_.reserve(markup_count_);
  char* text = input_;
  std::uint32_t start = 0;
  for (std::uint32_t i = 0; i < input_length_; ++i) {
    char c = text[i];
    if (c == '\t' || c == '\n') {
      text[i] = ' ';
    } else if (c == '<') {
      if (i != 0) tokens_.push_back({start, i - start});
      start = i;
    } else if (c == '>') {
      if (i != 0) tokens_.push_back({start, i + 1 - start});
      start = i + 1;
    }
  }
  // Text after the last ">" is not kept.
}

bool qvXmlReader::CheckDeclaration() {
  if (tokens_.empty()) return false;
  std::size_t mark = attributes_.Size();
  XmlNode declaration;
  std::string version;
  std::string encoding;
  bool ok = SplitTag(TokenText(tokens_[0]), &declaration, "<?", "?>") &&
            declaration.name == "xml" &&
            GetAttribute(&declaration, "version", &version) &&
            GetAttribute(&declaration, "encoding", &encoding);
  attributes_.Truncate(mark);
  return ok && EqualAsciiNoCase(version, "1.0") && EqualAsciiNoCase(encoding, "UTF-8");
}

// One pass; an opened comment that is ended drops every token from its
// opener through its closer. A "-->" with no comment open is ordinary text.
void qvXmlReader::RemoveComments() {
  constexpr std::size_t kNone = SIZE_MAX;
  std::size_t kept = 0;
  std::size_t open = kNone;
  for (std::size_t i = 0; i < tokens_.size(); ++i) {
    std::string_view token = TokenText(tokens_[i]);
    if (open == kNone && token.starts_with("<!--")) open = kept;
    tokens_[kept++] = tokens_[i];
    if (open != kNone && token.ends_with("-->")) {
      kept = open;
      open = kNone;
    }
  }
  tokens_.resize(kept);
}

XmlNode* qvXmlReader::NewNode(XmlNode* parent) {
  XmlNode& node = nodes_.Add();
  node.parent = parent;
  node.next = parent->first_child;
  if (node.next) node.next->previous = &node;
  parent->first_child = &node;
  return &node;
}

// Walks the tokens with an explicit chain of open elements (each node's
// parent), so nesting depth costs no stack.
int qvXmlReader::ParseElement(XmlNode* parent, std::size_t start_token) {
  XmlNode* const element = NewNode(parent);
  if (!SplitTag(TokenText(tokens_[start_token]), element, "<", ">")) return kXmlBadTag;
  XmlNode* current = element;
  for (std::size_t i = start_token + 1; i < tokens_.size(); ++i) {
    std::string_view token = TokenText(tokens_[i]);
    if (token.empty() || token[0] != '<') {
      current->text.append(token);
      continue;
    }
    std::size_t mark = attributes_.Size();
    XmlNode tag;
    if (!SplitTag(token, &tag, "<", ">")) return kXmlBadTag;
    if (tag.name[0] == '/') {
      attributes_.Truncate(mark);
      if (std::string_view(tag.name).substr(1) != current->name) {
        RecordErrorNaming(u"タグ終端<%s>が不正です。", tag.name);
        return kXmlBadEndTag;
      }
      if (current == element) return kXmlReadOk;
      current = current->parent;
      continue;
    }
    XmlNode* child = NewNode(current);
    child->name = std::move(tag.name);
    child->first_attribute = tag.first_attribute;
    current = child;
  }
  // Out of tokens: every open element ends with what it has.
  return kXmlReadOk;
}
