#include "file/archive.h"

#include <cstring>

#include "base/debug_log.h"
#include "util/text_search.h"
#include "base/wide_string.h"

namespace {

// The directory key: the name upper-cased with the engine's double-byte
// walk, so both sides of every lookup change case the same way.
std::u16string DirectoryKey(const char16_t* name) {
  std::u16string key(name);
  ToUpperText(key.data());
  return key;
}

bool FitsSlotName(const char16_t* name) {
  return name != nullptr && WideLength(name) < kArchiveNameCapacity;
}

}  // namespace

qvArchive::qvArchive() { SetSlotCount(kArchiveDefaultSlotCount); }

qvArchive::~qvArchive() {
  if (handle_ != os::kInvalidHandle) os::CloseFile(handle_);
}

int qvArchive::OpenFile(const char16_t* path) {
  if (handle_ != os::kInvalidHandle || path == nullptr) return 0;
  const os::Handle handle =
      os::OpenFile(path, os::kAccessRead, os::kShareRead, os::kOpenExisting, 0, 0);
  if (handle == os::kInvalidHandle) return 0;
  std::uint64_t size = 0;
  if (!os::GetFileSize(handle, &size)) {
    os::CloseFile(handle);
    return 0;
  }
  handle_ = handle;
  file_size_ = size;
  return 1;
}

int qvArchive::SetName(const char16_t* name) {
  if (!FitsSlotName(name)) return 0;
  name_ = name;
  return 1;
}

int qvArchive::SetSlotCount(std::uint32_t count) {
  if (count == 0 || AnySlotOpen()) return 0;
  auto slots = std::make_unique<qvArchiveSlot[]>(count);
  slots_ = std::move(slots);
  slot_count_ = count;
  return 1;
}

int qvArchive::AddMember(const char16_t* name, std::uint32_t offset, std::uint32_t size,
                         std::uint32_t extra) {
  if (!FitsSlotName(name)) return 0;
  directory_[DirectoryKey(name)] = qvArchiveEntry{offset, size, extra};
  return 1;
}

int qvArchive::SetKey(const void* key, std::size_t length) {
  auto schedule = std::make_unique<BlowfishSchedule>();
  if (!BlowfishSetKey(schedule.get(), key, length)) return 0;
  schedule_ = std::move(schedule);
  return 1;
}

void qvArchive::SetKeySchedule(const BlowfishSchedule& schedule) {
  schedule_ = std::make_unique<BlowfishSchedule>(schedule);
}

int qvArchive::Contains(const char16_t* name) const {
  if (name == nullptr) return 0;
  return directory_.count(DirectoryKey(name)) ? 1 : 0;
}

qvArchiveSlot* qvArchive::OpenMember(const char16_t* name) {
  if (name == nullptr) return nullptr;
  const std::lock_guard<std::mutex> hold(slot_lock_);
  qvArchiveSlot* slot = nullptr;
  for (std::uint32_t i = 0; i < slot_count_; ++i) {
    if (slots_[i].tag != kArchiveSlotTag) {
      slot = &slots_[i];
      break;
    }
  }
  if (slot == nullptr) {
    AssertMessageW(u"同時にオープンできるファイル数を超えています (MAX:%d) : %s",
                   static_cast<int>(slot_count_), name);
    EndProcessAfterAssert();
  }

  // A name the slot cannot hold whole is not a name of this directory.
  if (!FitsSlotName(name)) return nullptr;
  const auto found = directory_.find(DirectoryKey(name));
  if (found == directory_.end()) return nullptr;

  const qvArchiveEntry& entry = found->second;
  slot->start = entry.offset;
  slot->offset = entry.offset;
  slot->position = 0;
  slot->size = entry.size;
  CopyWide(slot->name, kArchiveNameCapacity, name);
  slot->extra = entry.extra;
  slot->tag = kArchiveSlotTag;
  return slot;
}

void qvArchive::CloseMember(qvArchiveSlot* slot) {
  const std::lock_guard<std::mutex> hold(slot_lock_);
  if (OwnsSlot(slot)) std::memset(slot, 0, sizeof *slot);
}

bool qvArchive::OwnsSlot(const qvArchiveSlot* slot) const {
  return slot != nullptr && slot >= slots_.get() && slot < slots_.get() + slot_count_;
}

bool qvArchive::AnySlotOpen() const {
  for (std::uint32_t i = 0; i < slot_count_; ++i)
    if (slots_[i].tag == kArchiveSlotTag) return true;
  return false;
}
