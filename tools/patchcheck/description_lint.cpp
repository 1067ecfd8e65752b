#include "tools/patchcheck/description_lint.h"

#include <cstdio>
#include <cstring>

#include "app/patch_check_texts.h"
#include "tools/common/utf.h"
#include "util/integer.h"
#include "base/text_convert.h"
#include "xml/xml.h"

namespace {

std::string AtLine(std::size_t line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

// Short excerpt of markup for a message, on one line.
std::string Excerpt(std::string_view text) {
  constexpr std::size_t kLimit = 40;
  std::string out;
  for (char c : text.substr(0, kLimit)) out += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
  if (text.size() > kLimit) out += "...";
  return out;
}

bool IsNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '#';
}

// "&name;" or "&#123;" at `at`.
std::size_t EntityLength(std::string_view text, std::size_t at) {
  std::size_t end = at + 1;
  while (end < text.size() && end - at <= 32 && IsNameByte(text[end])) ++end;
  if (end == at + 1 || end >= text.size() || text[end] != ';') return 0;
  return end + 1 - at;
}

class ByteLinter {
 public:
  ByteLinter(std::string_view bytes, std::vector<std::string>* warnings)
      : text_(bytes), warnings_(warnings) {}

  void Run() {
    CheckStart();
    std::size_t position = 0;
    while (position < text_.size()) {
      std::size_t open = text_.find('<', position);
      CheckEntities(position, open == std::string_view::npos ? text_.size() : open);
      if (open == std::string_view::npos) break;
      position = CheckMarkup(open);
    }
  }

 private:
  std::size_t LineOf(std::size_t offset) {
    for (; counted_ < offset && counted_ < text_.size(); ++counted_)
      if (text_[counted_] == '\n') ++line_;
    return line_;
  }
  void Warn(std::size_t offset, const std::string& what) {
    warnings_->push_back(AtLine(LineOf(offset), what));
  }

  void CheckStart() {
    std::size_t start = 0;
    if (text_.starts_with("\xEF\xBB\xBF")) {
      warnings_->push_back("byte-order mark before the XML declaration: the updater refuses "
                           "the file; save it as UTF-8 without a byte-order mark");
      start = 3;
    }
    if (start < text_.size() && std::strchr(" \t\r\n", text_[start])) {
      warnings_->push_back("blank line or blanks before the XML declaration: the updater "
                           "refuses the file; the declaration must be the very first text");
    }
  }

  void CheckEntities(std::size_t begin, std::size_t end) {
    for (std::size_t at = text_.find('&', begin); at < end; at = text_.find('&', at + 1)) {
      if (std::size_t length = EntityLength(text_, at)) {
        Warn(at, "entity reference " + std::string(text_.substr(at, length)) +
                     " stays as these characters: the updater does not replace entities");
      }
    }
  }

  // Returns the offset behind the markup that starts at `open`.
  std::size_t CheckMarkup(std::size_t open) {
    std::string_view rest = text_.substr(open);
    if (rest.starts_with("<!--")) {
      std::size_t close = text_.find("-->", open + 4);
      return close == std::string_view::npos ? text_.size() : close + 3;
    }
    if (rest.starts_with("<![CDATA[")) {
      Warn(open, "CDATA section: the updater does not know it and reads it as a tag; "
                 "write the text plainly");
      std::size_t close = text_.find("]]>", open);
      return close == std::string_view::npos ? text_.size() : close + 3;
    }
    std::size_t close = text_.find('>', open);
    std::size_t end = close == std::string_view::npos ? text_.size() : close + 1;
    std::string_view tag = text_.substr(open, end - open);
    if (tag.starts_with("<!DOCTYPE") || tag.starts_with("<!doctype")) {
      Warn(open, "document type declaration: the updater reads it as the top element, so "
                 "<document> is no longer found; remove it");
    } else if (tag.ends_with("/>") && !tag.starts_with("<?")) {
      Warn(open, "empty-element tag " + Excerpt(tag) +
                     ": the updater reads it as a start tag whose name ends with \"/\"; "
                     "write a start and an end tag");
    }
    CheckAttributeValues(open, end);
    return end;
  }

  void CheckAttributeValues(std::size_t begin, std::size_t end) {
    for (std::size_t at = begin; at < end; ++at) {
      if (text_[at] != '=' || at + 1 >= end || (text_[at + 1] != '"' && text_[at + 1] != '\''))
        continue;
      char quote = text_[at + 1];
      std::size_t close = text_.find(quote, at + 2);
      if (close == std::string_view::npos || close >= end) return;
      std::string_view value = text_.substr(at + 2, close - at - 2);
      if (value.find_first_of(" \t\r\n") != std::string_view::npos) {
        Warn(at, "attribute value \"" + Excerpt(value) +
                     "\" holds a blank: the updater ends the value at the first blank "
                     "and ignores the rest of the tag");
      }
      CheckEntities(at + 2, close);
      at = close;
    }
  }

