// qvFile: each Read and Write is one system call; the object keeps its own
// count of the position.

#include "file/native_file.h"

#include "os/file.h"
#include "os/find.h"
#include "os/folders.h"
#include "os/process.h"
#include "base/debug_log.h"
#include "base/wide_string.h"

namespace {

constexpr std::uint32_t kInvalidDisposition = 0;

// One system disposition per flag bit, OR-ed: a single bit selects
// OPEN_EXISTING, CREATE_NEW or OPEN_ALWAYS, CREATE_NEW | OPEN_ALWAYS gives
// TRUNCATE_EXISTING, and any other mixture is not a disposition at all.
std::uint32_t DispositionOf(std::uint32_t flags) {
  std::uint32_t disposition = 0;
  if (flags & QVFILE_OPEN_EXISTING) disposition |= os::kOpenExisting;
  if (flags & QVFILE_CREATE_NEW) disposition |= os::kCreateNew;
  if (flags & QVFILE_OPEN_ALWAYS) disposition |= os::kOpenAlways;
  if (disposition < os::kCreateNew || disposition > os::kTruncateExisting)
    return kInvalidDisposition;
  return disposition;
}

// The first match of a find-first-file lookup; false when nothing matches.
bool FindFirstEntry(const char16_t* path, os::FindData* entry) {
  if (path == nullptr) return false;
  const os::Handle search = os::FindFirst(path, entry);
  if (search == os::kInvalidHandle) return false;
  os::FindClose(search);
  return true;
}

bool IsDirectory(std::uint32_t attributes) {
  return (attributes & os::kAttrDirectory) != 0;
}

// Keeps the system from asking the user about missing media while a path
// is looked up.
class CriticalErrorsOff {
 public:
  CriticalErrorsOff() : previous_(os::SetErrorMode(os::kSemFailCriticalErrors)) {}
  ~CriticalErrorsOff() { os::SetErrorMode(previous_); }
  CriticalErrorsOff(const CriticalErrorsOff&) = delete;
  CriticalErrorsOff& operator=(const CriticalErrorsOff&) = delete;

 private:
  std::uint32_t previous_;
};

[[noreturn]] void Fail(const char16_t* message) {
  AssertMessageW(message);
  EndProcessAfterAssert();
}

}  // namespace

qvFile::~qvFile() { Close(); }

int qvFile::Open(const char16_t* path, std::uint32_t flags) {
  if (handle_ != os::kInvalidHandle) Fail(u"既に違うファイルがオープンされています");
  if ((flags & (QVFILE_READ | QVFILE_WRITE)) == 0)
    Fail(u"QVFILE_READ 又は QVFILE_WRITE を指定してください");
  if ((flags & QVFILE_CREATE_ALWAYS) && (flags & QVFILE_READ))
    Fail(u"QVFILE_READ ではアクセス出来ません");

  // A cut copy of the name would name another file.
  if (path == nullptr || WideLength(path) >= kFileNameCapacity) return 0;

  os::Handle handle = os::kInvalidHandle;
  if (flags & QVFILE_CREATE_ALWAYS) {
    handle = os::OpenFileForRewrite(path);
  } else {
    const std::uint32_t disposition = DispositionOf(flags);
    if (disposition == kInvalidDisposition) return 0;
    // There is no read-and-write mode: with QVFILE_READ the handle only reads.
    if (flags & QVFILE_READ) {
      handle = os::OpenFile(path, os::kAccessRead, os::kShareRead, disposition, 0, 0);
    } else {
      handle = os::OpenFile(path, os::kAccessWrite, os::kShareNone, disposition,
                            os::kAttrNormal, 0);
    }
  }
  if (handle == os::kInvalidHandle) return 0;

  CopyWide(name_, kFileNameCapacity, path);
  flags_ = flags;
  handle_ = handle;
  position_ = 0;
  return 1;
}

// A failed close still lets go of the handle: the system has released it
// (or it was never valid), and closing it again could close a file opened
// since under the same number.
int qvFile::Close() {
  if (handle_ == os::kInvalidHandle) return 0;
  const bool closed = os::CloseFile(handle_);
  handle_ = os::kInvalidHandle;
  name_[0] = 0;
  return closed ? 1 : 0;
}

