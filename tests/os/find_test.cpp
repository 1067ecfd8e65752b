#include <gtest/gtest.h>

#include <set>
#include <string>

#include "os/file.h"
#include "os/find.h"
#include "os_test_util.h"
#ifndef _WIN32
#include "os/posix/wildcard.h"
#endif

namespace {

using ostest::ErrorOf;
using qvtest::ScratchDir;
using qvtest::U8;
using Names = std::set<std::string>;

Names FindAll(const std::u16string& pattern) {
  Names names;
  os::FindData data;
  os::Handle search = os::FindFirst(pattern.c_str(), &data);
  if (search == os::kInvalidHandle) return names;
  do {
    names.insert(U8(data.name));
  } while (os::FindNext(search, &data));
  os::FindClose(search);
  return names;
}

class FindTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char16_t* name : {u"README", u"a.txt", u"b.TXT", u"abc.dat", u"ab", u"x.tar.gz"})
      dir_.WriteFile(name, "12345");
    std::filesystem::create_directory(dir_.Native(u"sub"));
  }
  Names Find(const char16_t* pattern) { return FindAll(dir_.Path(pattern)); }

  ScratchDir dir_;
};

TEST_F(FindTest, WildcardsFollowWindowsRules) {
  const Names all{".", "..", "README", "a.txt", "b.TXT", "abc.dat", "ab", "x.tar.gz", "sub"};
  EXPECT_EQ(all, Find(u"*"));
  EXPECT_EQ(all, Find(u"*.*"));  // also names without a dot
  EXPECT_EQ((Names{"a.txt", "b.TXT"}), Find(u"*.txt"));
  EXPECT_EQ((Names{"x.tar.gz"}), Find(u"x.*"));
  EXPECT_EQ(Names{}, Find(u"*.none"));
}

TEST_F(FindTest, NoMatchReportsFileNotFound) {
  os::FindData data;
  EXPECT_EQ(os::kErrorFileNotFound, ErrorOf(os::FindFirst(dir_.Path(u"*.none").c_str(), &data)));
  EXPECT_EQ(os::kErrorPathNotFound,
            ErrorOf(os::FindFirst(dir_.Path(u"missing\\*").c_str(), &data)));
#ifndef _WIN32
  EXPECT_EQ(Names{}, Find(u"readme"));  // exact names are case-sensitive here
  EXPECT_EQ(os::kErrorFileNotFound, os::GetLastError());
#endif
}

TEST_F(FindTest, ExactNameFindsThatEntry) {
  os::FindData data;
  os::Handle search = os::FindFirst(dir_.Path(u"abc.dat").c_str(), &data);
  ASSERT_NE(os::kInvalidHandle, search);
  EXPECT_EQ(u"abc.dat", std::u16string(data.name));
  EXPECT_EQ(5u, data.size);
  EXPECT_EQ(0u, data.attributes & os::kAttrDirectory);
  EXPECT_GT(data.last_write.ticks, 0u);
  EXPECT_FALSE(os::FindNext(search, &data));
  os::FindClose(search);

  search = os::FindFirst(dir_.Path(u"sub").c_str(), &data);
  ASSERT_NE(os::kInvalidHandle, search);
  EXPECT_EQ(u"sub", std::u16string(data.name));
  EXPECT_NE(0u, data.attributes & os::kAttrDirectory);
  os::FindClose(search);
}

TEST_F(FindTest, DotEntriesAreFoldersAndListedInSubFolders) {
  EXPECT_EQ((Names{".", ".."}), FindAll(dir_.Path(u"sub\\*")));
  os::FindData data;
  os::Handle search = os::FindFirst(dir_.Path(u"sub\\*").c_str(), &data);
  ASSERT_NE(os::kInvalidHandle, search);
  do {
    EXPECT_NE(0u, data.attributes & os::kAttrDirectory);
    EXPECT_EQ(0u, data.attributes & os::kAttrHidden);
  } while (os::FindNext(search, &data));
  os::FindClose(search);
}

#ifndef _WIN32
TEST(Wildcard, MatchTable) {
  struct Case {
    const char16_t* pattern;
    const char16_t* name;
    bool match;
  };
  const Case cases[] = {
      {u"*", u"anything", true},        {u"*.*", u"README", true},
      {u"*.*", u".", true},             {u"*.*", u"..", true},
      {u"*.txt", u"a.TXT", true},       {u"*.txt", u"a.txt.bak", false},
      {u"*.txt", u"a.b.txt", true},     {u"a?", u"ab", true},
      {u"a?", u"abc", false},           {u"a?", u"a", true},  // '?' may match nothing at the end
      {u"a??", u"a", true},             {u"a?.txt", u"a.txt", true},
      {u"a?c", u"a.c", false},          {u"?", u"", true},
      {u"a*.*", u"abc", true},          {u"x.*", u"x", true},
      {u"*a*b*c*d*e*f*g*h", u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
      {u"README", u"readme", true},     {u"\u00c4*", u"\u00e4", false},  // ASCII folding only
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.match, os::posix::MatchWildcard(c.pattern, c.name))
        << U8(c.pattern) << " vs " << U8(c.name);
}
#endif

}  // namespace
