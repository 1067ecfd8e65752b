#include <gtest/gtest.h>

#include <atomic>

#include "os/sync.h"
#include "os/thread.h"

namespace {

// Polls until the thread has ended; bounded so that a fault fails the test
// instead of hanging it.
bool WaitForExit(os::Thread* thread) {
  for (int i = 0; i < 10000; ++i) {
    if (os::GetThreadExitCode(thread) != os::kStillActive) return true;
    os::Sleep(1);
  }
  return false;
}

struct Handshake {
  os::Event* go;
  os::Event* done;
  std::atomic<bool> ran{false};
};

TEST(Thread, ExitCodeIsStillActiveUntilTheProcedureReturns) {
  Handshake shake{os::CreateEvent(false, false), os::CreateEvent(true, false)};
  std::uint32_t id = 0;
  os::Thread* thread = os::StartThread(
      [](void* raw) {
        auto* s = static_cast<Handshake*>(raw);
        os::WaitForEvent(s->go, os::kInfinite);
        s->ran = true;
        os::SetEvent(s->done);
      },
      &shake, &id);
  ASSERT_NE(nullptr, thread);
  EXPECT_NE(0u, id);
  EXPECT_TRUE(os::SetThreadPriority(thread, 1));
  EXPECT_EQ(os::kStillActive, os::GetThreadExitCode(thread));
  os::SetEvent(shake.go);
  EXPECT_EQ(os::WaitResult::kSignalled, os::WaitForEvent(shake.done, 10000));
  ASSERT_TRUE(WaitForExit(thread));
  EXPECT_EQ(0u, os::GetThreadExitCode(thread));
  EXPECT_EQ(os::kUnknownExitCode, os::GetThreadExitCode(nullptr));
  EXPECT_TRUE(shake.ran);
  os::CloseThread(thread);
  os::CloseEvent(shake.go);
  os::CloseEvent(shake.done);
}

TEST(Thread, HandleMayBeClosedWhileRunning) {
  Handshake shake{os::CreateEvent(true, false), nullptr};
  os::Thread* thread = os::StartThread(
      [](void* raw) {
        auto* s = static_cast<Handshake*>(raw);
        os::WaitForEvent(s->go, 10000);
        s->ran = true;
      },
      &shake, nullptr);
  ASSERT_NE(nullptr, thread);
  os::CloseThread(thread);
  os::SetEvent(shake.go);
  for (int i = 0; i < 10000 && !shake.ran; ++i) os::Sleep(1);
  EXPECT_TRUE(shake.ran);
  os::CloseEvent(shake.go);
}

struct Counter {
  os::CriticalSection* lock;
  long value = 0;
};

void AddMany(void* raw) {
  auto* counter = static_cast<Counter*>(raw);
  for (int i = 0; i < 20000; ++i) {
    os::EnterCriticalSection(counter->lock);
    os::EnterCriticalSection(counter->lock);  // recursive
    ++counter->value;
    os::LeaveCriticalSection(counter->lock);
    os::LeaveCriticalSection(counter->lock);
  }
}

TEST(CriticalSection, SerialisesAndIsRecursive) {
  Counter counter{os::CreateCriticalSection()};
  os::Thread* a = os::StartThread(AddMany, &counter, nullptr);
  os::Thread* b = os::StartThread(AddMany, &counter, nullptr);
  ASSERT_TRUE(WaitForExit(a));
  ASSERT_TRUE(WaitForExit(b));
  EXPECT_EQ(40000, counter.value);
  os::CloseThread(a);
  os::CloseThread(b);
  os::DeleteCriticalSection(counter.lock);
}

}  // namespace
