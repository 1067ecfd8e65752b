#include "xml/xml_reader.h"

#include <cstdarg>
#include <cstring>
#include <new>

#include "file/native_file.h"
#include "base/private_heap.h"
#include "base/format.h"
#include "base/text_convert.h"
#include "xml/ascii.h"
#include "xml/xml_tokens.h"

namespace {

// Spare zero bytes behind the prepared input.
constexpr std::size_t kInputPadding = 8;

std::size_t LimitFor(XmlMemoryLimit limit, std::size_t length) {
  if (limit.per_input_byte == 0) return SIZE_MAX;
  if (length > (SIZE_MAX - limit.allowance) / limit.per_input_byte) return SIZE_MAX;
  return length * limit.per_input_byte + limit.allowance;
}

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
  char bytes[kXmlErrorTextCapacity * 3];
  const std::size_t length = utf8_name.size() < sizeof bytes ? utf8_name.size() : sizeof bytes - 1;
  std::memcpy(bytes, utf8_name.data(), length);
  bytes[length] = '\0';
  Utf8ToWide(bytes, name, kXmlErrorTextCapacity);
  RecordError(format, name);
}

// Every read starts from nothing: no tree, no error, nothing charged.
void qvXmlReader::Reset() {
  ReleaseInput();
  tree_.Clear();
  budget_ = MemoryBudget();
  error_text_[0] = '\0';
}

template <typename Step>
int qvXmlReader::Guarded(Step&& step) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    return Finish(OutOfMemory());
  }
}

// The transient parts go; a failed read leaves no tree behind.
int qvXmlReader::Finish(int code) {
  ReleaseInput();
  budget_.Free(&text_pieces_);
  budget_.Free(&children_);
  budget_.Free(&tag_.attributes);
  tag_.name = {};
  if (code != kXmlReadOk) tree_.Clear();
  error_code_ = code;
  return code;
}

int qvXmlReader::OutOfMemory() {
  RecordError(u"メモリが確保出来ませんでした。");
  return kXmlOutOfMemory;
}

// The input block also sets the read's limit, which depends on its length.
bool qvXmlReader::AllocateInput(std::size_t length) {
  budget_ = MemoryBudget(LimitFor(limit_, length));
  if (length > UINT32_MAX - kInputPadding) return false;
  const std::size_t size = length + kInputPadding;
  if (!budget_.Charge(size)) return false;
  input_ = static_cast<char*>(PrivateAlloc(0, size));
  if (!input_) return false;
  input_charge_ = size;
  input_length_ = static_cast<std::uint32_t>(length);
  return true;
}

void qvXmlReader::ReleaseInput() {
  PrivateFree(input_);
  input_ = nullptr;
  budget_.Release(input_charge_);
  input_charge_ = 0;
  input_length_ = 0;
}

int qvXmlReader::ReadFile(const char16_t* path) {
  return Guarded([&] {
    Reset();
    const char16_t* name = path ? path : u"";
    qvFile file;
    if (!path || !file.Open(path, QVFILE_READ | QVFILE_OPEN_EXISTING)) {
      RecordError(u"ファイル %s のオープンに失敗しました。", name);
      return Finish(kXmlOpenFailed);
    }
    const std::int32_t size = file.GetSize();
    if (size < 0) {
      RecordError(u"ファイル %s の読み込みに失敗しました。", name);
      return Finish(kXmlReadFailed);
    }
    // The file is read straight into the block that is parsed.
    if (!AllocateInput(static_cast<std::size_t>(size))) return Finish(OutOfMemory());
    if (file.Read(input_, static_cast<std::uint32_t>(size)) != size) {
      RecordError(u"ファイル %s の読み込みに失敗しました。", name);
      return Finish(kXmlReadFailed);
    }
    file.Close();
    return Finish(Parse(static_cast<std::size_t>(size)));
  });
}

int qvXmlReader::ReadBuffer(const void* bytes, std::size_t length) {
  return Guarded([&] {
    Reset();
    if (!bytes) {
      RecordError(u"読み込みバッファが無効です。");
      return Finish(kXmlNoBuffer);
    }
    if (!AllocateInput(length)) return Finish(OutOfMemory());
    std::memcpy(input_, bytes, length);
    return Finish(Parse(length));
  });
}

