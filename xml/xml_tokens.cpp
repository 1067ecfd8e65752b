#include "xml/xml_tokens.h"

// "<" starts a token and ">" ends one, except as the very first byte: a
// "<" there starts the first token without ending an empty one, a ">"
// there is dropped. All markup bytes are below 0x40, which no Shift-JIS
// trail byte and no UTF-8 continuation byte is, so a byte walk finds the
// same boundaries as a walk by characters.
bool XmlTokens::NextRaw(std::string_view* token) {
  for (;;) {
    const std::size_t at = input_.find_first_of("<>", scan_);
    if (at == std::string_view::npos) return false;
    scan_ = at + 1;
    const bool opens = input_[at] == '<';
    if (at == 0) {
      start_ = opens ? 0 : 1;
      continue;
    }
    const std::size_t end = opens ? at : at + 1;
    *token = input_.substr(start_, end - start_);
    start_ = end;
    return true;
  }
}

// A comment opens at a token that starts with "<!--" and ends with the
// first token, from that one on, whose last three bytes are "-->". Such a
// token ends at the ">" of the first "-->" after the opener's "<": the two
// dashes before that ">" can be no token boundary.
bool XmlTokens::Next(std::string_view* token) {
  for (;;) {
    if (!NextRaw(token)) return false;
    if (!comments_end_ || !token->starts_with("<!--")) return true;
    const std::size_t opener = static_cast<std::size_t>(token->data() - input_.data());
    const std::size_t close = input_.find("-->", opener);
    if (close == std::string_view::npos) {
      // No later comment can end either.
      comments_end_ = false;
      return true;
    }
    scan_ = start_ = close + 3;
  }
}
