#include "util/thread.h"

#include <gtest/gtest.h>

#include "os/sync.h"

namespace {

enum : std::uint32_t { kCounterLock = 1, kGo = 10, kDone = 11, kManual = 12 };

TEST(qvThread, KeysAndEventKinds) {
  qvThread thread;
  EXPECT_EQ(thread.AddLock(kCounterLock), 1);
  EXPECT_EQ(thread.AddLock(kCounterLock), 0);
  EXPECT_EQ(thread.AddEvent(kGo, 0, 1), 1);
  EXPECT_EQ(thread.AddEvent(kGo, 1, 0), 0);
  EXPECT_EQ(thread.AddEvent(kManual, 1, 0), 1);
  // Auto-reset: one wait takes the signal; manual: it stays until reset.
  EXPECT_EQ(thread.Wait(kGo, 0), 1);
  EXPECT_EQ(thread.Wait(kGo, 0), 0);
  thread.SetEvent(kManual);
  EXPECT_EQ(thread.Wait(kManual, 0), 1);
  EXPECT_EQ(thread.Wait(kManual, 0), 1);
  thread.ResetEvent(kManual);
  EXPECT_EQ(thread.Wait(kManual, 1), 0);
  // Keys that were never added do nothing.
  thread.Lock(99);
  thread.SetEvent(99);
  EXPECT_EQ(thread.Wait(99, 0), 0);
  thread.Destroy();
  thread.Destroy();
}

struct Context {
  qvThread* seen = nullptr;
  int counter = 0;  // guarded by kCounterLock
};
constexpr int kRounds = 20000;

void CountWhenAsked(qvThread* self, void* argument) {
  auto* context = static_cast<Context*>(argument);
  context->seen = self;
  if (!self->Wait(kGo, os::kInfinite)) return;
  for (int i = 0; i < kRounds; ++i) {
    self->Lock(kCounterLock);
    ++context->counter;
    self->Unlock(kCounterLock);
  }
  self->SetEvent(kDone);
}

TEST(qvThread, LocksAndEventsAcrossThreads) {
  Context context;
  qvThread thread;
  ASSERT_EQ(thread.AddLock(kCounterLock), 1);
  ASSERT_EQ(thread.AddEvent(kGo, 0, 0), 1);
  ASSERT_EQ(thread.AddEvent(kDone, 0, 0), 1);
  ASSERT_NE(thread.Start(&context, CountWhenAsked), 0);
  EXPECT_NE(thread.GetThreadId(), 0u);

  // Nothing is counted until the owner says so.
  EXPECT_EQ(thread.Wait(kDone, 20), 0);
  thread.SetEvent(kGo);
  for (int i = 0; i < kRounds; ++i) {
    thread.Lock(kCounterLock);
    ++context.counter;
    thread.Unlock(kCounterLock);
  }
  EXPECT_EQ(thread.Wait(kDone, 60000), 1);
  thread.WaitForExit();
  EXPECT_EQ(context.seen, &thread);
  EXPECT_EQ(context.counter, 2 * kRounds);

  // Destroyed, the object starts a thread again (its events are gone, so
  // this one ends at once).
  thread.Destroy();
  EXPECT_EQ(thread.GetThreadId(), 0u);
  context.seen = nullptr;
  ASSERT_NE(thread.Start(&context, CountWhenAsked), 0);
  thread.WaitForExit();
  EXPECT_EQ(context.seen, &thread);
}

}  // namespace
