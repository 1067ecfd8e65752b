#include "app/update_info.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/failing_allocation.h"
#include "support/debug_log_capture.h"
#include "base/private_heap.h"
#include "test_support.h"

namespace {

using qvtest::U16;
using qvtest::U8;
using Texts = std::vector<std::string>;

struct Language {
  std::string number;  // "00"
  std::string code;  // empty: no code element
  std::string prifix;
  std::string lang;
  std::string messages;  // the body of the language's own element
};

std::string Messages(const std::string& title) {
  return "<message><wndtitle>" + title + "</wndtitle><intoro>intro</intoro>"
         "<success>ok\\nfine</success><error_version>v\\n</error_version>"
         "<error_inst>inst\\n</error_inst><error_copy>copy\\nfail</error_copy></message>"
         "<message_sys><sellang>sel\\n</sellang><copying>copying\\n</copying></message_sys>"
         "<message_error><language>nolang</language><boot>boot</boot>"
         "<title>err\\n</title></message_error>";
}

std::string Description(const std::vector<Language>& languages, const std::string& extra = "",
                        const std::string& language_extra = "<default>jp</default>") {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<document>\r\n"
                    "<brand>Brand</brand><app>game</app><instpath>C:\\Game</instpath>"
                    "<mutex>m</mutex><confmutex>cm</confmutex>"
                    "<version><major>1</major><minor>02</minor></version>\r\n<language>" +
                    language_extra;
  for (const auto& l : languages) {
    std::string code = l.code.empty() ? "" : "<code>" + l.code + "</code>";
    xml += "<lang" + l.number + ">" + code + "<prifix>" + l.prifix +
           "</prifix><lang>" + l.lang + "</lang></lang" + l.number + ">\r\n";
  }
  xml += "</language>\r\n";
  for (const auto& l : languages)
    if (!l.prifix.empty() && !l.messages.empty())
      xml += "<" + l.prifix + ">" + l.messages + "</" + l.prifix + ">\r\n";
  return xml + extra + "</document>\r\n";
}

const Language kEnglish{"00", "1033", "en", "English", Messages("EN")};
const Language kJapanese{"01", "0x0411", "jp", "日本語", Messages("JP")};

class UpdateInfoTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CreatePrivateHeap(1 << 20); }

  bool Load(const std::string& xml) {
    dir_.WriteFile(u"updateinfo.xml", xml);
    notes_.clear();
    return LoadUpdateInfoFrom(dir_.Path(u"updateinfo.xml").c_str(), &info_, &notes_);
  }
  // The record the map keeps under `key`, whole.
  LanguageRecord Record(const std::u16string& key) const {
    LanguageRecord record;
    ExpandLanguage(info_.languages.at(key), &record);
    return record;
  }
  std::string Keys() const {
    std::string keys;
    for (const auto& [key, record] : info_.languages) keys += "[" + U8(key) + "]";
    return keys;
  }

  qvtest::ScratchDir dir_;
  UpdateInfo info_;
  UpdateInfoNotes notes_;
};

TEST_F(UpdateInfoTest, LoadsEveryField) {
  ASSERT_TRUE(Load(Description({kEnglish, kJapanese},
                               "<delete><p01>old.dll</p01><p02>save\\tmp</p02></delete>")));
  EXPECT_EQ((Texts{U8(info_.brand), U8(info_.app), U8(info_.instpath), U8(info_.mutex),
                   U8(info_.confmutex), U8(info_.major), U8(info_.minor), U8(info_.default_)}),
            (Texts{"Brand", "game", "C:\\Game", "m", "cm", "1", "02", "jp"}));
  EXPECT_EQ(Keys(), "[en][jp]");
  const LanguageRecord jp = Record(u"jp");
  EXPECT_EQ(jp.code, 1041);
  EXPECT_EQ((Texts{U8(jp.lang), U8(jp.wndtitle), U8(jp.intoro), U8(jp.language), U8(jp.boot)}),
            (Texts{"日本語", "JP", "intro", "nolang", "boot"}));
  ASSERT_EQ(info_.delete_list.size(), 2u);
  EXPECT_EQ(U8(info_.delete_list[1]), "save\\tmp");
  EXPECT_TRUE(notes_.empty());
}

