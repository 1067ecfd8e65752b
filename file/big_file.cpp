#include "file/big_file.h"

#include <algorithm>
#include <cstring>

#include "os/file.h"
#include "base/debug_log.h"
#include "base/wide_string.h"

namespace {

constexpr std::uint32_t kBlock = 8;
constexpr std::uint32_t kNormalAttributes = 0x80;

std::uint32_t BlockFloor(std::uint32_t value) { return value & ~(kBlock - 1); }

}  // namespace

qvBigFile::~qvBigFile() {
  if (slot_ != nullptr) Close();
}

bool qvBigFile::IsOpen() const {
  return archive_ != nullptr && slot_ != nullptr && slot_->tag == kArchiveSlotTag;
}

int qvBigFile::Open(const char16_t* name, std::uint32_t flags) {
  if (archive_ == nullptr || (flags & QVFILE_READ) == 0) return 0;
  // Opening again would leak the slot that is held.
  if (IsOpen()) return 0;
  slot_ = archive_->OpenMember(name);
  open_failed_ = slot_ == nullptr;
  return slot_ != nullptr ? 1 : 0;
}

int qvBigFile::Close() {
  if (!IsOpen()) return 0;
  archive_->CloseMember(slot_);
  slot_ = nullptr;
  open_failed_ = false;
  return 1;
}

std::int32_t qvBigFile::Read(void* buffer, std::uint32_t count) {
  if (archive_ == nullptr) {
    DebugLogW(u"qvBigFile : 統合ファイルがオープンされていません");
    return -1;
  }
  if (slot_ == nullptr && !open_failed_) {
    DebugLogW(u"qvBigFile : ファイルハンドルが無効です");
    return -1;
  }
  if (!IsOpen()) return 0;
  if (buffer == nullptr) {
    AssertMessageW(u"読み込み先バッファが指定されていません");
    EndProcessAfterAssert();
  }
  if (count == 0 || slot_->position >= slot_->size) return 0;
  if (archive_->GetHandle() == os::kInvalidHandle) return FailRead(u"読み込みに失敗 (%s:%d)");

  // Never past the member's end, nor past the end of the archive file,
  // whatever the directory claims.
  std::uint32_t amount = std::min(count, slot_->size - slot_->position);
  const std::uint64_t file_size = archive_->GetFileSize();
  const std::uint64_t offset = std::uint64_t{slot_->start} + slot_->position;
  if (!archive_->IsEnciphered()) {
    if (offset >= file_size) return 0;
    amount = static_cast<std::uint32_t>(std::min<std::uint64_t>(amount, file_size - offset));
  }
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  return archive_->IsEnciphered() ? ReadEnciphered(bytes, amount) : ReadPlain(bytes, amount);
}

// Positioned reads: members read on different threads share the archive's
// one handle, never a file pointer.
bool qvBigFile::ReadAt(std::uint64_t offset, void* destination, std::uint32_t count) const {
  if (offset + count > archive_->GetFileSize()) return false;
  std::uint32_t done = 0;
  return os::ReadFileAt(archive_->GetHandle(), offset, destination, count, &done) &&
         done == count;
}

std::int32_t qvBigFile::FailRead(const char16_t* format) {
  DebugLogW(format, slot_->name, static_cast<int>(slot_->size));
  return -1;
}

std::int32_t qvBigFile::ReadPlain(std::uint8_t* buffer, std::uint32_t amount) {
  const std::uint64_t offset = std::uint64_t{slot_->start} + slot_->position;
  std::uint32_t done = 0;
  if (!os::ReadFileAt(archive_->GetHandle(), offset, buffer, amount, &done))
    return FailRead(u"読み込みに失敗 (%s:%d)");
  slot_->offset += done;
  slot_->position += done;
  return static_cast<std::int32_t>(done);
}

