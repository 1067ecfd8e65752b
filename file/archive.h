// qvArchive: one large file on disk holding many members, with a directory
// from member names to byte ranges and a fixed number of member slots that
// qvBigFile objects read through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "file/blowfish.h"
#include "os/file.h"

inline constexpr std::uint32_t kArchiveSlotTag = 0x4E45504F;  // "OPEN" in memory
inline constexpr std::size_t kArchiveNameCapacity = 260;
inline constexpr std::uint32_t kArchiveDefaultSlotCount = 16;

struct qvArchiveEntry {
  std::uint32_t offset;
  std::uint32_t size;
  std::uint32_t extra;  // carried into the slot, not used for reading
};

struct qvArchiveSlot {
  std::uint32_t tag;       // kArchiveSlotTag while in use, else 0
  std::uint32_t start;     // member start in the archive file
  std::uint32_t offset;    // current absolute offset in the archive file
  std::uint32_t position;  // position within the member
  std::uint32_t size;
  char16_t name[kArchiveNameCapacity];  // as the caller asked for it
  std::uint32_t extra;
};

class qvArchive {
 public:
  qvArchive();
  qvArchive(const qvArchive&) = delete;
  qvArchive& operator=(const qvArchive&) = delete;
  ~qvArchive();

  // Building an archive object. The on-disk directory format is not the
  // engine's business; the owner fills the directory from whatever it
  // knows.

  // Opens the archive file for reading; 0 when it cannot be opened or one
  // is open already.
  int OpenFile(const char16_t* path);
  // The name the file server matches against a logical name's folder part.
  int SetName(const char16_t* name);
  // 0 (nothing changed) while any member is open, or for a count of 0.
  int SetSlotCount(std::uint32_t count);
  // Adds or replaces a directory entry; 0 for a missing or too long name.
  int AddMember(const char16_t* name, std::uint32_t offset, std::uint32_t size,
                std::uint32_t extra = 0);
  // Marks the archive enciphered, with a schedule derived from `key` by the
  // standard key setup or given whole. 0 for a key the setup refuses.
  int SetKey(const void* key, std::size_t length);
  void SetKeySchedule(const BlowfishSchedule& schedule);

  // Member access.
  int Contains(const char16_t* name) const;
  // A free slot opened on `name`, or null when the name is not in the
  // directory. Every slot in use is a calling error that ends the process.
  // Slots are claimed and freed under a lock, so members may be opened on
  // several threads (the file server's preloading thread and its owner).
  qvArchiveSlot* OpenMember(const char16_t* name);
  void CloseMember(qvArchiveSlot* slot);
  bool OwnsSlot(const qvArchiveSlot* slot) const;

  const char16_t* GetName() const { return name_.c_str(); }
  std::uint32_t GetSlotCount() const { return slot_count_; }
  bool IsEnciphered() const { return schedule_ != nullptr; }
  const BlowfishSchedule* GetSchedule() const { return schedule_.get(); }
  os::Handle GetHandle() const { return handle_; }
  // Bytes in the archive file; reads never go past it.
  std::uint64_t GetFileSize() const { return file_size_; }

 private:
  bool AnySlotOpen() const;

  std::uint32_t slot_count_ = 0;
  std::map<std::u16string, qvArchiveEntry> directory_;
  std::unique_ptr<qvArchiveSlot[]> slots_;
  os::Handle handle_ = os::kInvalidHandle;
  std::uint64_t file_size_ = 0;
  std::u16string name_;
  std::unique_ptr<BlowfishSchedule> schedule_;
  std::mutex slot_lock_;
};
