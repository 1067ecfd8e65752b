// The fault seam's counting and deciding, shared by both backends, and the
// QV_FAULT variable that arms it for a whole process.
#include "os/fault.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "os/file.h"
#include "os/process.h"

namespace os {

namespace fault_detail {
constinit std::atomic<bool> armed{false};
}  // namespace fault_detail

namespace {

constexpr const char* kNames[] = {
    "open",  "read",   "write",         "flush",         "set-times", "set-attributes", "rename",
    "delete", "create-folder", "remove-folder", "find",  "lock",      "query",          "any",
};
static_assert(std::size(kNames) == kFileOpKinds + 1);

// The plan in force, one field an atomic so that the slow path may read it
// on any thread; ArmFaults writes it before it sets `armed`.
struct State {
  std::atomic<FileOp> op{FileOp::kAny};
  std::atomic<std::uint64_t> nth{0};
  std::atomic<std::uint32_t> error{kFaultDefaultError};
  std::atomic<FaultAction> action{FaultAction::kFailOnce};
  std::atomic<FileOp> then_op{FileOp::kAny};
  std::atomic<std::uint64_t> then_nth{0};
  std::atomic<bool> crashed{false};
  std::atomic<bool> fired{false};
  std::atomic<std::uint64_t> counts[kFileOpKinds + 1] = {};
};
constinit State state;

void Fail(std::uint32_t error) {
  state.fired.store(true, std::memory_order_relaxed);
  SetLastError(error);
}

}  // namespace

const char* FileOpName(FileOp op) {
  const auto index = static_cast<std::size_t>(op);
  return index < std::size(kNames) ? kNames[index] : "";
}

void ArmFaults(const FaultPlan& plan) {
  fault_detail::armed.store(false, std::memory_order_release);
  for (auto& count : state.counts) count.store(0, std::memory_order_relaxed);
  state.op.store(plan.op, std::memory_order_relaxed);
  state.nth.store(plan.nth, std::memory_order_relaxed);
  state.error.store(plan.error, std::memory_order_relaxed);
  state.action.store(plan.action, std::memory_order_relaxed);
  state.then_op.store(plan.then_op, std::memory_order_relaxed);
  state.then_nth.store(plan.then_nth, std::memory_order_relaxed);
  state.crashed.store(false, std::memory_order_relaxed);
  state.fired.store(false, std::memory_order_relaxed);
  fault_detail::armed.store(true, std::memory_order_release);
}

void DisarmFaults() {
  fault_detail::armed.store(false, std::memory_order_release);
  state.crashed.store(false, std::memory_order_relaxed);
}

std::uint64_t FaultCallCount(FileOp op) {
  const auto index = static_cast<std::size_t>(op);
  return index <= kFileOpKinds ? state.counts[index].load(std::memory_order_relaxed) : 0;
}

bool FaultFired() { return state.fired.load(std::memory_order_relaxed); }

namespace {
constinit std::atomic<bool> flushes_reach_disk{true};
}  // namespace

void SetFlushesReachDisk(bool reach) {
  flushes_reach_disk.store(reach, std::memory_order_relaxed);
}

bool FlushesReachDisk() { return flushes_reach_disk.load(std::memory_order_relaxed); }

bool fault_detail::CountAndDecide(FileOp op) {
  const std::uint32_t error = state.error.load(std::memory_order_relaxed);
  if (state.crashed.load(std::memory_order_acquire)) {
    SetLastError(error);
    return true;
  }
  const auto index = static_cast<std::size_t>(op);
  if (index >= kFileOpKinds) return false;
  const std::uint64_t of_kind = state.counts[index].fetch_add(1, std::memory_order_relaxed) + 1;
  const std::uint64_t overall =
      state.counts[kFileOpKinds].fetch_add(1, std::memory_order_relaxed) + 1;

  auto call_of = [&](FileOp target) {
    return target == FileOp::kAny ? overall : target == op ? of_kind : 0;
  };
  const std::uint64_t then_nth = state.then_nth.load(std::memory_order_relaxed);
  if (then_nth != 0 && call_of(state.then_op.load(std::memory_order_relaxed)) == then_nth) {
    Fail(error);
    return true;
  }
  const std::uint64_t nth = state.nth.load(std::memory_order_relaxed);
  const std::uint64_t call = call_of(state.op.load(std::memory_order_relaxed));
  if (nth == 0 || call < nth) return false;
  switch (state.action.load(std::memory_order_relaxed)) {
    case FaultAction::kFailOnce:
      if (call != nth) return false;
      break;
    case FaultAction::kFailOnward:
      break;
    case FaultAction::kCrash:
      state.crashed.store(true, std::memory_order_release);
      break;
    case FaultAction::kExit:
      TerminateProcess(kFaultExitCode);
  }
  Fail(error);
  return true;
}

namespace {

// "KIND:N[+]:ERROR" or "KIND:N:crash"; see fault.h.
bool ParsePlan(const char* text, FaultPlan* plan) {
  const char* colon = std::strchr(text, ':');
  if (!colon) return false;
  const std::size_t name_length = static_cast<std::size_t>(colon - text);
  bool known = false;
  for (std::size_t i = 0; i < std::size(kNames) && !known; ++i) {
    if (std::strlen(kNames[i]) == name_length && std::strncmp(kNames[i], text, name_length) == 0) {
      plan->op = static_cast<FileOp>(i);
      known = true;
    }
  }
  if (!known) return false;

  char* end = nullptr;
  const char* number = colon + 1;
  if (*number < '0' || *number > '9') return false;
  plan->nth = std::strtoull(number, &end, 10);
  if (plan->nth == 0) return false;
  plan->action = FaultAction::kFailOnce;
  if (*end == '+') {
    plan->action = FaultAction::kFailOnward;
    ++end;
  }
  if (*end != ':') return false;
  const char* outcome = end + 1;
  if (std::strcmp(outcome, "crash") == 0 && plan->action == FaultAction::kFailOnce) {
    plan->action = FaultAction::kExit;
    return true;
  }
  if (*outcome < '0' || *outcome > '9') return false;
  const unsigned long long error = std::strtoull(outcome, &end, 10);
  if (*end != 0 || error == 0 || error > 0xFFFFFFFFull) return false;
  plan->error = static_cast<std::uint32_t>(error);
  return true;
}

bool ArmFromEnvironment() {
  const char* text = GetEnvironment("QV_FAULT");
  if (!text || !*text) return false;
  FaultPlan plan;
  if (!ParsePlan(text, &plan)) {
    std::fprintf(stderr, "QV_FAULT=%s ignored: expected KIND:N:ERROR, KIND:N+:ERROR or KIND:N:crash\n",
                 text);
    return false;
  }
  ArmFaults(plan);
  return true;
}

const bool armed_from_environment = ArmFromEnvironment();

}  // namespace

}  // namespace os
