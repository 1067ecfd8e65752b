#include <gtest/gtest.h>

#include "os/win32/windows_fwd.h"

#include <string>

#include "os/file.h"
#include "os/process.h"
#include "os/shell_folder.h"
#include "os/text.h"
#include "test_support.h"

namespace {

using qvtest::U16;

TEST(Win32Text, Utf8AcceptsThePrecomposedFlag) {
  // The system refuses MB_PRECOMPOSED with UTF-8; callers pass it anyway.
  const char text[] = "\xE3\x81\x82z";
  char16_t out[8] = {};
  EXPECT_EQ(os::MultiByteToWide(os::kCodePageUtf8, os::kPrecomposed, text, -1, out, 8), 3);
  EXPECT_EQ(std::u16string(out), u"\u3042z");
}

TEST(Win32Environment, ValuesAreUtf8AndStayValid) {
  ASSERT_TRUE(::SetEnvironmentVariableW(L"QV_WIN32_TEST", L"\u00E9t\u00E9"));
  const char* first = os::GetEnvironment("QV_WIN32_TEST");
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first, "\xC3\xA9t\xC3\xA9");
  ASSERT_TRUE(::SetEnvironmentVariableW(L"QV_WIN32_TEST", L"other"));
  EXPECT_STREQ(os::GetEnvironment("QV_WIN32_TEST"), "other");
  EXPECT_STREQ(first, "\xC3\xA9t\xC3\xA9");
  ASSERT_TRUE(::SetEnvironmentVariableW(L"QV_WIN32_TEST", L""));
  EXPECT_STREQ(os::GetEnvironment("QV_WIN32_TEST"), "");
  ASSERT_TRUE(::SetEnvironmentVariableW(L"QV_WIN32_TEST", nullptr));
  EXPECT_EQ(os::GetEnvironment("QV_WIN32_TEST"), nullptr);
}

TEST(Win32Environment, UiLanguageVariableComesFirst) {
  std::uint16_t system_language = ::GetUserDefaultUILanguage();
  ASSERT_TRUE(::SetEnvironmentVariableW(L"QV_UI_LANGUAGE", L"1041"));
  EXPECT_EQ(os::GetUserUiLanguage(), 1041);
  for (const wchar_t* bad : {L"", L"ja", L"70000", L"-1"}) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"QV_UI_LANGUAGE", bad));
    EXPECT_EQ(os::GetUserUiLanguage(), system_language);
  }
  ::SetEnvironmentVariableW(L"QV_UI_LANGUAGE", nullptr);
  EXPECT_EQ(os::GetUserUiLanguage(), system_language);
}

// Writes a test value into the Explorer key and removes it again.
class ShellFoldersValue {
 public:
  ShellFoldersValue(DWORD type, const void* data, DWORD bytes) {
    ok_ = ::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key_, nullptr) == ERROR_SUCCESS &&
          ::RegSetValueExW(key_, kName, 0, type, static_cast<const BYTE*>(data),
                           bytes) == ERROR_SUCCESS;
  }
  ~ShellFoldersValue() {
    if (key_) {
      ::RegDeleteValueW(key_, kName);
      ::RegCloseKey(key_);
    }
  }
  bool ok() const { return ok_; }

 private:
  static constexpr const wchar_t* kKey =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  static constexpr const wchar_t* kName = L"QvWin32Test";
  HKEY key_ = nullptr;
  bool ok_ = false;
};

TEST(Win32ShellFolders, RegistryValuesAreAlwaysTerminated) {
  const char16_t* name = u"QvWin32Test";
  {
    // Stored without its terminator: one is added.
    ShellFoldersValue value(REG_BINARY, L"C:\\x", 8);
    ASSERT_TRUE(value.ok());
    char16_t out[8];
    for (auto& unit : out) unit = u'#';
    ASSERT_TRUE(os::QueryShellFoldersValue(name, out, 8));
    EXPECT_EQ(std::u16string(out), u"C:\\x");
    // Exactly full without room for a terminator: refused, not cut.
    for (auto& unit : out) unit = u'#';
    EXPECT_FALSE(os::QueryShellFoldersValue(name, out, 4));
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[4], u'#');
  }
  {
    ShellFoldersValue value(REG_SZ, L"C:\\Data", 16);
    ASSERT_TRUE(value.ok());
    char16_t out[260];
    ASSERT_TRUE(os::QueryShellFoldersValue(name, out, 260));
    EXPECT_EQ(std::u16string(out), u"C:\\Data");
    EXPECT_FALSE(os::QueryShellFoldersValue(name, out, 5));
  }
  char16_t out[260];
  EXPECT_FALSE(os::QueryShellFoldersValue(name, out, 260));
}

TEST(Win32ShellFolders, ShellAnswersFitOrFail) {
  char16_t folder[260];
  ASSERT_TRUE(os::QueryShellFolder(os::kCsidlCommonAppData, folder, 260));
  std::size_t length = std::u16string(folder).size();
  ASSERT_GT(length, 2u);
  char16_t small[4];
  EXPECT_FALSE(os::QueryShellFolder(os::kCsidlCommonAppData, small, 3));
  ASSERT_TRUE(os::QueryLegacySpecialFolder(os::kCsidlCommonAppData, folder, 260));
  EXPECT_EQ(std::u16string(folder).size(), length);

  char16_t temp[260];
  std::uint32_t temp_length = os::GetTempPath(temp, 260);
  ASSERT_GT(temp_length, 0u);
  EXPECT_EQ(temp[temp_length - 1], u'\\');
  EXPECT_EQ(os::GetTempPath(temp, temp_length), 0u);
  EXPECT_GT(os::GetWindowsDirectory(temp, 260), 0u);
  char16_t module[1024];
  std::uint32_t module_length = os::GetModulePath(module, 1024);
  ASSERT_GT(module_length, 4u);
  EXPECT_EQ(std::u16string(module + module_length - 4), u".exe");
  EXPECT_EQ(os::GetModulePath(module, module_length), 0u);
  EXPECT_EQ(module[0], 0);
}

TEST(Win32ErrorText, FitsWholeOrNotAtAll) {
  char16_t text[512];
  std::uint32_t length = os::GetErrorText(os::kErrorFileNotFound, text, 512);
  ASSERT_GT(length, 2u);
  EXPECT_EQ(text[length - 1], u'\n');
  char16_t out[512];
  for (auto& unit : out) unit = u'#';
  EXPECT_EQ(os::GetErrorText(os::kErrorFileNotFound, out, length), 0u);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[length], u'#');
  EXPECT_EQ(os::GetErrorText(os::kErrorFileNotFound, out, length + 1), length);
  EXPECT_EQ(std::u16string(out), std::u16string(text));
  EXPECT_EQ(os::GetErrorText(0xDEADBEEFu, out, 512), 0u);
}

}  // namespace