template <typename SystemCall>
std::int32_t qvFile::Transfer(std::uint32_t mode, const char16_t* wrong_mode, const void* buffer,
                              std::uint32_t count, SystemCall call, const char16_t* failed) {
  if ((flags_ & mode) == 0) {
    AssertMessageW(wrong_mode, name_);
    EndProcessAfterAssert();
  }
  if (buffer == nullptr && count != 0) return -1;
  std::uint32_t done = 0;
  if (!call(&done)) {
    DebugLogW(failed, static_cast<int>(os::GetLastError()));
    return -1;
  }
  position_ += done;
  return static_cast<std::int32_t>(done);
}

std::int32_t qvFile::Read(void* buffer, std::uint32_t count) {
  if (handle_ == os::kInvalidHandle) {
    DebugLogW(u"qvFile : ハンドルが無効です");
    return -1;
  }
  return Transfer(QVFILE_READ, u"読み込みモードでオープンされていません : %s", buffer, count,
                  [&](std::uint32_t* done) { return os::ReadFile(handle_, buffer, count, done); },
                  u"Read file failed : %d");
}

std::int32_t qvFile::Write(const void* buffer, std::uint32_t count) {
  if (handle_ == os::kInvalidHandle) return -1;
  return Transfer(QVFILE_WRITE, u"書き込みモードでオープンされていません : %s", buffer, count,
                  [&](std::uint32_t* done) { return os::WriteFile(handle_, buffer, count, done); },
                  u"Write file failed : %d");
}

std::int32_t qvFile::GetPosition() {
  if (handle_ == os::kInvalidHandle) return -1;
  return static_cast<std::int32_t>(position_);
}

std::int32_t qvFile::Seek(std::uint32_t position) {
  if (handle_ == os::kInvalidHandle) return -1;
  std::uint64_t full_size = 0;
  if (!os::GetFileSize(handle_, &full_size)) return -1;
  // A position at or past the end lands on the last byte, and in an empty
  // file on -1, which the system refuses.
  const std::uint32_t size = static_cast<std::uint32_t>(full_size);
  const std::uint32_t target = size > position ? position : size - 1;
  // The system takes a signed 32-bit distance.
  const std::int64_t moved =
      os::SeekFile(handle_, static_cast<std::int32_t>(target), os::kSeekBegin);
  position_ = moved < 0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(moved);
  return static_cast<std::int32_t>(position_);
}

const char16_t* qvFile::GetName(char16_t* destination, std::size_t capacity) {
  if (handle_ == os::kInvalidHandle) return nullptr;
  if (destination != nullptr && capacity > 0) CopyWide(destination, capacity, name_);
  return name_;
}

std::uint32_t qvFile::GetSizeOf(const char16_t* path) {
  return static_cast<std::uint32_t>(GetSize64Of(path));
}

std::int32_t qvFile::GetSize() {
  if (handle_ == os::kInvalidHandle) return -1;
  std::uint64_t size = 0;
  if (!os::GetFileSize(handle_, &size)) return -1;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(size));
}

std::intptr_t qvFile::GetHandle() { return handle_; }

int qvFile::Exists(const char16_t* path) {
  CriticalErrorsOff quiet;
  os::FindData entry;
  return FindFirstEntry(path, &entry) && !IsDirectory(entry.attributes) ? 1 : 0;
}

std::uint32_t qvFile::GetAttributes(const char16_t* path) {
  if (path == nullptr) return os::kInvalidAttributes;
  CriticalErrorsOff quiet;
  return os::GetFileAttributes(path);
}

int qvFile::SetAttributes(const char16_t* path, std::uint32_t attributes) {
  if (path == nullptr) return 0;
  return os::SetFileAttributes(path, attributes) ? 1 : 0;
}

int qvFile::Delete(const char16_t* path, int force) {
  const std::uint32_t attributes = GetAttributes(path);
  if (attributes == os::kInvalidAttributes) return 0;
  // Folders are refused before anything is changed on them.
  if (IsDirectory(attributes)) return 0;
  if (force) {
    SetAttributes(path, os::kAttrNormal);
  } else if (attributes & (os::kAttrReadOnly | os::kAttrHidden | os::kAttrSystem)) {
    return 0;
  }
  return os::DeleteFile(path) ? 1 : 0;
}

std::uint64_t qvFile::GetSize64Of(const char16_t* path) {
  os::FindData entry;
  if (!FindFirstEntry(path, &entry) || IsDirectory(entry.attributes)) return 0;
  return entry.size;
}
