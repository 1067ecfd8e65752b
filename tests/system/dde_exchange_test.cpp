// Two processes: the peer publishes its capabilities, this process takes
// them. Under Wine the system's DDE needs an X display; without one the
// exchange cannot happen and the tests skip themselves.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "support/child_process.h"
#include "support/log_text.h"
#include "os/dde.h"
#include "peer_values.h"
#include "system/caps.h"
#include "system/dde.h"
#include "base/private_heap.h"

namespace {

std::intptr_t RefuseAll(os::DdeTransaction, std::uint32_t, os::DdeString*, os::DdeString*) {
  return 0;
}

class DdeExchange : public ::testing::Test {
 protected:
  // Starts the peer beside the test executable and waits (up to 20 s) until
  // it reports its service registered.
  void SetUp() override {
#ifdef _WIN32
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "Wine's DDE needs an X display";
#endif
    peer_ = std::make_unique<qvtest::ChildProcess>(qvtest::ProgramBesideTest("dde_peer"),
                                                   std::vector<std::string>{dir_.Native().string()});
    const auto ready = [&] { return std::filesystem::exists(dir_.Native(u"ready")); };
    for (int i = 0; i < 2000 && peer_->Started() && !ready(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(ready());
    CreatePrivateHeap(1 << 20);
  }
  // Asks the peer to stop; the child then waits for its end.
  void TearDown() override {
    dir_.WriteFile(u"stop", "stop");
    peer_.reset();
    DestroyPrivateHeap();
  }

  qvtest::ScratchDir dir_;
  std::unique_ptr<qvtest::ChildProcess> peer_;
};

TEST_F(DdeExchange, TheTakerGetsThePublishersRecord) {
  qvtest::DebugLogCapture log;
  qvDDE link;
  ASSERT_TRUE(link.IsReady());
  qvCaps caps(QVCAPS_DIRECTX | QVCAPS_CPU, 2);
  EXPECT_EQ(caps.directx_number, qvtest::kPeerDirectXNumber);
  EXPECT_EQ(std::u16string(caps.directx_text), qvtest::kPeerDirectXText);
  EXPECT_STREQ(caps.cpu.vendor, qvtest::kPeerVendor);
  EXPECT_EQ(caps.cpu.family, qvtest::kPeerFamily);
  EXPECT_EQ(caps.cpu.registry_mhz, qvtest::kPeerRegistryMhz);
  EXPECT_TRUE(qvtest::Logged(log, "DDEより環境情報を取得しました"));

  // The text item is 12 bytes: refused whole by a smaller buffer.
  char text[16];
  std::memset(text, 'z', sizeof text);
  EXPECT_EQ(link.GetServerData(kCapsItemDxText, text, 11, kDdeServiceName), 0);
  EXPECT_EQ(text[0], 'z');
  ASSERT_EQ(link.GetServerData(kCapsItemDxText, text, 12, kDdeServiceName), 1);
  EXPECT_EQ(std::string(text, 12), std::string("9\0.\0000\0c\0\0\0\0\0", 12));
  EXPECT_EQ(text[12], 'z');

  EXPECT_EQ(link.GetServerData("QVCAPS_DDE_NONE", text, 16, kDdeServiceName), 0);
  EXPECT_EQ(link.ConnectServer(kDdeServiceName), 0);
  EXPECT_TRUE(qvtest::Logged(log, "qvDDE : 既にサーバ<QVDDE_SERVER>に接続されています"));
}

TEST_F(DdeExchange, ConnectsOnlyOnTheLinksTopic) {
  os::DdeInstance instance = 0;
  ASSERT_TRUE(os::DdeInitialize(&instance, RefuseAll));
  os::DdeString* service = os::DdeCreateString(instance, u"qvdde_server");
  os::DdeString* topic = os::DdeCreateString(instance, u"QVDDE_TOPIC");
  os::DdeString* other = os::DdeCreateString(instance, u"QVDDE_OTHER");
  EXPECT_EQ(os::DdeConnect(instance, service, other), nullptr);
  os::DdeConversation* conversation = os::DdeConnect(instance, service, topic);
  EXPECT_NE(conversation, nullptr);
  if (conversation) os::DdeDisconnect(conversation);
  for (os::DdeString* name : {service, topic, other}) os::DdeFreeString(instance, name);
}

}  // namespace