  std::string_view text_;
  std::vector<std::string>* warnings_;
  std::size_t counted_ = 0;
  std::size_t line_ = 1;
};

// The number in "lang07" / "p12" when the name is prefix and digits.
bool NumberedName(std::string_view name, std::string_view prefix, int* number) {
  if (!name.starts_with(prefix) || name.size() == prefix.size() || name.size() > prefix.size() + 9)
    return false;
  int value = 0;
  for (char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  *number = value;
  return true;
}

std::string Numbered(const char* format, int number) {
  char name[32];
  std::snprintf(name, sizeof name, format, number);
  return name;
}

// Children of the `group` element named like the entries of a numbered
// list that the updater's scan does not reach: it stops at `stop`.
void LintNumbered(const qvXml& xml, const char* group, const char* prefix, const char* format,
                  int stop, std::vector<std::string>* warnings) {
  const XmlElement* parent = xml.FindElement(&group, 1);
  if (!parent) return;
  const std::string where = std::string(group) + "/";
  for (const XmlElement& child : xml.GetChildren(*parent)) {
    const std::string name(child.Name());
    int number = 0;
    if (!NumberedName(name, prefix, &number)) continue;
    std::string expected = Numbered(format, number);
    if (name != expected) {
      warnings->push_back(where + name + " is never read: the updater looks for " + expected);
    } else if (number > stop) {
      warnings->push_back(where + name + " is ignored: the list stops at " +
                          Numbered(format, stop) + ", which is missing or empty");
    }
  }
}

// Where the updater's scans stop: the first lang without a usable code, the
// first p without text.
int LanguageScanEnd(const qvXml& xml) {
  for (int n = 0;; ++n) {
    std::string entry = Numbered("lang%02d", n);
    const char* path[] = {"language", entry.c_str(), "code"};
    const XmlElement* code = xml.FindElement(path, 3);
    if (!code || (ParseInteger(code->Text().data()) & 0xFFFF) == 0xFFFF) return n;
  }
}

int DeleteScanEnd(const qvXml& xml) {
  for (int n = 1;; ++n) {
    std::string entry = Numbered("p%02d", n);
    const char* path[] = {"delete", entry.c_str()};
    const XmlElement* element = xml.FindElement(path, 2);
    char16_t first[2];
    if (!element || Utf8ToWide(element->Text().data(), first, 2) == 0) return n;
  }
}

struct RecordText {
  const char* path;
  const char16_t* text;
  bool converted;
};

std::vector<RecordText> TextsOf(const LanguageRecord& r) {
  return {{"language/langNN/lang", r.lang, false},
          {"message/wndtitle", r.wndtitle, true},
          {"message/intoro", r.intoro, true},
          {"message/success", r.success, true},
          {"message/error_version", r.error_version, true},
          {"message/error_inst", r.error_inst, true},
          {"message/error_copy", r.error_copy, false},
          {"message_sys/sellang", r.sellang, false},
          {"message_sys/copying", r.copying, false},
          {"message_error/language", r.language, false},
          {"message_error/boot", r.boot, false},
          {"message_error/title", r.title, false}};
}

void LintLanguages(const UpdateInfo& info, std::vector<std::string>* warnings) {
  for (const auto& [key, stored] : info.languages) {
    LanguageRecord record;
    ExpandLanguage(stored, &record);
    std::string name = "language \"" + ToUtf8(key) + "\"";
    std::string missing;
    for (const RecordText& t : TextsOf(record)) {
      std::u16string_view text = t.text;
      if (text.empty()) {
        missing += (missing.empty() ? "" : ", ") + std::string(t.path);
      } else if (!t.converted && text.find(u"\\n") != std::u16string_view::npos) {
        warnings->push_back(name + ": " + t.path +
                            " holds \\n, which the updater shows as a backslash and an n "
                            "(only wndtitle, intoro, success, error_version and error_inst "
                            "turn it into a line break)");
      }
    }
    if (!missing.empty()) warnings->push_back(name + " has no text for " + missing);
  }
  if (!info.languages.empty() && !info.languages.count(info.default_)) {
    warnings->push_back("language/default \"" + ToUtf8(info.default_) +
                        "\" names no language: without a match for the user's UI language "
                        "the first language in key order (\"" +
                        ToUtf8(info.languages.begin()->first) + "\") is taken");
  }
}

// The optional texts of the data folder's boxes that a language leaves to
// the updater's built-in ones.
void LintOptionalTexts(const qvXml& xml, const UpdateInfo& info, std::vector<std::string>* warnings) {
  for (const auto& [key, stored] : info.languages) {
    std::string prifix = ToUtf8(key);
    std::string missing;
    for (const char* name : kPatchCheckTextNames) {
      const char* path[] = {prifix.c_str(), "message", name};
      const XmlElement* element = xml.FindElement(path, 3);
      if (!element || element->Text().empty())
        missing += (missing.empty() ? "" : ", ") + std::string(name);
    }
    if (!missing.empty()) {
      warnings->push_back("language \"" + prifix + "\" has no message/" + missing +
                          ": the updater shows its built-in " + BuiltInTextLanguage(stored.code) +
                          " texts there");
    }
  }
}

}  // namespace

void LintDescriptionBytes(std::string_view bytes, std::vector<std::string>* warnings) {
  ByteLinter(bytes, warnings).Run();
}

void LintDescriptionModel(const qvXml& xml, const UpdateInfo& info,
                          std::vector<std::string>* warnings) {
  auto top = xml.GetTopElements();
  if (top.size() == 1 && top[0].Name() != "document") {
    warnings->push_back("the top element is <" + std::string(top[0].Name()) +
                        ">, not <document>: every query then has to start with its name, so "
                        "the updater finds none of its elements");
  }
  LintNumbered(xml, "language", "lang", "lang%02d", LanguageScanEnd(xml), warnings);
  LintNumbered(xml, "delete", "p", "p%02d", DeleteScanEnd(xml), warnings);
  LintLanguages(info, warnings);
  LintOptionalTexts(xml, info, warnings);
}
