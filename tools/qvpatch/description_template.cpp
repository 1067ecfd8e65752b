#include "tools/qvpatch/description_template.h"

#include <cstdio>

#include "tools/common/failure.h"
#include "tools/common/utf.h"

namespace {

struct Span {
  std::size_t begin = 0;
  std::size_t end = 0;  // one past
};

// The text split as the updater's reader splits it: a "<" starts a token,
// a ">" ends one. Tokens from a "<!--" to the next that ends with "-->"
// are a comment and left out; the rest that start with "<" are tags.
std::vector<Span> FindTags(std::string_view text) {
  std::vector<Span> tokens;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
    if (text[i] == '<') {
      if (i != start) tokens.push_back({start, i});
      start = i;
    } else if (text[i] == '>') {
      tokens.push_back({start, i + 1});
      start = i + 1;
    }
  }
  std::vector<Span> tags;
  bool in_comment = false;
  for (const Span& token : tokens) {
    const std::string_view body = text.substr(token.begin, token.end - token.begin);
    if (!in_comment && body.starts_with("<!--")) in_comment = true;
    if (!in_comment && body.starts_with("<")) tags.push_back(token);
    if (in_comment && body.ends_with("-->")) in_comment = false;
  }
  return tags;
}

// "name" of "<name attr=...>", "/name" of an end tag.
std::string_view TagName(std::string_view text, const Span& tag) {
  std::string_view body = text.substr(tag.begin + 1, tag.end - tag.begin - 1);
  if (!body.ends_with(">")) return {};
  body.remove_suffix(1);
  const std::size_t blank = body.find_first_of(" \t\r\n");
  return blank == std::string_view::npos ? body : body.substr(0, blank);
}

bool IsMarkup(std::string_view name) { return name.starts_with("?") || name.starts_with("!"); }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Where the line of `at` starts when only blanks stand before `at` on it;
// npos otherwise.
std::size_t BlankLineStart(std::string_view text, std::size_t at) {
  std::size_t start = at;
  while (start > 0 && IsBlank(text[start - 1])) --start;
  return start == 0 || text[start - 1] == '\n' ? start : std::string_view::npos;
}

// Past the end of the line of `at` when only blanks follow `at` on it;
// npos otherwise.
std::size_t BlankLineEnd(std::string_view text, std::size_t at) {
  std::size_t end = at;
  while (end < text.size() && IsBlank(text[end])) ++end;
  if (end == text.size()) return end;
  return text[end] == '\n' ? end + 1 : std::string_view::npos;
}

std::string Indentation(std::string_view text, std::size_t at) {
  const std::size_t start = BlankLineStart(text, at);
  return start == std::string_view::npos ? "" : std::string(text.substr(start, at - start));
}

}  // namespace

bool WriteDeleteList(std::string_view text, const std::vector<std::u16string>& entries,
                     std::string* description, std::string* error) {
  const std::vector<Span> tags = FindTags(text);
  std::vector<std::string_view> open;  // element names, outermost first
  std::vector<Span> lists;             // the <delete> elements to remove
  std::size_t list_begin = 0;
  Span document_end{};
  bool document_seen = false;
  for (const Span& tag : tags) {
    const std::string_view name = TagName(text, tag);
    if (name.empty()) return Fail(error, "the template has a \"<\" that opens no tag");
    if (IsMarkup(name)) continue;
    if (name.starts_with("/")) {
      if (open.empty() || name.substr(1) != open.back())
        return Fail(error, "the template's end tag <" + std::string(name) + "> closes nothing open");
      open.pop_back();
      if (open.size() == 1 && name == "/delete") lists.push_back({list_begin, tag.end});
      if (open.empty()) {
        document_end = tag;
        break;
      }
      continue;
    }
    if (open.empty()) {
      if (document_seen) break;
      if (name != "document") return Fail(error, "the template's top element is not <document>");
      document_seen = true;
    }
    if (open.size() == 1 && name == "delete") list_begin = tag.begin;
    open.push_back(name);
  }
  if (!document_seen) return Fail(error, "the template has no <document> element");
  if (document_end.end == 0) return Fail(error, "the template's <document> element is not closed");

  // What goes: each list, with its line when it stands alone on one.
  std::vector<Span> removed;
  bool own_line = false;
  for (const Span& list : lists) {
    const std::size_t begin = BlankLineStart(text, list.begin);
    const std::size_t end = BlankLineEnd(text, list.end);
    const bool alone = begin != std::string_view::npos && end != std::string_view::npos;
    if (removed.empty()) own_line = alone;
    removed.push_back(alone ? Span{begin, end} : list);
  }
  std::size_t insert_at = lists.empty() ? document_end.begin : removed.front().begin;
  const std::string indent = lists.empty() ? Indentation(text, document_end.begin) + "  "
                                     : Indentation(text, lists.front().begin);
  if (lists.empty() && BlankLineStart(text, document_end.begin) != std::string_view::npos) {
    own_line = true;
    insert_at = BlankLineStart(text, document_end.begin);
  }
  const std::string line_end = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";

  std::string list;
  if (!entries.empty()) {
    list = (own_line ? indent : "") + "<delete>" + line_end;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::string entry = ToUtf8(entries[i]);
      if (entry.empty() || entry.find_first_of("<>") != std::string::npos ||
          entry.front() == ' ' || entry.back() == ' ')
        return Fail(error, "the delete entry \"" + entry + "\" cannot be written in the description");
      char tag[24];
      std::snprintf(tag, sizeof tag, "p%02zu", i + 1);
      list += indent + "  <" + tag + ">" + entry + "</" + tag + ">" + line_end;
    }
    list += indent + "</delete>" + (own_line ? line_end : "");
  }

  description->clear();
  std::size_t copied = 0;
  for (const Span& span : removed) {
    description->append(text.substr(copied, span.begin - copied));
    if (span.begin == insert_at) description->append(list);
    copied = span.end;
  }
  if (lists.empty()) {
    description->append(text.substr(0, insert_at));
    description->append(list);
    copied = insert_at;
  }
  description->append(text.substr(copied));
  return true;
}
