// The tokens of a prepared input, one at a time: tags (from "<" to the
// next ">") and the texts between them, with an empty text between two
// adjacent tags. Text after the last ">" is no token. Comments that end
// are skipped whole; a comment that never ends removes nothing.
#pragma once

#include <cstddef>
#include <string_view>

class XmlTokens {
 public:
  explicit XmlTokens(std::string_view input) : input_(input) {}
  // The next token with no comment skipped (for the declaration).
  bool NextRaw(std::string_view* token);
  bool Next(std::string_view* token);

 private:
  std::string_view input_;
  std::size_t scan_ = 0;      // where the search for "<" and ">" goes on
  std::size_t start_ = 0;     // where the current token began
  bool comments_end_ = true;  // false once a comment was found without an end
};
