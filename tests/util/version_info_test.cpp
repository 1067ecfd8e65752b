#include "util/version_info.h"

#include <gtest/gtest.h>

#include <array>
#include <iterator>
#include <string>

#include "support/pe_writer.h"
#include "test_support.h"

namespace {

using qvtest::PeVersionLayout;
using qvtest::ScratchDir;

// The four parts of a FileVersion text, first to fourth.
std::array<std::uint16_t, 4> Parts(const std::u16string& text) {
  VersionInfo info{};
  ParseFileVersion(text.c_str(), &info);
  return {info.version[3], info.version[2], info.version[1], info.version[0]};
}

TEST(FileVersionSplit, GivesFourParts) {
  const std::pair<const char16_t*, std::array<std::uint16_t, 4>> cases[] = {
      {u"1, 2, 3, 4", {1, 2, 3, 4}}, {u"1.2.3.4", {1, 2, 3, 4}},
      // Parts 1 to 3 are only converted when a separator follows them.
      {u"1.2.3", {1, 2, 0, 0}}, {u"1.2", {1, 0, 0, 0}}, {u"7", {0, 0, 0, 0}}, {u"", {0, 0, 0, 0}},
      // Trailing text after the digits is ignored.
      {u"1.02.3.4 beta", {1, 2, 3, 4}},
      // A comma is preferred at each step, so "2.3" is one part here.
      {u"1,2.3,4", {1, 2, 0, 0}}, {u"1.2,3.4", {1, 3, 0, 0}}, {u"  5,   6 ,7,  8", {5, 6, 7, 8}},
      // Only the low 16 bits are kept; hexadecimal and signs parse.
      {u"70000.1.1.1", {4464, 1, 1, 1}}, {u"0x10.0.0.-1", {16, 0, 0, 0xFFFF}},
      {u"a.b.c.d", {0, 0, 0, 0}},
  };
  for (const auto& [text, parts] : cases) EXPECT_EQ(Parts(text), parts) << qvtest::U8(text);
}

TEST(FileVersionSplit, OverlongPartCountsAsZeroAndTheNumberPutsTheFirstHighest) {
  const std::array<std::uint16_t, 4> overlong = {1, 0, 3, 0};
  EXPECT_EQ(Parts(u"1." + std::u16string(64, u'9') + u".3." + std::u16string(80, u'7')), overlong);
  // 63 units still convert.
  EXPECT_EQ(Parts(u"1." + std::u16string(62, u'0') + u"5.0.0")[1], 5);
  // The number puts the first part highest.
  VersionInfo info{};
  ParseFileVersion(u"1.2.3.4", &info);
  EXPECT_EQ(info.Number(), 0x0001000200030004ull);
}

class ReadVersionInfoTest : public ::testing::Test {
 protected:
  std::u16string Write(const char16_t* name, const PeVersionLayout& layout) {
    dir_.WriteFile(name, qvtest::MakePeFile(layout));
    return dir_.Path(name);
  }
  static PeVersionLayout Full() {
    PeVersionLayout layout;
    layout.strings = {
        {u"Comments", u"c"},          {u"CompanyName", u"株式会社"},
        {u"FileDescription", u"fd"},   {u"FileVersion", u"2, 0, 0, 10"},
        {u"InternalName", u"in"},      {u"LegalCopyright", u"(C) 2026"},
        {u"LegalTrademarks", u"tm"},   {u"OriginalFilename", u"game.exe"},
        {u"ProductName", u"ゲーム"},   {u"ProductVersion", u"2.0"},
        {u"PrivateBuild", u"pb"},      {u"SpecialBuild", u"sb"},
    };
    return layout;
  }
  ScratchDir dir_;
};

TEST_F(ReadVersionInfoTest, ReadsEveryStringOfTheFirstTranslation) {
  for (bool pe32plus : {false, true}) {
    PeVersionLayout layout = Full();
    layout.pe32plus = pe32plus;
    layout.dll = pe32plus;
    const std::u16string path = Write(pe32plus ? u"a.dll" : u"a.exe", layout);
    VersionInfo info;
    ASSERT_EQ(ReadVersionInfo(path.c_str(), &info), 1) << pe32plus;
    // In the order Full() lists them.
    const char16_t* const read[] = {
        info.comments,        info.company_name,    info.file_description, info.file_version,
        info.internal_name,   info.legal_copyright, info.legal_trademarks, info.original_filename,
        info.product_name,    info.product_version, info.private_build,    info.special_build};
    for (std::size_t i = 0; i < std::size(read); ++i)
      EXPECT_EQ(std::u16string(read[i]), layout.strings[i].second) << qvtest::U8(layout.strings[i].first);
    EXPECT_EQ(info.Number(), 0x0002000000000000ull | 10);
  }
}

// The number comes from the FileVersion text of the named translation
// alone, never from the fixed block; long values are cut.
TEST_F(ReadVersionInfoTest, OnlyTheNamedTranslationsTextsAreRead) {
  PeVersionLayout fixed_differs;
  fixed_differs.fixed_version[0] = 9;
  fixed_differs.strings = {{u"FileVersion", u"1.0.0.2"}};
  PeVersionLayout long_value;
  long_value.strings = {{u"ProductName", std::u16string(300, u'x')}, {u"CompanyName", u"after"}};
  PeVersionLayout no_translation = Full(), short_translation = Full(), other_key = Full();
  no_translation.has_translation = false;
  short_translation.translation_length = 2;  // names no code page
  short_translation.code_page = 0;
  other_key.table_key = u"040904b0";  // the translation names 041104b0
  const struct {
    const char* what;
    const PeVersionLayout& layout;
    std::uint64_t number;
    std::u16string product, company;
  } cases[] = {
      {"fixed block differs", fixed_differs, 0x0001000000000002ull, u"", u""},
      {"long value", long_value, 0, std::u16string(255, u'x'), u"after"},
      {"no translation table", no_translation, 0, u"", u""},
      {"translation without code page", short_translation, 0, u"", u""},
      {"another translation", other_key, 0, u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    VersionInfo info;
    ASSERT_EQ(ReadVersionInfo(Write(u"v.exe", c.layout).c_str(), &info), 1);
    EXPECT_EQ(info.Number(), c.number);
    EXPECT_EQ(std::u16string(info.product_name), c.product);
    EXPECT_EQ(std::u16string(info.company_name), c.company);
  }
}

TEST_F(ReadVersionInfoTest, FilesWithoutResourceGiveZero) {
  PeVersionLayout layout = Full();
  layout.has_resource = false;
  VersionInfo info;
  info.version[0] = 7;
  EXPECT_EQ(ReadVersionInfo(Write(u"n.exe", layout).c_str(), &info), 0);
  EXPECT_EQ(info.version[0], 0);

  dir_.WriteFile(u"text.exe", "MZ but not really a program");
  dir_.WriteFile(u"empty.dll", "");
  for (const char16_t* name : {u"text.exe", u"empty.dll", u"missing.exe"})
    EXPECT_EQ(ReadVersionInfo(dir_.Path(name).c_str(), &info), 0) << qvtest::U8(name);
}

// Every prefix of a valid file is read without fault; whatever is found is
// a properly terminated text.
TEST_F(ReadVersionInfoTest, TruncatedFilesAreHandled) {
  const std::string whole = qvtest::MakePeFile(Full());
  for (std::size_t cut = 0; cut < whole.size(); cut += 7) {
    dir_.WriteFile(u"cut.exe", whole.substr(0, cut));
    VersionInfo info;
    const int result = ReadVersionInfo(dir_.Path(u"cut.exe").c_str(), &info);
    EXPECT_TRUE(result == 0 || result == 1);
    EXPECT_LT(std::u16string(info.file_version).size(), 256u);
  }
}

}  // namespace
