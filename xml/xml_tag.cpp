// Splitting one tag into its name and attributes.
#include <algorithm>
#include <new>

#include "xml/ascii.h"
#include "xml/xml_reader.h"

bool qvXmlReader::SplitTag(std::string_view token, Tag* tag, std::string_view opener,
                           std::string_view closer) {
  tag->name = {};
  tag->attributes.clear();
  if (token.size() < opener.size() || !EqualAsciiNoCase(token.substr(0, opener.size()), opener)) {
    RecordError(u"タグではありません。");
    return false;
  }
  if (token.size() >= closer.size() &&
      !EqualAsciiNoCase(token.substr(token.size() - closer.size()), closer)) {
    RecordError(u"タグ定義に誤りがあります。");
    return false;
  }
  // Opener and closer may overlap in a very short token ("<?>").
  std::size_t end = token.size() >= closer.size() ? token.size() - closer.size() : token.size();
  std::string_view inside =
      end > opener.size() ? token.substr(opener.size(), end - opener.size()) : std::string_view{};

  std::size_t position = ReadWord(inside, 0, &tag->name);
  if (tag->name.empty()) {
    RecordError(u"不正なタグです。");
    return false;
  }
  while (ReadAttribute(inside, &position, tag)) {
  }
  // Lists run in reverse document order: the last attribute comes first.
  std::reverse(tag->attributes.begin(), tag->attributes.end());
  return true;
}

// Words end only at a space: after the input is prepared, tabs and line
// feeds are spaces already. No UTF-8 continuation byte or Shift-JIS trail
// byte is a space, so stopping at the first space byte is the same as
// stepping by characters; a byte that starts no valid sequence is simply
// one character.
std::size_t qvXmlReader::ReadWord(std::string_view text, std::size_t position,
                                  std::string_view* word) {
  std::size_t start = position;
  while (start < text.size() && text[start] == ' ') ++start;
  if (start >= text.size()) {
    *word = {};
    return position;
  }
  std::size_t end = text.find(' ', start);
  if (end == std::string_view::npos) end = text.size();
  *word = text.substr(start, end - start);
  return end;
}

// name="value" or name='value' as one word. The value runs to the quote
// that opened it, which must be the word's last byte, or to the end of the
// word. Quotes are below 0x40, so no Shift-JIS pair can hide one. A budget
// that refuses the room is an allocation failure like the system's: it
// unwinds to the read's guard.
bool qvXmlReader::ReadAttribute(std::string_view text, std::size_t* position, Tag* tag) {
  std::string_view word;
  std::size_t after = ReadWord(text, *position, &word);
  if (word.empty()) return false;
  std::size_t equals = word.find('=');
  if (equals == std::string_view::npos) return false;
  std::string_view name = word.substr(0, equals);
  char quote = equals + 1 < word.size() ? word[equals + 1] : '\0';
  if (quote != '"' && quote != '\'') {
    RecordErrorNaming(u"属性(%s)の値が不正です。", name);
    return false;
  }
  std::string_view rest = word.substr(equals + 2);
  std::size_t close = rest.find(quote);
  if (close != std::string_view::npos && close + 1 != rest.size()) {
    RecordErrorNaming(u"属性(%s)の値が不正です。", name);
    return false;
  }
  if (!budget_.Append(&tag->attributes, XmlAttribute(name, rest.substr(0, close))))
    throw std::bad_alloc();
  *position = after;
  return true;
}

bool qvXmlReader::GetAttribute(std::span<const XmlAttribute> attributes, std::string_view name,
                               std::string_view* value) {
  for (const XmlAttribute& attribute : attributes) {
    if (EqualAsciiNoCase(attribute.Name(), name)) {
      if (value) *value = attribute.Value();
      return true;
    }
  }
  return false;
}
