#include <gtest/gtest.h>

#include "file/file_base.h"

namespace {

// A file kind that offers nothing answers every slot with the failure value.
TEST(FileBase, DefaultsMarkEveryOperationAsUnavailable) {
  qvFileBase file;
  char buffer[4] = {};
  char16_t name[4] = {};
  EXPECT_EQ(file.Open(u"x", QVFILE_READ | QVFILE_OPEN_EXISTING), 0);
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(file.Read(buffer, 4), -1);
  EXPECT_EQ(file.Write(buffer, 4), -1);
  EXPECT_EQ(file.GetPosition(), -1);
  EXPECT_EQ(file.Seek(0), -1);
  EXPECT_EQ(file.GetName(name, 4), nullptr);
  EXPECT_EQ(file.GetSizeOf(u"x"), 0xFFFFFFFFu);
  EXPECT_EQ(file.GetSize(), -1);
  EXPECT_EQ(file.GetHandle(), -1);
  EXPECT_EQ(file.Exists(u"x"), 0);
  EXPECT_EQ(file.GetAttributes(u"x"), 0xFFFFFFFFu);
  EXPECT_EQ(file.SetAttributes(u"x", 0x80), 0);
  EXPECT_EQ(file.Delete(u"x", 1), 0);
}

}  // namespace
