#include "system/framework.h"

#include <gtest/gtest.h>

#include "file/file_server.h"
#include "system/caps.h"
#include "system/dde.h"
#include "base/debug_log.h"
#include "support/debug_log_capture.h"
#include "base/private_heap.h"

namespace {

// Everything but the quarter-second clock measurement.
constexpr std::uint32_t kQuickFlags = 127 & ~QVCAPS_CPU_CLOCK;

bool HeapExists() {
  void* block = PrivateAlloc(0, 16);
  if (block == nullptr) return false;
  PrivateFree(block);
  return true;
}

TEST(Framework, StartingTwiceCreatesNothingNew) {
  EXPECT_EQ(StartFramework(kQuickFlags, 0), 1);
  const qvCaps* caps = qvCaps::Instance();
  qvFileServer* server = qvFileServer::Instance();
  ASSERT_NE(caps, nullptr);
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(qvDDE::Instance(), nullptr);  // mode 0 makes no link
  EXPECT_TRUE(HeapExists());

  EXPECT_EQ(StartFramework(kQuickFlags, 0), 1);
  EXPECT_EQ(qvCaps::Instance(), caps);
  EXPECT_EQ(qvFileServer::Instance(), server);

  EndFramework();
  EXPECT_EQ(qvCaps::Instance(), nullptr);
  EXPECT_EQ(qvFileServer::Instance(), nullptr);
  EXPECT_FALSE(HeapExists());
}

TEST(Framework, TheHeapIsTenMebibytesAndTheLogEndsWithTheShutdown) {
  qvtest::DebugLogCapture capture;
  StartFramework(kQuickFlags, 0);
  DebugLog("after start-up");
  EndFramework();
  DebugLog("after shutdown");
  const std::string log = capture.Contents();
  // Shift-JIS, as the engine's log is read.
  const std::size_t created = log.find(
      "\x83q\x81[\x83v\x82\xf0\x8d\xec\x90\xac\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" "B"
      " size = 10485760 (0xa00000) byte (10.000000MB)");
  const std::size_t started = log.find("after start-up");
  const std::size_t destroyed =
      log.find("\x83q\x81[\x83v\x82\xf0\x94j\x8a\xfc\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" "B");
  ASSERT_NE(created, std::string::npos) << log;
  ASSERT_NE(destroyed, std::string::npos) << log;
  EXPECT_LT(created, started);
  EXPECT_LT(started, destroyed);
  EXPECT_EQ(log.find("after shutdown"), std::string::npos) << log;
}

TEST(Framework, ShutdownReleasesOnlyWhatItCreated) {
  // A record and a file server made before start-up belong to their owner.
  qvCaps own_caps(0, 0);
  auto* own_server = new qvFileServer();
  StartFramework(kQuickFlags, 0);
  EXPECT_EQ(qvCaps::Instance(), &own_caps);
  EXPECT_EQ(qvFileServer::Instance(), own_server);
  EndFramework();
  EXPECT_EQ(qvCaps::Instance(), &own_caps);
  EXPECT_EQ(qvFileServer::Instance(), own_server);
  delete own_server;
}

TEST(Framework, PublishingModeCreatesAndReleasesTheLink) {
  StartFramework(QVCAPS_OS, 1);
  qvDDE* link = qvDDE::Instance();
  ASSERT_NE(link, nullptr);
  EXPECT_TRUE(link->IsReady());
  EXPECT_EQ(qvCaps::Instance()->dde_mode, 1);
  StartFramework(QVCAPS_OS, 1);
  EXPECT_EQ(qvDDE::Instance(), link);
  EndFramework();
  EXPECT_EQ(qvDDE::Instance(), nullptr);
  EXPECT_EQ(qvCaps::Instance(), nullptr);
}

TEST(Framework, ACallersLinkForgetsTheRecordThatShutdownReleases) {
  qvDDE link;  // made before start-up: the caller's, which outlives it
  ASSERT_TRUE(link.IsReady());
  StartFramework(QVCAPS_OS, 1);
  // The record has published its items on the caller's link ...
  EXPECT_EQ(link.RegisterItem(kCapsItemCpu, nullptr, nullptr), 0);
  EndFramework();
  EXPECT_EQ(qvDDE::Instance(), &link);
  // ... and withdrew them when it was released: the names are free again.
  EXPECT_EQ(link.RegisterItem(kCapsItemCpu, nullptr, nullptr), 1);
  EXPECT_EQ(link.RegisterItem(kCapsItemDxVersion, nullptr, nullptr), 1);
  EXPECT_EQ(link.RegisterItem(kCapsItemDxText, nullptr, nullptr), 1);
}

}  // namespace
