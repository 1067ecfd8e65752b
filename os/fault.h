// The fault seam: makes a chosen file operation fail, or the process
// "crash", so that tests can prove what the code does on a full disk, a
// refused access or a crash without root, mounts or real hardware.
//
// Every file operation of both backends starts with FaultInjected(kind).
// While the seam is disarmed that is one relaxed atomic load and nothing
// else. Armed, it counts the call (per kind and overall) and fails the one
// the plan names:
//
//   os::ArmFaults({});                          // count only
//   RunInstall();
//   std::uint64_t writes = os::FaultCallCount(os::FileOp::kWrite);
//   for (std::uint64_t n = 1; n <= writes; ++n) {
//     os::ArmFaults({os::FileOp::kWrite, n, os::kErrorDiskFull});
//     RunInstall();   // the n-th write fails with error 112
//     os::DisarmFaults();
//     CheckTree();
//   }
//
// Counts: a call is counted by its kind and by the overall count. A kind's
// count is deterministic from run to run when the calls of that kind are
// issued in a fixed order (by one thread, or by threads that take turns);
// the overall count is not once two threads issue calls at the same time
// (the copy engine's reader and writer), so sweeps go kind by kind.
//
// Two faults: a plan may name a second call (then_op, then_nth) that fails
// once with the same error, so that a test can fail the clean-up (a
// rollback) that the first failure started.
//
// Crash: from the crashing call on, every fault point fails with the plan's
// error, on every thread, until DisarmFaults. Nothing more reaches the
// disk, so the code under test may run on; the test then disarms the seam
// and runs recovery as a new process would. It models a killed process,
// not a power cut: what was written before the crash stays, flushed or not.
// Closing handles and ending searches are no fault points, because a dead
// process's handles are closed by the system as well.
//
// The process-level form for the real executables is the QV_FAULT
// environment variable, read once at start-up:
//
//   QV_FAULT=KIND:N:ERROR      the N-th call of KIND fails with ERROR (decimal)
//   QV_FAULT=KIND:N+:ERROR     the N-th and every later call of KIND fail
//   QV_FAULT=KIND:N:crash      the process ends at once at the N-th call of
//                              KIND, without any clean-up, exit code 137
//
// KIND is one of the names FileOpName gives ("write", "create-folder", ...),
// or "any" for the N-th file operation of any kind. A value that does not
// parse is reported on standard error and ignored.
#pragma once

#include <atomic>
#include <cstdint>

namespace os {

// Kinds of file operations, each a fault point of its own.
enum class FileOp : std::uint8_t {
  kOpen,           // opening or creating a file; reading version information
  kRead,           // reading from a file
  kWrite,          // writing to a file
  kFlush,          // flushing a file or a folder's entries to the disk
  kSetTimes,       // setting a file's times
  kSetAttributes,  // setting attribute bits
  kRename,         // renaming or moving an entry
  kDelete,         // deleting a file
  kCreateFolder,   // creating a folder
  kRemoveFolder,   // removing a folder
  kFind,           // each step of a folder search (first and next)
  kLock,           // taking a lock, probing another program's mutex
  kQuery,          // asking without changing anything: attributes, sizes,
                   // times, positions, free space, sector size
  kAny,            // not a kind of its own: every kind together
};
inline constexpr int kFileOpKinds = static_cast<int>(FileOp::kAny);

// "open", "read", ..., "create-folder", ..., "any".
const char* FileOpName(FileOp op);

enum class FaultAction : std::uint8_t {
  kFailOnce,    // the n-th call fails; later ones work again
  kFailOnward,  // the n-th and every later call of the kind fail (a full disk)
  kCrash,       // the n-th and every later file operation of any kind fail
  kExit,        // the process ends at once at the n-th call, exit code 137
};

// The failing calls' error unless the plan names another: ERROR_IO_DEVICE.
inline constexpr std::uint32_t kFaultDefaultError = 1117;
inline constexpr std::uint32_t kFaultExitCode = 137;

struct FaultPlan {
  FileOp op = FileOp::kAny;  // the calls that count towards `nth`
  std::uint64_t nth = 0;     // 1 is the first call after arming; 0 counts only
  std::uint32_t error = kFaultDefaultError;  // the failing calls' last error
  FaultAction action = FaultAction::kFailOnce;
  // A second call that fails once as well (0: none), counted as `nth` is:
  // a failure while the code cleans up after the first one.
  FileOp then_op = FileOp::kAny;
  std::uint64_t then_nth = 0;
};

// Sets every count to 0 and the plan in force. Arm and disarm between runs,
// while no file operation is in flight.
void ArmFaults(const FaultPlan& plan);
// Back to normal operation; the counts keep their values for reading.
void DisarmFaults();

// Calls counted since ArmFaults: of one kind, or of every kind with kAny.
std::uint64_t FaultCallCount(FileOp op);
// Whether the plan's fault has happened since ArmFaults.
bool FaultFired();

// For sweeps that run a whole install thousands of times: with `reach`
// false, a flush stays a fault point (counted, failed or crashed as the
// plan says) and checks its handle, but a flush that is not failed
// succeeds without waiting for the disk. For the whole process until set
// back; a crash of the seam is not a power cut, so nothing it proves
// depends on the disk's cache. Default: flushes reach the disk.
void SetFlushesReachDisk(bool reach);
bool FlushesReachDisk();

namespace fault_detail {
extern std::atomic<bool> armed;
bool CountAndDecide(FileOp op);
}  // namespace fault_detail

// The fault point at the start of a file operation: true when the call must
// fail, the last error being set.
inline bool FaultInjected(FileOp op) {
  return fault_detail::armed.load(std::memory_order_relaxed) &&
         fault_detail::CountAndDecide(op);
}

}  // namespace os
