#include "util/integer.h"

#include <gtest/gtest.h>


#include "test_support.h"

namespace {

struct Case {
  const char* text;
  int ok;
  std::int32_t value;
  int end;  // -1: not stored
};

const Case kCases[] = {
    {"42abc", 1, 42, 2},          {"+42", 1, 42, 3},
    {"-42", 1, -42, 3},           {"0XfF", 1, 255, 4},
    {"-0x10", 1, -16, 5},         {"0x1g", 1, 1, 3},
    {"0xFFFFFFFF", 1, -1, 10},    {"0x100000001", 1, 1, 11},
    {"0x1.5", 1, 1, 3},
    // "0x" without a hexadecimal digit behind it is the number 0; the "x"
    // is the first character not used.
    {"0x", 1, 0, 1},              {"-0xg", 1, 0, 2},
    {"0x.5", 1, 0, 1},
    {"-2147483648", 1, INT32_MIN, 11},
    // A fraction is not an integer, but its whole part is reported.
    {"12.5", 0, 12, 2},           {"-3.", 0, -3, 2},
    // No digit where one must be.
    {" 5", 0, 0, -1},             {"", 0, 0, -1},
    {"+-1", 0, 0, -1},            {".5", 0, 0, -1},
};

TEST(ParseInteger, EveryForm) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseInteger(c.text), c.ok ? c.value : 0);
    for (bool wide : {false, true}) {
      int end = -1;
      std::int32_t value = 0;
      EXPECT_EQ(wide ? ParseIntegerW(qvtest::U16(c.text).c_str(), &end, &value)
                     : ParseIntegerA(c.text, &end, &value), c.ok) << wide;
      EXPECT_EQ(end, c.end) << wide;
      EXPECT_EQ(value, c.value) << wide;
    }
  }
}

TEST(ParseInteger, OnlyAsciiDigitsCount) {
  std::int32_t value = 0;
  EXPECT_EQ(ParseIntegerW(u"\uFF11", nullptr, &value), 0);
  // The low byte of U+0131 is the digit '1'.
  int end = 0;
  EXPECT_EQ(ParseIntegerW(u"1\u0131", &end, &value), 1);
  EXPECT_EQ(end, 1);
  EXPECT_EQ(ParseInteger(nullptr), 0);
}

}  // namespace