// Complete 8-byte blocks, counted from the member's start, are stored
// enciphered; the last size mod 8 bytes are plain.
std::int32_t qvBigFile::ReadEnciphered(std::uint8_t* buffer, std::uint32_t amount) {
  const BlowfishSchedule& schedule = *archive_->GetSchedule();
  const std::uint32_t size = slot_->size;
  const std::uint32_t start = slot_->start;
  std::uint32_t position = slot_->position;
  std::uint32_t delivered = 0;
  std::uint8_t block[kBlock];

  // Head: the rest of a partly read enciphered block.
  const std::uint32_t skew = position % kBlock;
  if (skew != 0 && BlockFloor(position) != BlockFloor(size)) {
    std::memset(block, 0, sizeof block);
    if (!ReadAt(std::uint64_t{start} + position - skew, block, kBlock))
      return FailRead(u"読み込みに失敗 (%s:%d)");
    BlowfishDecipherBlocks(schedule, block, 1);
    const std::uint32_t part = std::min(kBlock - skew, amount);
    std::memcpy(buffer, block + skew, part);
    delivered += part;
    position += part;
  }

  // Body: whole blocks straight into the caller's buffer.
  const std::uint32_t body = BlockFloor(amount - delivered);
  if (body > 0) {
    if (!ReadAt(std::uint64_t{start} + position, buffer + delivered, body))
      return FailRead(u"読み込みに失敗 (%s:%d)");
    BlowfishDecipherBlocks(schedule, buffer + delivered, body / kBlock);
    delivered += body;
    position += body;
  }

  // Tail: fewer than 8 bytes, plain at the member's end or from the next
  // enciphered block.
  const std::uint32_t rest = amount - delivered;
  if (rest > 0) {
    if (size - position < kBlock) {
      if (!ReadAt(std::uint64_t{start} + position, buffer + delivered, rest))
        return FailRead(u"暗号化解除エラー (%s:%d)");
    } else {
      std::memset(block, 0, sizeof block);
      if (!ReadAt(std::uint64_t{start} + position, block, kBlock))
        return FailRead(u"暗号化解除エラー (%s:%d)");
      BlowfishDecipherBlocks(schedule, block, 1);
      std::memcpy(buffer + delivered, block, rest);
    }
    position += rest;
  }

  slot_->offset += amount;
  slot_->position = position;
  return static_cast<std::int32_t>(amount);
}

std::int32_t qvBigFile::GetPosition() { return IsOpen() ? static_cast<std::int32_t>(slot_->position) : 0; }

std::int32_t qvBigFile::Seek(std::uint32_t position) {
  return Move(static_cast<std::int32_t>(position), 0);
}

std::int32_t qvBigFile::Move(std::int32_t distance, int origin) {
  if (origin != 0 && origin != 1) {
    AssertMessageW(u"ファイルポインタ移動タイプが不正です");
    EndProcessAfterAssert();
  }
  if (!IsOpen()) return 0;
  // Seek takes its position unsigned; a relative move may go back, but not
  // before the start.
  const std::int64_t requested = origin == 1 ? std::int64_t{slot_->position} + distance
                                             : std::int64_t{static_cast<std::uint32_t>(distance)};
  const std::uint32_t target = requested < 0 ? 0 : static_cast<std::uint32_t>(std::min<std::int64_t>(requested, 0xFFFFFFFF));
  const std::uint32_t size = slot_->size;
  if (target >= size) {
    // The last byte, but an empty member has none: it stays at 0.
    slot_->position = size > 0 ? size - 1 : 0;
    slot_->offset = slot_->start + slot_->position;
    return static_cast<std::int32_t>(size);
  }
  slot_->position = target;
  slot_->offset = slot_->start + target;
  return static_cast<std::int32_t>(target);
}

const char16_t* qvBigFile::GetName(char16_t* destination, std::size_t capacity) {
  if (!IsOpen()) return nullptr;
  if (destination != nullptr) CopyWide(destination, capacity, slot_->name);
  return slot_->name;
}

std::int32_t qvBigFile::GetSize() {
  if (archive_ == nullptr || (slot_ == nullptr && !open_failed_)) return -1;
  return IsOpen() ? static_cast<std::int32_t>(slot_->size) : 0;
}

int qvBigFile::Exists(const char16_t* name) {
  return archive_ != nullptr ? archive_->Contains(name) : 0;
}

std::uint32_t qvBigFile::GetAttributes(const char16_t*) { return kNormalAttributes; }
