#include "os/posix/wildcard.h"

#include <vector>

namespace os::posix {
namespace {

// Pattern elements after the translation FindFirstFile applies.
enum class Token : char16_t { kStar, kDosStar, kDosQm, kDosDot, kLiteral };

struct Element {
  Token token;
  char16_t literal;
};

std::vector<Element> Translate(std::u16string_view pattern) {
  if (pattern == u"*.*") pattern = u"*";
  std::vector<Element> elements;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char16_t c = pattern[i];
    char16_t next = i + 1 < pattern.size() ? pattern[i + 1] : 0;
    if (c == u'*') elements.push_back({next == u'.' ? Token::kDosStar : Token::kStar, 0});
    else if (c == u'?') elements.push_back({Token::kDosQm, 0});
    else if (c == u'.' && (next == u'*' || next == u'?')) elements.push_back({Token::kDosDot, 0});
    else elements.push_back({Token::kLiteral, c});
  }
  return elements;
}

char16_t Fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c; }

// Dynamic programming over (pattern position, name position): quadratic
// at worst, never exponential, whatever the pattern.
class Matcher {
 public:
  Matcher(const std::vector<Element>& pattern, std::u16string_view name)
      : pattern_(pattern), name_(name),
        memo_((pattern.size() + 1) * (name.size() + 1), kUnknown) {
    last_dot_ = name.rfind(u'.');
  }

  bool Matches(std::size_t p, std::size_t n) {
    char& slot = memo_[p * (name_.size() + 1) + n];
    if (slot == kUnknown) slot = Compute(p, n) ? kYes : kNo;
    return slot == kYes;
  }

 private:
  static constexpr char kUnknown = 0, kYes = 1, kNo = 2;

  bool Compute(std::size_t p, std::size_t n) {
    bool at_end = n == name_.size();
    if (p == pattern_.size()) return at_end;
    const Element& e = pattern_[p];
    switch (e.token) {
      case Token::kStar:
        for (std::size_t k = n; k <= name_.size(); ++k)
          if (Matches(p + 1, k)) return true;
        return false;
      case Token::kDosStar: {
        // It may not swallow the name's last dot.
        std::size_t limit = name_.size();
        if (last_dot_ != std::u16string_view::npos && last_dot_ >= n) limit = last_dot_;
        for (std::size_t k = n; k <= limit; ++k)
          if (Matches(p + 1, k)) return true;
        return false;
      }
      case Token::kDosQm:
        if (at_end || name_[n] == u'.') return Matches(p + 1, n);
        return Matches(p + 1, n + 1);
      case Token::kDosDot:
        if (at_end) return Matches(p + 1, n);
        return name_[n] == u'.' && Matches(p + 1, n + 1);
      case Token::kLiteral:
        return !at_end && Fold(name_[n]) == Fold(e.literal) && Matches(p + 1, n + 1);
    }
    return false;
  }

  const std::vector<Element>& pattern_;
  std::u16string_view name_;
  std::vector<char> memo_;
  std::size_t last_dot_;
};

}  // namespace

bool HasWildcards(std::u16string_view pattern) {
  return pattern.find_first_of(u"*?") != std::u16string_view::npos;
}

bool MatchWildcard(std::u16string_view pattern, std::u16string_view name) {
  std::vector<Element> elements = Translate(pattern);
  Matcher matcher(elements, name);
  return matcher.Matches(0, 0);
}

}  // namespace os::posix