// In place: every CR LF becomes LF, then every tab and LF a blank; the
// input ends at its first zero byte. A lone CR stays.
void qvXmlReader::PrepareInput(std::size_t length) {
  std::size_t written = 0;
  for (std::size_t i = 0; i < length; ++i) {
    char byte = input_[i];
    if (byte == '\0') break;
    if (byte == '\r' && i + 1 < length && input_[i + 1] == '\n') continue;
    if (byte == '\t' || byte == '\n') byte = ' ';
    input_[written++] = byte;
  }
  std::memset(input_ + written, 0, length + kInputPadding - written);
  input_length_ = static_cast<std::uint32_t>(written);
}

// Only the first element is read: whatever follows its end tag is ignored,
// and so is text before it.
int qvXmlReader::Parse(std::size_t length) {
  PrepareInput(length);
  XmlTokens tokens({input_, input_length_});
  std::string_view token;
  if (!tokens.NextRaw(&token) || !CheckDeclaration(token)) {
    RecordError(u"読み込みできない形式のファイルです。");
    return kXmlBadFormat;
  }
  while (tokens.Next(&token)) {
    if (!token.empty() && token[0] == '<') {
      if (int code = ParseElement(&tokens, token)) return code;
      break;
    }
  }
  // The element is complete: its text is copied, the input can go before
  // the name order is made.
  ReleaseInput();
  if (!tree_.SetTop(children_) || !tree_.Finish()) return OutOfMemory();
  return kXmlReadOk;
}

bool qvXmlReader::CheckDeclaration(std::string_view token) {
  std::string_view version;
  std::string_view encoding;
  return SplitTag(token, &tag_, "<?", "?>") && tag_.name == "xml" &&
         GetAttribute(tag_.attributes, "version", &version) &&
         GetAttribute(tag_.attributes, "encoding", &encoding) && EqualAsciiNoCase(version, "1.0") &&
         EqualAsciiNoCase(encoding, "UTF-8");
}

// The new element is a child of the innermost open one (or the top one).
bool qvXmlReader::OpenChild(std::vector<OpenElement>* open) {
  std::uint32_t number = 0;
  return tree_.AddElement(tag_.name, tag_.attributes, &number) &&
         budget_.Append(&children_, number) &&
         budget_.Append(open, OpenElement{number, text_pieces_.size(), children_.size()});
}

// The texts and children gathered since the element opened become its own.
bool qvXmlReader::Close(const OpenElement& element) {
  const std::span<const std::string_view> pieces(text_pieces_.data() + element.first_piece,
                                                 text_pieces_.size() - element.first_piece);
  const std::span<const std::uint32_t> children(children_.data() + element.first_child,
                                                children_.size() - element.first_child);
  if (!tree_.SetText(element.number, pieces) || !tree_.SetChildren(element.number, children))
    return false;
  text_pieces_.resize(element.first_piece);
  children_.resize(element.first_child);
  return true;
}

// The open elements are a stack of their own, so nesting depth costs no
// call stack. An end tag is matched only against the innermost element.
int qvXmlReader::ParseElement(XmlTokens* tokens, std::string_view start_tag) {
  std::vector<OpenElement> open;
  int code = kXmlReadOk;
  if (!SplitTag(start_tag, &tag_, "<", ">")) return kXmlBadTag;
  if (!OpenChild(&open)) code = OutOfMemory();
  std::string_view token;
  while (code == kXmlReadOk && !open.empty() && tokens->Next(&token)) {
    if (token.empty() || token[0] != '<') {
      if (!token.empty() && !budget_.Append(&text_pieces_, token)) code = OutOfMemory();
    } else if (!SplitTag(token, &tag_, "<", ">")) {
      code = kXmlBadTag;
    } else if (tag_.name[0] != '/') {
      if (!OpenChild(&open)) code = OutOfMemory();
    } else if (tag_.name.substr(1) != tree_.Element(open.back().number).Name()) {
      RecordErrorNaming(u"タグ終端<%s>が不正です。", tag_.name);
      code = kXmlBadEndTag;
    } else if (!Close(open.back())) {
      code = OutOfMemory();
    } else {
      open.pop_back();
    }
  }
  // Out of tokens: every open element ends with what it has.
  for (; code == kXmlReadOk && !open.empty(); open.pop_back()) {
    if (!Close(open.back())) code = OutOfMemory();
  }
  budget_.Free(&open);
  return code;
}