TEST_F(UpdateInfoTest, LineBreaksOnlyInTheFiveFields) {
  ASSERT_TRUE(Load(Description({kEnglish})));
  const LanguageRecord en = Record(u"en");
  EXPECT_EQ((Texts{U8(en.success), U8(en.error_version), U8(en.error_inst), U8(en.error_copy),
                   U8(en.sellang), U8(en.copying), U8(en.title)}),
            (Texts{"ok\nfine", "v\n", "inst\n", "copy\\nfail", "sel\\n", "copying\\n", "err\\n"}));

  char16_t text[] = u"a\\\\nb\\n\\";
  ConvertLineBreaks(text);
  EXPECT_EQ(std::u16string(text), u"a\\\nb\n\\");
}

TEST_F(UpdateInfoTest, LanguageScan) {
  struct Case {
    const char* name;
    std::vector<Language> languages;
    std::string keys;
  };
  const Case cases[] = {
      {"lang01 without lang00", {{"01", "1033", "en", "E", ""}}, ""},
      {"gap ends the scan", {{"00", "1033", "en", "E", ""}, {"02", "1041", "jp", "J", ""}}, "[en]"},
      {"keys in ordinal order",
       {{"00", "1", "jp", "", ""}, {"01", "2", "en", "", ""}, {"02", "3", "cn", "", ""},
        {"03", "4", "EN", "", ""}},
       "[EN][cn][en][jp]"},
      {"empty prifix sorts first", {{"00", "1", "jp", "", ""}, {"01", "2", "", "", ""}}, "[][jp]"},
      {"missing code ends the scan", {{"00", "", "jp", "", ""}}, ""},
      {"code that is no number", {{"00", "x", "jp", "", ""}}, "[jp]"},
      {"empty code is 0", {{"00", " ", "jp", "", ""}}, "[jp]"},
      {"code 0xFFFF ends the scan", {{"00", "0x1FFFF", "jp", "", ""}}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Load(Description(c.languages)));
    EXPECT_EQ(Keys(), c.keys);
  }
}

TEST_F(UpdateInfoTest, DuplicateAndEmptyPrifix) {
  Language second = kEnglish;
  second.number = "01";
  second.code = "2057";
  second.messages.clear();
  ASSERT_TRUE(Load(Description({kEnglish, second})));
  ASSERT_EQ(info_.languages.size(), 1u);
  EXPECT_EQ(Record(u"en").code, 1033);
  EXPECT_EQ(U8(Record(u"en").wndtitle), "EN");
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_NE(notes_[0].find("lang01"), std::string::npos);

  ASSERT_TRUE(Load(Description({{"00", "1033", "", "None", ""}})));
  const LanguageRecord none = Record(u"");
  EXPECT_EQ(U8(none.lang), "None");
  EXPECT_EQ(none.wndtitle[0], 0);
  EXPECT_EQ(none.language[0], 0);
}

TEST_F(UpdateInfoTest, PrifixThatDoesNotFitIsRefused) {
  struct Case {
    const char* name;
    std::string prifix;
    bool kept;
  };
  std::string kana21;
  for (int i = 0; i < 21; ++i) kana21 += "あ";
  const Case cases[] = {
      {"63 units", std::string(63, 'p'), true}, {"64 units", std::string(64, 'p'), false},
      {"63 UTF-8 bytes", kana21, true}, {"64 UTF-8 bytes", kana21 + "p", false},
      {"66 UTF-8 bytes", kana21 + "あ", false},
  };
  qvtest::DebugLogCapture capture;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Language language{"00", "1041", c.prifix, "L", Messages("T")};
    ASSERT_TRUE(Load(Description({language, {"01", "1033", "en", "E", ""}})));
    EXPECT_EQ(info_.languages.count(U16(c.prifix)), c.kept ? 1u : 0u);
    EXPECT_EQ(info_.languages.count(u"en"), 1u);  // the scan goes on
    if (c.kept) {
      EXPECT_EQ(U8(Record(U16(c.prifix)).wndtitle), "T");
    }
    EXPECT_EQ(notes_.size(), c.kept ? 0u : 1u);
  }
  EXPECT_NE(capture.Contents().find("lang00"), std::string::npos);
}

