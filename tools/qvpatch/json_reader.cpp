#include "tools/qvpatch/json_reader.h"

namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool ParseDocument(JsonValue* value, std::string* error) {
    SkipBlanks();
    bool ok = ParseValue(value, 0);
    if (ok) {
      SkipBlanks();
      if (at_ != text_.size()) ok = Fail("text after the value");
    }
    if (!ok) *error = "JSON " + problem_ + " at byte " + std::to_string(at_);
    return ok;
  }

 private:
  bool Fail(const char* problem) {
    problem_ = problem;
    return false;
  }

  void SkipBlanks() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }

  bool Take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  bool TakeWord(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  bool ParseValue(JsonValue* value, int depth) {
    if (depth >= kJsonMaxDepth) return Fail("nests too deep");
    if (at_ >= text_.size()) return Fail("ends where a value is expected");
    switch (text_[at_]) {
      case '{': return ParseObject(value, depth);
      case '[': return ParseArray(value, depth);
      case '"': value->kind = JsonValue::Kind::kString; return ParseString(&value->text);
      case 't': value->kind = JsonValue::Kind::kBool; value->boolean = true;
        return TakeWord("true") || Fail("has an unknown word");
      case 'f': value->kind = JsonValue::Kind::kBool;
        return TakeWord("false") || Fail("has an unknown word");
      case 'n': value->kind = JsonValue::Kind::kNull;
        return TakeWord("null") || Fail("has an unknown word");
      default: return ParseNumber(value);
    }
  }

  // The elements of an object or an array, from its opening bracket to
  // `close`, separated by commas; `element` reads one.
  template <typename Element>
  bool ParseElements(char close, const char* no_separator, Element element) {
    ++at_;
    SkipBlanks();
    if (Take(close)) return true;
    for (;;) {
      SkipBlanks();
      if (!element()) return false;
      SkipBlanks();
      if (Take(close)) return true;
      if (!Take(',')) return Fail(no_separator);
    }
  }

  bool ParseObject(JsonValue* value, int depth) {
    value->kind = JsonValue::Kind::kObject;
    return ParseElements('}', "needs ',' or '}' in an object", [&] {
      std::string name;
      if (at_ >= text_.size() || text_[at_] != '"') return Fail("needs a member name");
      if (!ParseString(&name)) return false;
      SkipBlanks();
      if (!Take(':')) return Fail("needs ':' after a member name");
      SkipBlanks();
      value->members.emplace_back(std::move(name), JsonValue{});
      return ParseValue(&value->members.back().second, depth + 1);
    });
  }

  bool ParseArray(JsonValue* value, int depth) {
    value->kind = JsonValue::Kind::kArray;
    return ParseElements(']', "needs ',' or ']' in an array", [&] {
      value->items.emplace_back();
      return ParseValue(&value->items.back(), depth + 1);
    });
  }

  bool ParseNumber(JsonValue* value) {
    value->kind = JsonValue::Kind::kNumber;
    const std::size_t start = at_;
    Take('-');
    const std::size_t digits = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    if (at_ == digits) return Fail("has a bad value");
    if (text_[digits] == '0' && at_ - digits > 1) return Fail("has a number with a leading zero");
    bool whole = text_[start] != '-';
    if (Take('.')) {
      whole = false;
      if (!SkipDigits()) return Fail("has a number without digits after '.'");
    }
    if (Take('e') || Take('E')) {
      whole = false;
      if (!Take('+')) Take('-');
      if (!SkipDigits()) return Fail("has a number without exponent digits");
    }
    if (!whole) return true;
    std::uint64_t count = 0;
    for (std::size_t i = digits; i < at_; ++i) {
      const std::uint64_t digit = static_cast<std::uint64_t>(text_[i] - '0');
      if (count > (UINT64_MAX - digit) / 10) return true;  // too large to be a count
      count = count * 10 + digit;
    }
    value->is_count = true;
    value->count = count;
    return true;
  }

  bool SkipDigits() {
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ > start;
  }

  bool ParseHex4(std::uint32_t* unit) {
    if (text_.size() - at_ < 4) return Fail("has a short \\u escape");
    *unit = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return Fail("has a bad \\u escape");
      *unit = *unit << 4 | static_cast<std::uint32_t>(digit);
    }
    return true;
  }

  static void AppendUtf8(std::string* out, std::uint32_t cp) {
    if (cp < 0x80) {
      *out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      *out += static_cast<char>(0xC0 | cp >> 6);
      *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      *out += static_cast<char>(0xE0 | cp >> 12);
      *out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | cp >> 18);
      *out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
      *out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      *out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  bool ParseEscape(std::string* out) {
    if (at_ >= text_.size()) return Fail("ends inside a string");
    const char c = text_[at_++];
    switch (c) {
      case '"': case '\\': case '/': *out += c; return true;
      case 'b': *out += '\b'; return true;
      case 'f': *out += '\f'; return true;
      case 'n': *out += '\n'; return true;
      case 'r': *out += '\r'; return true;
      case 't': *out += '\t'; return true;
      case 'u': break;
      default: return Fail("has an unknown escape");
    }
    std::uint32_t unit = 0;
    if (!ParseHex4(&unit)) return false;
    if (unit >= 0xDC00 && unit < 0xE000) return Fail("has a lone low surrogate");
    if (unit >= 0xD800 && unit < 0xDC00) {
      std::uint32_t low = 0;
      if (!TakeWord("\\u") || !ParseHex4(&low) || low < 0xDC00 || low >= 0xE000)
        return Fail("has a lone high surrogate");
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(out, unit);
    return true;
  }

  // One UTF-8 sequence, checked: no overlong forms, surrogates or values
  // past U+10FFFF.
  bool CopyUtf8(std::string* out) {
    const auto lead = static_cast<unsigned char>(text_[at_]);
    const int extra = lead < 0x80 ? 0 : lead >= 0xC2 && lead < 0xE0 ? 1 : lead >= 0xE0 && lead < 0xF0 ? 2
                      : lead >= 0xF0 && lead < 0xF5 ? 3 : -1;
    if (extra < 0 || text_.size() - at_ <= static_cast<std::size_t>(extra))
      return Fail("has text that is not UTF-8");
    std::uint32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
      const auto next = static_cast<unsigned char>(text_[at_ + i]);
      if ((next & 0xC0) != 0x80) return Fail("has text that is not UTF-8");
      cp = cp << 6 | (next & 0x3F);
    }
    static const std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
      return Fail("has text that is not UTF-8");
    out->append(text_.substr(at_, extra + 1));
    at_ += extra + 1;
    return true;
  }

  bool ParseString(std::string* out) {
    ++at_;  // the opening quote
    for (;;) {
      if (at_ >= text_.size()) return Fail("ends inside a string");
      const char c = text_[at_];
      if (c == '"') {
        ++at_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return Fail("has a control character in a string");
      if (c == '\\') {
        ++at_;
        if (!ParseEscape(out)) return false;
      } else if (!CopyUtf8(out)) {
        return false;
      }
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::string problem_;
};

}  // namespace

const JsonValue* JsonValue::Member(std::string_view name) const {
  for (const auto& [member, value] : members)
    if (member == name) return &value;
  return nullptr;
}

bool ParseJson(std::string_view text, JsonValue* value, std::string* error) {
  *value = {};
  return Parser(text).ParseDocument(value, error);
}
