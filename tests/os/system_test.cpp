#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "os/file.h"
#include "os/folders.h"
#include "os/process.h"
#include "os/shell_folder.h"
#include "os/times.h"
#include "os/volume.h"
#include "test_support.h"
#ifndef _WIN32
#include "os/posix/ui_language.h"
#endif

namespace {

using qvtest::ScopedEnv;
using qvtest::U8;

std::u16string Slashed(std::u16string path) {
  for (char16_t& c : path)
    if (c == u'\\') c = u'/';
  return path;
}

// The full path of `path`, or "<none>".
std::u16string FullPath(const char16_t* path) {
  char16_t out[1024];
  const std::uint32_t length = os::GetFullPathName(path, out, 1024);
  return length == 0 ? u"<none>" : std::u16string(out, length);
}

std::u16string CurrentDirectory() {
  char16_t buffer[1024];
  std::uint32_t length = os::GetCurrentDirectory(buffer, 1024);
  return std::u16string(buffer, length);
}

TEST(FullPath, ResolvesDotsAgainstTheCurrentDirectoryThatChanges) {
  char16_t out[1024] = {u'x', u'x', u'x', u'x'};
  std::uint32_t length = os::GetFullPathName(u"some_long_name.txt", out, 3);
  EXPECT_TRUE(length == 0 || length > 3);  // Windows returns the size it needs
  EXPECT_EQ(u'x', out[3]);
  std::u16string expected = Slashed(CurrentDirectory());
  if (expected.back() != u'/') expected += u'/';
  EXPECT_EQ(expected + u"a/c.txt", Slashed(FullPath(u"a\\b\\..\\.\\c.txt")));

  qvtest::ScratchDir dir;
  std::u16string before = CurrentDirectory();
  ASSERT_TRUE(os::SetCurrentDirectory(dir.Path().c_str()));
  EXPECT_EQ(Slashed(dir.Path()), Slashed(CurrentDirectory()));
  ASSERT_TRUE(os::SetCurrentDirectory(before.c_str()));
  EXPECT_FALSE(os::SetCurrentDirectory(dir.Path(u"missing").c_str()));
}

TEST(ErrorText, CommonCodesReadAsOnWindows) {
  char16_t out[256];
  std::uint32_t length = os::GetErrorText(os::kErrorFileNotFound, out, 256);
#ifndef _WIN32  // the system's own texts; Wine words them differently
  EXPECT_EQ("The system cannot find the file specified.\r\n", U8({out, length}));
  length = os::GetErrorText(os::kErrorAccessDenied, out, 256);
  EXPECT_EQ("Access is denied.\r\n", U8({out, length}));
  length = os::GetErrorText(os::kErrorDiskFull, out, 256);
  EXPECT_EQ("There is not enough space on the disk.\r\n", U8({out, length}));
#else
  EXPECT_GT(length, 0u);
#endif
  EXPECT_EQ(0u, os::GetErrorText(os::kErrorAccessDenied, out, 5));
}

TEST(SystemQueries, ErrorModeTemporaryFolderProgramAndTime) {
  std::uint32_t mode = os::SetErrorMode(os::kSemFailCriticalErrors);
  EXPECT_EQ(os::kSemFailCriticalErrors, os::SetErrorMode(mode));
  char16_t out[1024];
  std::uint32_t length = os::GetTempPath(out, 260);
  ASSERT_GT(length, 0u);
  EXPECT_TRUE(out[length - 1] == u'\\' || out[length - 1] == u'/');
  length = os::GetModulePath(out, 1024);
  ASSERT_GT(length, 0u);
  EXPECT_NE(std::string::npos, U8({out, length}).find("os_tests"));
  os::LocalTime now = os::GetLocalTime();
  EXPECT_GE(now.year, 2020);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12);
  EXPECT_TRUE(now.day >= 1 && now.day <= 31);
  EXPECT_TRUE(now.milliseconds >= 0 && now.milliseconds < 1000);
}

