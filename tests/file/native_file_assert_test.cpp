// Calling errors end the process after the assertion box. Under Wine the box
// is a real message box, so these run natively.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "file/native_file.h"
#include "os/process.h"
#include "test_support.h"

namespace {

const auto kAssertExit = ::testing::ExitedWithCode(3);

// The child that a death test starts never cleans up, so the files live in
// a fixed folder beside the test executable instead of a scratch folder.
class NativeFileDeath : public ::testing::Test {
 protected:
  void SetUp() override {
    char16_t module[1024] = {};
    os::GetModulePath(module, 1024);
    folder_ = std::filesystem::path(std::u16string(module)).parent_path() / "death_files";
    qvtest::WriteBytes(folder_ / "a.txt", "abc");
  }
  std::u16string Path(std::u16string_view name) const {
    return (folder_ / std::filesystem::path(name)).u16string();
  }
  std::filesystem::path folder_;
};

TEST_F(NativeFileDeath, CallingErrorsEndTheProcessNamingTheFault) {
  qvFile reader, writer, unopened;
  EXPECT_EXIT(unopened.Open(Path(u"a.txt").c_str(), QVFILE_OPEN_EXISTING), kAssertExit,
              "QVFILE_READ 又は QVFILE_WRITE を指定してください");
  EXPECT_EXIT(unopened.Open(Path(u"a.txt").c_str(), QVFILE_READ | QVFILE_WRITE | QVFILE_CREATE_ALWAYS),
              kAssertExit, "QVFILE_READ ではアクセス出来ません");
  EXPECT_EQ(qvtest::ReadBytes(folder_ / "a.txt"), "abc");
  ASSERT_EQ(reader.Open(Path(u"a.txt").c_str(), 0x101), 1);
  EXPECT_EXIT(reader.Open(Path(u"a.txt").c_str(), 0x101), kAssertExit,
              "既に違うファイルがオープンされています");
  EXPECT_EXIT(reader.Write("x", 1), kAssertExit, "書き込みモードでオープンされていません : .*a\\.txt");
  ASSERT_EQ(writer.Open(Path(u"b.txt").c_str(), 0x402), 1);
  char buffer[4];
  EXPECT_EXIT(writer.Read(buffer, 4), kAssertExit, "読み込みモードでオープンされていません : .*b\\.txt");
}

}  // namespace

#endif  // _WIN32
