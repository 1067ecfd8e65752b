#include <gtest/gtest.h>

#include "ui/emulated/answer_word.h"

namespace {

TEST(TerminalAnswerTest, OnlyClearWordsAnswer) {
  for (const char* yes : {"o", "ok", "y", "yes", "OK", " Yes\t", "ok\r"})
    EXPECT_EQ(ui::ParseOkCancelAnswer(yes), ui::Answer::kOk) << yes;
  for (const char* no : {"c", "cancel", "n", "no", "q", "NO", "  Cancel  "})
    EXPECT_EQ(ui::ParseOkCancelAnswer(no), ui::Answer::kCancel) << no;
  // Unclear lines are no answer at all: the question is asked again.
  for (const char* unclear : {"", "   ", "okay", "nope", "quit", "y es", "o k", "1", "ja"})
    EXPECT_EQ(ui::ParseOkCancelAnswer(unclear), std::nullopt) << unclear;
}

}  // namespace