#ifndef _WIN32
TEST(UiLanguage, LocaleTable) {
  struct Case {
    const char* locale;
    std::uint16_t id;
  };
  const Case cases[] = {
      {"ja_JP.UTF-8", 1041}, {"en_US.UTF-8", 1033}, {"en_GB", 2057},   {"zh_CN.GB18030", 2052},
      {"zh_TW", 1028},       {"ko_KR.EUC-KR", 1042}, {"de_DE@euro", 1031}, {"fr_FR", 1036},
      {"es_ES", 3082},       {"it_IT", 1040},       {"pt_BR", 1046},   {"pt_PT", 2070},
      {"ru_RU", 1049},       {"nl_NL", 1043},       {"pl_PL", 1045},   {"sv_SE", 1053},
      {"ja", 1041},          {"en", 1033},          {"de_XX", 1031},   {"C", 1033},
      {"POSIX", 1033},       {"C.UTF-8", 1033},     {"xx_YY", 0},      {"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.id, os::posix::LanguageIdFromLocale(c.locale)) << c.locale;
}

TEST(UiLanguage, Precedence) {
  using os::posix::ChooseUiLanguage;
  EXPECT_EQ(1041, ChooseUiLanguage("1041", "en_US", nullptr, nullptr));
  EXPECT_EQ(2057, ChooseUiLanguage("abc", "en_GB", "ja_JP", nullptr));  // invalid override
  EXPECT_EQ(1033, ChooseUiLanguage("70000", nullptr, nullptr, nullptr));
  EXPECT_EQ(1041, ChooseUiLanguage(nullptr, "", "ja_JP", "en_GB"));  // empty is unset
  EXPECT_EQ(2057, ChooseUiLanguage(nullptr, nullptr, nullptr, "en_GB"));
  EXPECT_EQ(1033, ChooseUiLanguage(nullptr, "xx_YY", "ja_JP", nullptr));  // first set wins
  EXPECT_EQ(1033, ChooseUiLanguage(nullptr, nullptr, nullptr, nullptr));
}

std::string ShellFolder(int csidl) {
  char16_t out[260];
  if (!os::QueryShellFolder(csidl, out, 260)) return "<none>";
  return U8(out);
}

TEST(ShellFolders, FollowXdgAndHome) {
  ScopedEnv home("HOME", "/home/tester");
  ScopedEnv data("XDG_DATA_HOME", nullptr);
  ScopedEnv desktop("XDG_DESKTOP_DIR", nullptr);
  ScopedEnv common("QV_COMMON_APPDATA", nullptr);
  EXPECT_EQ("/home/tester/Desktop", ShellFolder(os::kCsidlDesktopDirectory));
  EXPECT_EQ("/home/tester/Documents", ShellFolder(os::kCsidlPersonal));
  EXPECT_EQ("/home/tester/Pictures", ShellFolder(os::kCsidlMyPictures));
  EXPECT_EQ("/home/tester/.local/share", ShellFolder(os::kCsidlAppData));
  EXPECT_EQ("/home/tester/.local/share/applications", ShellFolder(os::kCsidlPrograms));
  EXPECT_EQ("/usr/share/applications", ShellFolder(os::kCsidlCommonPrograms));
  EXPECT_EQ("/opt", ShellFolder(os::kCsidlProgramFiles));
  EXPECT_EQ("/var/lib", ShellFolder(os::kCsidlCommonAppData));
  EXPECT_EQ("<none>", ShellFolder(os::kCsidlCommonDesktopDirectory));
  EXPECT_EQ("<none>", ShellFolder(0x7F));

  ScopedEnv new_data("XDG_DATA_HOME", "/data/");
  ScopedEnv new_common("QV_COMMON_APPDATA", "/srv/common");
  EXPECT_EQ("/data", ShellFolder(os::kCsidlAppData));
  EXPECT_EQ("/data/applications", ShellFolder(os::kCsidlStartMenu));
  EXPECT_EQ("/srv/common", ShellFolder(os::kCsidlCommonAppData));
  ScopedEnv relative("XDG_DATA_HOME", "relative/path");  // ignored, as XDG requires
  EXPECT_EQ("/home/tester/.local/share", ShellFolder(os::kCsidlAppData));

  char16_t out[8];
  EXPECT_FALSE(os::QueryShellFolder(os::kCsidlProgramFiles, out, 4));  // "/opt" needs 5
  EXPECT_FALSE(os::QueryLegacySpecialFolder(os::kCsidlAppData, out, 8));
  EXPECT_FALSE(os::QueryShellFoldersValue(u"AppData", out, 8));
}

TEST(SectorSize, RootsAndMissingFolders) {
  std::uint32_t size = os::GetSectorSize(u"/");
  EXPECT_GE(size, 512u);
  EXPECT_EQ(0u, size & (size - 1));
  EXPECT_EQ(0u, os::GetSectorSize(u"/no/such/folder/"));
}

TEST(FullPath, PosixForm) {
  EXPECT_EQ(u"/b/c/", FullPath(u"\\a\\..\\..\\b\\.\\c\\"));
  EXPECT_EQ(u"/x", FullPath(u"/x/y/.."));
  EXPECT_EQ(u"<none>", FullPath(u""));
}

TEST(ErrorText, UnmappedErrnoKeepsItsText) {
  qvtest::ScratchDir dir;
  std::filesystem::create_symlink("b", dir.Native(u"a"));
  std::filesystem::create_symlink("a", dir.Native(u"b"));
  // ELOOP has no Windows code; its text is still the system's own.
  EXPECT_EQ(os::kInvalidHandle, os::OpenFile(dir.Path(u"a").c_str(), os::kAccessRead,
                                             os::kShareRead, os::kOpenExisting, 0, 0));
  char16_t out[256];
  std::uint32_t length = os::GetErrorText(os::GetLastError(), out, 256);
  EXPECT_EQ(std::string(std::strerror(ELOOP)) + "\r\n", U8({out, length}));
  EXPECT_EQ(0u, os::GetErrorText(0x12345, out, 256));
}
#endif

}  // namespace
