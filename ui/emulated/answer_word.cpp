#include "ui/emulated/answer_word.h"

#include <cctype>
#include <string>

namespace ui {

std::optional<Answer> ParseOkCancelAnswer(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t last = line.find_last_not_of(" \t\r");
  std::string word(line.substr(first, last + 1 - first));
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* yes : {"o", "ok", "y", "yes"})
    if (word == yes) return Answer::kOk;
  for (const char* no : {"c", "cancel", "n", "no", "q"})
    if (word == no) return Answer::kCancel;
  return std::nullopt;
}

}  // namespace ui
