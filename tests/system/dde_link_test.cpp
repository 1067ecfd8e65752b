// One process: the single-instance rule, duplicate registrations, missing
// conversations and the capabilities provider.
#include "system/dde.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "support/log_text.h"
#include "system/caps.h"
#include "base/private_heap.h"
#include "base/wide_string.h"

namespace {

// Names no publisher of the other tests uses.
constexpr char kLocalService[] = "QVTEST_LOCAL";

int NoData(void*, const char16_t*, void**, std::uint32_t*) { return 0; }

TEST(DdeLink, ASecondLinkStaysNotReady) {
  qvtest::DebugLogCapture log;
  qvDDE first;
  ASSERT_TRUE(first.IsReady());
  {
    qvDDE second;
    EXPECT_FALSE(second.IsReady());
    EXPECT_EQ(second.CreateServer("QVTEST_SECOND"), 0);
    EXPECT_EQ(second.RegisterItem("ITEM", NoData, nullptr), 0);
    EXPECT_EQ(second.ConnectServer("QVTEST_SECOND"), 0);
    EXPECT_EQ(qvDDE::Instance(), &first);
  }
  EXPECT_EQ(qvDDE::Instance(), &first);
  EXPECT_TRUE(qvtest::Logged(log, "qvDDEクラスは複数作成出来ません"));
}

TEST(DdeLink, DuplicatesAndMissingConversationsAreRefusedWithTheirLines) {
  qvtest::DebugLogCapture log;
  {
    qvDDE link;
    ASSERT_TRUE(link.IsReady());
    ASSERT_EQ(link.CreateServer(kLocalService), 1);
    EXPECT_EQ(link.CreateServer(kLocalService), 0);
    ASSERT_EQ(link.RegisterItem("QVTEST_ITEM", NoData, nullptr), 1);
    EXPECT_EQ(link.RegisterItem("QVTEST_ITEM", NoData, nullptr), 0);

    char buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(link.ConnectServer("QVTEST_NOBODY"), 0);
    EXPECT_EQ(link.GetServerData("QVTEST_ITEM", buffer, 4, "QVTEST_NOBODY"), 0);
    EXPECT_EQ(buffer[0], 1);
  }
  EXPECT_EQ(qvDDE::Instance(), nullptr);
  EXPECT_TRUE(qvtest::Logged(log, "qvDDE : サーバ<QVTEST_LOCAL>は既に作成されています"));
  EXPECT_TRUE(qvtest::Logged(log, "qvDDE : トピック QVTEST_ITEM は既に登録されています"));
  EXPECT_TRUE(qvtest::Logged(log, "qvDDE::GetServerData  サーバ QVTEST_NOBODY に接続されていません"));
}

int OneByte(void*, const char16_t*, void** data, std::uint32_t* size) {
  *data = PrivateAlloc(0, 1);
  if (*data == nullptr) return 0;
  *static_cast<char*>(*data) = 'q';
  *size = 1;
  return 1;
}

// A link answers its own requests while it waits for them; an item's name
// may be a single letter.
TEST(DdeLink, ALinkServesItselfAnItemOfOneLetter) {
#ifdef _WIN32
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "Wine's DDE needs an X display";
#endif
  CreatePrivateHeap(1 << 20);
  {
    qvDDE link;
    ASSERT_EQ(link.CreateServer(kLocalService), 1);
    ASSERT_EQ(link.RegisterItem("Q", OneByte, nullptr), 1);
    ASSERT_EQ(link.ConnectServer(kLocalService), 1);
    char byte = 0;
    EXPECT_EQ(link.GetServerData("Q", &byte, 1, kLocalService), 1);
    EXPECT_EQ(byte, 'q');
  }
  DestroyPrivateHeap();
}

class CapsProvider : public ::testing::Test {
 protected:
  void SetUp() override {
    CreatePrivateHeap(1 << 20);
    caps_ = std::make_unique<qvCaps>(0, 0);
    caps_->directx_number = 0x90003;
    // What follows the text's terminator is never published.
    std::fill(std::begin(caps_->directx_text), std::end(caps_->directx_text), u'\xFFFF');
    CopyWide(caps_->directx_text, 128, u"9.0c");
    caps_->cpu.family = 15;
  }
  void TearDown() override {
    caps_.reset();
    DestroyPrivateHeap();
  }
  std::string Item(const char16_t* name) {
    void* data = nullptr;
    std::uint32_t size = 0;
    if (!CapsDdeProvider(caps_.get(), name, &data, &size)) return "<refused>";
    std::string bytes(static_cast<const char*>(data), size);
    PrivateFree(data);
    return bytes;
  }
  std::unique_ptr<qvCaps> caps_;
};

TEST_F(CapsProvider, PublishesTheThreeItems) {
  EXPECT_EQ(Item(u"QVCAPS_DDE_DXVER"), std::string("\x03\x00\x09\x00", 4));
  EXPECT_EQ(Item(u"QVCAPS_DDE_DXSTR"), std::string("9\0.\0000\0c\0\0\0\0\0", 12));
  const std::string cpu = Item(u"QVCAPS_DDE_CPU");
  ASSERT_EQ(cpu.size(), 576u);
  EXPECT_EQ(std::memcmp(cpu.data(), &caps_->cpu, 576), 0);
  EXPECT_EQ(Item(u"qvcaps_dde_cpu"), "<refused>");
  EXPECT_EQ(Item(u"QVCAPS_DDE_OTHER"), "<refused>");
}

TEST_F(CapsProvider, TextOfSixtyTwoUnitsFillsATakersBuffer) {
  CopyWide(caps_->directx_text, 128, std::u16string(62, u'x').c_str());
  EXPECT_EQ(Item(u"QVCAPS_DDE_DXSTR").size(), kCapsDxTextCapacity);
  CopyWide(caps_->directx_text, 128, std::u16string(63, u'x').c_str());
  EXPECT_GT(Item(u"QVCAPS_DDE_DXSTR").size(), kCapsDxTextCapacity);
}

}  // namespace
