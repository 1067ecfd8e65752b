#include "util/thread.h"

#include <gtest/gtest.h>

#include <atomic>

#include "os/thread.h"

namespace {

enum : std::uint32_t { kCounterLock = 1, kGo = 10, kDone = 11, kManual = 12 };

struct Shared {
  std::atomic<int> calls{0};
  qvThread* seen = nullptr;
  void* argument = nullptr;
  int counter = 0;  // guarded by kCounterLock
};

TEST(qvThread, RunsTheProcedureWithItsArguments) {
  Shared shared;
  qvThread thread;
  ASSERT_NE(thread.Start(&shared, [](qvThread* self, void* argument) {
    auto* s = static_cast<Shared*>(argument);
    s->seen = self;
    s->argument = argument;
    ++s->calls;
  }), 0);
  EXPECT_NE(thread.GetThreadId(), 0u);
  thread.WaitForExit();
  EXPECT_EQ(shared.calls, 1);
  EXPECT_EQ(shared.seen, &thread);
  EXPECT_EQ(shared.argument, &shared);
  thread.Destroy();
  thread.Destroy();
}

TEST(qvThread, KeysAreUnique) {
  qvThread thread;
  EXPECT_EQ(thread.AddLock(1), 1);
  EXPECT_EQ(thread.AddLock(1), 0);
  EXPECT_EQ(thread.AddLock(2), 1);
  EXPECT_EQ(thread.AddEvent(1, 0, 0), 1);
  EXPECT_EQ(thread.AddEvent(1, 1, 0), 0);
}

TEST(qvThread, MissingKeysDoNothing) {
  qvThread thread;
  thread.Lock(5);
  thread.Unlock(5);
  thread.SetEvent(5);
  thread.ResetEvent(5);
  EXPECT_EQ(thread.Wait(5, 0), 0);
  thread.WaitForExit();  // never started
  thread.SetPriority(1);
  EXPECT_EQ(thread.AddEvent(6, 1, 1), 1);
  EXPECT_EQ(thread.Wait(5, 0), 0);
}

TEST(qvThread, EventsResetAsAsked) {
  qvThread thread;
  thread.AddEvent(kGo, 0, 1);
  thread.AddEvent(kManual, 1, 0);
  // Auto-reset: one wait takes the signal.
  EXPECT_EQ(thread.Wait(kGo, 0), 1);
  EXPECT_EQ(thread.Wait(kGo, 0), 0);
  EXPECT_EQ(thread.Wait(kManual, 1), 0);
  thread.SetEvent(kManual);
  EXPECT_EQ(thread.Wait(kManual, 0), 1);
  EXPECT_EQ(thread.Wait(kManual, 0), 1);
  thread.ResetEvent(kManual);
  EXPECT_EQ(thread.Wait(kManual, 0), 0);
}

TEST(qvThread, LocksAndEventsAcrossThreads) {
  Shared shared;
  qvThread thread;
  ASSERT_EQ(thread.AddLock(kCounterLock), 1);
  ASSERT_EQ(thread.AddEvent(kGo, 0, 0), 1);
  ASSERT_EQ(thread.AddEvent(kDone, 0, 0), 1);
  struct Context {
    Shared* shared;
    qvThread* owner;
  } context{&shared, &thread};

  constexpr int kRounds = 20000;
  ASSERT_NE(thread.Start(&context, [](qvThread* self, void* argument) {
    auto* c = static_cast<Context*>(argument);
    if (!self->Wait(kGo, os::kInfinite)) return;
    for (int i = 0; i < kRounds; ++i) {
      self->Lock(kCounterLock);
      ++c->shared->counter;
      self->Unlock(kCounterLock);
    }
    self->SetEvent(kDone);
  }), 0);
  thread.SetPriority(0);

  // Nothing runs until the owner says so.
  EXPECT_EQ(thread.Wait(kDone, 20), 0);
  thread.SetEvent(kGo);
  for (int i = 0; i < kRounds; ++i) {
    thread.Lock(kCounterLock);
    ++shared.counter;
    thread.Unlock(kCounterLock);
  }
  EXPECT_EQ(thread.Wait(kDone, 60000), 1);
  thread.WaitForExit();
  thread.Lock(kCounterLock);
  EXPECT_EQ(shared.counter, 2 * kRounds);
  thread.Unlock(kCounterLock);
  thread.Destroy();
}

}  // namespace