TEST_F(UpdateInfoTest, TextsAreCutAtTheirCapacity) {
  Language language = kEnglish;
  language.lang = std::string(200, 'L');
  // The pair U+1F600 would straddle the last unit of intoro.
  language.messages = "<message><intoro>" + std::string(510, 'i') + "\xF0\x9F\x98\x80" +
                      "</intoro></message>";
  ASSERT_TRUE(Load(Description({language}, "<brand>" + std::string(300, 'b') + "</brand>")));
  // <brand> at the end is the last one in the file and is tried first.
  EXPECT_EQ(std::u16string(info_.brand).size(), kInfoNameCapacity - 1);
  const LanguageRecord en = Record(u"en");
  EXPECT_EQ(std::u16string(en.lang).size(), kLangNameCapacity - 1);
  EXPECT_EQ(std::u16string(en.intoro), std::u16string(510, u'i'));
  EXPECT_EQ(notes_, (std::vector<std::string>{"text of brand cut to 259 units",
                                              "text of language/lang00/lang cut to 127 units",
                                              "text of en/message/intoro cut to 511 units"}));
}

TEST_F(UpdateInfoTest, DeleteListStopsAtTheFirstGap) {
  ASSERT_TRUE(Load(Description({kEnglish}, "<delete><p01>a</p01><p03>c</p03></delete>")));
  ASSERT_EQ(info_.delete_list.size(), 1u);
  EXPECT_EQ(U8(info_.delete_list[0]), "a");

  ASSERT_TRUE(Load(Description({kEnglish}, "<delete><p01></p01><p02>b</p02></delete>")));
  EXPECT_TRUE(info_.delete_list.empty());
}

TEST_F(UpdateInfoTest, MissingOrBrokenFileFails) {
  EXPECT_FALSE(LoadUpdateInfoFrom(dir_.Path(u"none.xml").c_str(), &info_, nullptr));
  EXPECT_FALSE(Load("\xEF\xBB\xBF" + Description({kEnglish})));
  // Missing elements give their defaults.
  ASSERT_TRUE(Load("<?xml version=\"1.0\" encoding=\"UTF-8\"?><document></document>"));
  EXPECT_EQ(info_.brand[0], 0);
  EXPECT_EQ(U8(info_.default_), "jp");
  EXPECT_TRUE(info_.languages.empty());
}

TEST_F(UpdateInfoTest, ChoosingTheLanguage) {
  struct Case {
    const char* name;
    std::vector<Language> languages;
    std::string language_extra;
    std::uint16_t ui;
    const char* chosen;  // null: no language
  };
  const Case cases[] = {
      {"UI language matches", {kEnglish, kJapanese}, "<default>jp</default>", 1033, "en"},
      {"default when nothing matches", {kEnglish, kJapanese}, "<default>jp</default>", 1031, "jp"},
      {"no default element means jp", {kEnglish, kJapanese}, "", 1031, "jp"},
      {"unknown default: first key", {kEnglish, kJapanese}, "<default>xx</default>", 1031, "en"},
      {"default is case-sensitive", {kEnglish, kJapanese}, "<default>JP</default>", 1031, "en"},
      {"full identifier only", {kEnglish, kJapanese}, "<default>xx</default>", 2057, "en"},
      {"one language is taken", {kEnglish}, "<default>jp</default>", 1041, "en"},
      {"no language", {}, "", 1041, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Load(Description(c.languages, "", c.language_extra)));
    const std::u16string* chosen = ChooseLanguageFor(&info_, c.ui);
    if (!c.chosen) {
      EXPECT_EQ(chosen, nullptr);
      EXPECT_EQ(info_.current.code, 0);
      continue;
    }
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(U8(*chosen), c.chosen);
    EXPECT_EQ(info_.current.code, Record(*chosen).code);
    EXPECT_EQ(std::u16string(info_.current.wndtitle), std::u16string(Record(*chosen).wndtitle));
  }
}

TEST_F(UpdateInfoTest, ProcessWideLoadUsesTheCurrentDirectoryAndUiLanguage) {
  dir_.WriteFile(u"updateinfo.xml", Description({kEnglish, kJapanese}));
  {
    qvtest::ScopedCurrentFolder inside(dir_.Native());
    qvtest::ScopedEnv japanese("QV_UI_LANGUAGE", "1041");
    EXPECT_TRUE(LoadUpdateInfo());
    EXPECT_TRUE(ChooseLanguage());
  }
  EXPECT_EQ(U8(GetUpdateInfo().current.wndtitle), "JP");
  qvtest::ScopedEnv english("QV_UI_LANGUAGE", "1033");
  EXPECT_TRUE(ChooseLanguage());
  EXPECT_EQ(U8(GetUpdateInfo().current.wndtitle), "EN");
}

