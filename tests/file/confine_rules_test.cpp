// Tables of accepted and refused texts, for both path styles.
#include "file/confine_rules.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using confine::PathStyle;
using confine::Rule;
using qvtest::U16;

struct Case {
  const char* text;  // UTF-8
  Rule rule;
};

std::string Show(const char* text, Rule got) {
  return std::string("\"") + text + "\" gave " + confine::RuleCode(got);
}

TEST(ConfineRules, Names) {
  const Case cases[] = {
      {"readme.txt", Rule::kOk}, {"日本語のファイル.txt", Rule::kOk}, {".hidden", Rule::kOk},
      {"a b", Rule::kOk}, {"CONSOLE", Rule::kOk}, {"COM0", Rule::kOk}, {"COM10", Rule::kOk},
      {"xCON", Rule::kOk}, {"", Rule::kEmpty}, {".", Rule::kDotComponent},
      {"..", Rule::kDotComponent}, {"a\\b", Rule::kBadCharacter}, {"a/b", Rule::kBadCharacter},
      {"x\\..\\..\\evil.txt", Rule::kBadCharacter}, {"file:stream", Rule::kBadCharacter},
      {"what?", Rule::kBadCharacter}, {"*.tmp", Rule::kBadCharacter},
      {"\"q\"", Rule::kBadCharacter}, {"a<b", Rule::kBadCharacter}, {"a>b", Rule::kBadCharacter},
      {"a|b", Rule::kBadCharacter}, {"tab\there", Rule::kBadCharacter},
      {"line\nbreak", Rule::kBadCharacter}, {"unit\x1f" "sep", Rule::kBadCharacter},
      {"trailing.", Rule::kTrailingDot},
      {"trailing ", Rule::kTrailingDot}, {"...", Rule::kTrailingDot}, {"CON", Rule::kReservedName},
      {"con", Rule::kReservedName}, {"Nul.txt", Rule::kReservedName},
      {"aux.tar.gz", Rule::kReservedName}, {"PRN ", Rule::kTrailingDot},
      {"prn .txt", Rule::kReservedName}, {"COM1", Rule::kReservedName},
      {"lpt9.log", Rule::kReservedName}, {"COM\xC2\xB9", Rule::kReservedName},
      {"CONIN$", Rule::kReservedName}, {"conout$.txt", Rule::kReservedName},
  };
  for (const Case& c : cases) {
    Rule got = confine::CheckName(U16(c.text));
    EXPECT_EQ(got, c.rule) << Show(c.text, got);
    EXPECT_EQ(confine::CheckPlainName(U16(c.text)), c.rule) << c.text;
  }
  std::u16string control = u"a";
  control += char16_t{0};
  EXPECT_EQ(confine::CheckName(control), Rule::kBadCharacter);
  EXPECT_EQ(confine::CheckName(std::u16string(255, u'n')), Rule::kOk);
  EXPECT_EQ(confine::CheckName(std::u16string(256, u'n')), Rule::kTooLong);
}

TEST(ConfineRules, RelativePaths) {
  const Case cases[] = {
      {"readme_old.txt", Rule::kOk}, {"cache", Rule::kOk}, {"cache\\", Rule::kOk},
      {"scenario\\prologue_beta.txt", Rule::kOk}, {"a/b\\c", Rule::kOk}, {"a\\\\b", Rule::kOk},
      {"", Rule::kEmpty}, {"\\", Rule::kAbsolute}, {"\\windows", Rule::kAbsolute},
      {"/etc/passwd", Rule::kAbsolute}, {"\\\\server\\share\\x", Rule::kAbsolute},
      {"C:\\Windows", Rule::kAbsolute}, {"C:outside.txt", Rule::kAbsolute}, {"c:", Rule::kAbsolute},
      {".", Rule::kDotComponent}, {"..", Rule::kDotComponent},
      {"..\\outside.txt", Rule::kDotComponent}, {"sub\\..\\..\\outside.txt", Rule::kDotComponent},
      {"sub\\.\\x", Rule::kDotComponent}, {"sub/..", Rule::kDotComponent},
      {"save\\*.tmp", Rule::kBadCharacter}, {"a\\b:stream", Rule::kBadCharacter},
      {"a\\NUL", Rule::kReservedName}, {"folder.\\x", Rule::kTrailingDot},
  };
  for (const Case& c : cases) {
    Rule got = confine::CheckRelativePath(U16(c.text));
    EXPECT_EQ(got, c.rule) << Show(c.text, got);
  }
}

TEST(ConfineRules, PathLimitCountsTheFolderASeparatorAndTheTerminator) {
  EXPECT_TRUE(confine::FitsBelow(10, std::u16string(248, u'x')));   // 10 + 1 + 248 = 259
  EXPECT_FALSE(confine::FitsBelow(10, std::u16string(249, u'x')));  // 260 leaves no terminator
  EXPECT_TRUE(confine::FitsBelow(0, std::u16string(258, u'x')));
}

struct FolderCase {
  const char* text;
  Rule rule;
  const char* normalised;  // when accepted
};

void CheckFolders(PathStyle style, const std::vector<FolderCase>& cases) {
  for (const FolderCase& c : cases) {
    std::u16string normalised;
    Rule got = confine::CheckFolderText(U16(c.text), style, &normalised);
    EXPECT_EQ(got, c.rule) << Show(c.text, got);
    if (c.rule == Rule::kOk) {
      EXPECT_EQ(qvtest::U8(normalised), c.normalised) << c.text;
    }
  }
}