// "p%02d" and "lang%02d", as the loader forms them.
std::string Numbered(const char* prefix, int number) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%02d", prefix, number);
  return name;
}

// Beyond four times its size and the allowance, a description is refused
// whole, like a missing one.
TEST_F(UpdateInfoTest, DescriptionBeyondItsMemoryIsRefused) {
  std::string nested;
  for (int i = 0; i < 60000; ++i) nested += "<a>";
  EXPECT_FALSE(Load(Description({kEnglish}, "<brand>B</brand>" + nested)));
  EXPECT_TRUE(info_.languages.empty());
  EXPECT_EQ(info_.brand[0], 0);
  EXPECT_TRUE(Load(Description({kEnglish}, "<brand>B</brand>")));
}

// Under any limit a load either fails and leaves the model empty, or
// succeeds whole: the tree and the model are charged to one budget.
TEST_F(UpdateInfoTest, ALimitFailsTheLoadWholeWhereverItIsReached) {
  std::string deletes = "<delete>";
  for (int n = 1; n <= 50; ++n)
    deletes += "<" + Numbered("p", n) + ">data\\old\\file" + std::to_string(n) + ".bin</" +
               Numbered("p", n) + ">";
  dir_.WriteFile(u"updateinfo.xml", Description({kEnglish, kJapanese}, deletes + "</delete>"));
  const std::u16string path = dir_.Path(u"updateinfo.xml");
  UpdateInfo whole;
  ASSERT_TRUE(LoadUpdateInfoFrom(path.c_str(), &whole, nullptr, {0, 0}));
  int refused = 0;
  for (std::size_t allowance = 0;; allowance += 256) {
    if (LoadUpdateInfoFrom(path.c_str(), &info_, nullptr, {1, allowance})) break;
    ++refused;
    ASSERT_TRUE(info_.languages.empty() && info_.delete_list.empty() && info_.brand[0] == 0);
  }
  EXPECT_GT(refused, 100);
  EXPECT_EQ(Keys(), "[en][jp]");
  EXPECT_EQ(info_.delete_list, whole.delete_list);
  EXPECT_EQ(Record(u"jp").code, 1041);
}

// Any allocation of a load may fail: each such load fails and leaves the
// model empty, and none throws.
TEST_F(UpdateInfoTest, EveryAllocationFailureFailsTheLoad) {
  dir_.WriteFile(u"updateinfo.xml",
                 Description({kEnglish, kJapanese}, "<delete><p01>a</p01><p02>b</p02></delete>"));
  const std::u16string path = dir_.Path(u"updateinfo.xml");
  qvtest::FailAllocation(0);
  ASSERT_TRUE(LoadUpdateInfoFrom(path.c_str(), &info_, &notes_));
  const std::uint64_t allocations = qvtest::StopFailingAllocations();
  ASSERT_GT(allocations, 10u);
  for (std::uint64_t n = 1; n <= allocations; ++n) {
    qvtest::FailAllocation(n);
    bool loaded = true;
    EXPECT_NO_THROW(loaded = LoadUpdateInfoFrom(path.c_str(), &info_, &notes_)) << n;
    qvtest::StopFailingAllocations();
    EXPECT_FALSE(loaded) << n;
    EXPECT_TRUE(info_.languages.empty() && info_.delete_list.empty() && info_.brand[0] == 0) << n;
  }
  ASSERT_TRUE(LoadUpdateInfoFrom(path.c_str(), &info_, &notes_));
  EXPECT_EQ(info_.languages.size(), 2u);

  // The file's bytes go into a private-heap block: no heap, no load.
  DestroyPrivateHeap();
  EXPECT_FALSE(LoadUpdateInfoFrom(path.c_str(), &info_, &notes_));
  CreatePrivateHeap(1 << 20);
  EXPECT_TRUE(LoadUpdateInfoFrom(path.c_str(), &info_, &notes_));
}

}  // namespace