TEST(ConfineRules, FoldersInWindowsStyle) {
  CheckFolders(PathStyle::kWindows, {
      {"C:\\Games\\SkyLantern", Rule::kOk, "C:\\Games\\SkyLantern"},
      {"C:\\Games\\SkyLantern\\", Rule::kOk, "C:\\Games\\SkyLantern"},
      {"d:/games/空灯籠", Rule::kOk, "d:/games/空灯籠"},
      {"\\\\server\\share\\game", Rule::kOk, "\\\\server\\share\\game"},
      {"C:\\Program Files (x86)\\Game", Rule::kOk, "C:\\Program Files (x86)\\Game"},
      {"", Rule::kNotAbsolute, ""}, {"game", Rule::kNotAbsolute, ""}, {".", Rule::kNotAbsolute, ""},
      {"..", Rule::kNotAbsolute, ""}, {"C:game", Rule::kNotAbsolute, ""},
      {"\\Games\\x", Rule::kNotAbsolute, ""}, {"/home/user/game", Rule::kNotAbsolute, ""},
      {"C:", Rule::kVolumeRoot, ""}, {"C:\\", Rule::kVolumeRoot, ""},
      {"C:\\\\", Rule::kVolumeRoot, ""}, {"\\\\server\\share", Rule::kVolumeRoot, ""},
      {"\\\\server\\share\\", Rule::kVolumeRoot, ""}, {"\\\\server", Rule::kNotNormalised, ""},
      {"\\\\", Rule::kNotNormalised, ""},
      {"\\\\?\\C:\\Games", Rule::kNotNormalised, ""}, {"\\\\.\\C:", Rule::kNotNormalised, ""},
      {"C:\\Games\\..\\Windows", Rule::kNotNormalised, ""},
      {"C:\\Games\\.\\x", Rule::kNotNormalised, ""}, {"C:\\Games\\\\x", Rule::kNotNormalised, ""},
      {"C:\\Games.\\x", Rule::kNotNormalised, ""}, {"C:\\Games \\x", Rule::kNotNormalised, ""},
      {"C:\\Games\\*", Rule::kNotNormalised, ""}, {"C:\\Games\\a:b", Rule::kNotNormalised, ""},
      {"C:\\NUL", Rule::kNotNormalised, ""},
  });
  // A lone separator at the end of a view into a longer text: nothing
  // beyond the view is read.
  EXPECT_EQ(confine::CheckFolderText(std::u16string_view(u"\\\\server\\share\\game", 1),
                                     PathStyle::kWindows, nullptr),
            Rule::kNotAbsolute);
}

TEST(ConfineRules, FoldersInPosixStyle) {
  CheckFolders(PathStyle::kPosix, {
      {"/home/user/Games/sky", Rule::kOk, "/home/user/Games/sky"},
      {"/opt/game/", Rule::kOk, "/opt/game"},
      {"/opt/My Game: Special?", Rule::kOk, "/opt/My Game: Special?"},
      {"\\opt\\game", Rule::kOk, "\\opt\\game"}, {"", Rule::kNotAbsolute, ""},
      {"game", Rule::kNotAbsolute, ""}, {".", Rule::kNotAbsolute, ""},
      {"..", Rule::kNotAbsolute, ""}, {"C:\\Games", Rule::kNotAbsolute, ""},
      {"/", Rule::kVolumeRoot, ""},
      {"//", Rule::kVolumeRoot, ""},
      {"//home", Rule::kNotNormalised, ""},
      {"/home/../etc", Rule::kNotNormalised, ""}, {"/home/./user", Rule::kNotNormalised, ""},
      {"/home//user", Rule::kNotNormalised, ""},
      {"/home/us\ter", Rule::kNotNormalised, ""},
  });
}

TEST(ConfineRules, EveryRuleHasACodeAndAText) {
  for (int r = static_cast<int>(Rule::kOk); r <= static_cast<int>(Rule::kRootIsLink); ++r) {
    Rule rule = static_cast<Rule>(r);
    EXPECT_STRNE(confine::RuleCode(rule), "unknown");
    EXPECT_STRNE(confine::RuleText(rule), "unknown");
  }
}

TEST(ConfineRules, CaseFoldsLikeWindowsForTheLettersGamesUse) {
  // "ĶЏ": the last letters of their runs; "ÀÞ...": the ends of the plain
  // runs; kana are not letter case.
  const struct {
    const char *a, *b;
    bool same;
  } cases[] = {
      {"Readme.TXT", "readme.txt", true}, {"Ärger", "ärger", true}, {"ŁÓDŹ", "łódź", true},
      {"ΣΟΦΙΑ", "σοφια", true}, {"ПРИВЕТ", "привет", true}, {"ＡＢＣ", "ａｂｃ", true},
      {"ĶЏ", "ķџ", true}, {"ÀÞАЯΑΫＡＺ", "àþаяαϋａｚ", true}, {"ΣΣ", "σς", true},
      {"×", "÷", false}, {"a", "b", false}, {"ア", "あ", false}, {"ß", "ss", false},
  };
  for (const auto& c : cases) {
    std::u16string x = U16(c.a), y = U16(c.b);
    for (auto* s : {&x, &y})
      for (char16_t& unit : *s) unit = confine::FoldCase(unit);
    EXPECT_EQ(x == y, c.same) << c.a << " " << c.b;
  }
}

}  // namespace
