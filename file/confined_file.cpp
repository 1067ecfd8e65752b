#include "file/confined_file.h"

#include <atomic>

#include "os/durable.h"

namespace confine {
namespace {

// "~qv" and eight hexadecimal digits: short, so that it fits wherever the
// destination's path fits, and unlike any name a game ships.
std::u16string TemporaryName(std::uint32_t stamp) {
  std::u16string name = u"~qv";
  for (int shift = 28; shift >= 0; shift -= 4) name += u"0123456789abcdef"[(stamp >> shift) & 0xF];
  return name + u".tmp";
}

std::uint32_t NextStamp() {
  static std::atomic<std::uint32_t> counter{0};
  static const std::uint32_t seed =
      static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&counter)) * 2654435761u;
  return seed ^ (counter++ * 0x9E3779B9u);
}

bool Refuse(std::uint32_t code) {
  os::SetLastError(code);
  return false;
}

}  // namespace

bool StagedFile::Begin(const Tree& tree, std::u16string_view relative, std::uint32_t flags) {
  Discard();
  failed_ = Step::kFolder;
  folder_ = tree.OpenParent(relative, true, &name_);
  if (folder_ == os::kInvalidHandle) return false;
  owns_folder_ = true;
  return CreateTemporary(flags);
}

bool StagedFile::BeginInPlace(os::Handle folder, std::u16string_view name, std::uint32_t flags) {
  Discard();
  failed_ = Step::kFolder;
  if (folder == os::kInvalidHandle) return Refuse(os::kErrorInvalidHandle);
  folder_ = folder;
  owns_folder_ = false;
  name_ = name;
  failed_ = Step::kFile;
  file_ = os::CreateFileIn(folder_, name_.c_str(), flags);
  if (file_ == os::kInvalidHandle) return false;
  temporary_ = name_;
  failed_ = Step::kNone;
  return true;
}

bool StagedFile::CreateTemporary(std::uint32_t flags) {
  failed_ = Step::kFile;
  os::EntryInfo destination;
  if (os::GetEntryInfo(folder_, name_.c_str(), &destination) &&
      (destination.kind == os::EntryKind::kFolder ||
       (destination.kind == os::EntryKind::kFile && (destination.attributes & os::kAttrReadOnly))))
    return Refuse(os::kErrorAccessDenied);
  for (int attempt = 0; attempt < 64; ++attempt) {
    temporary_ = TemporaryName(NextStamp());
    file_ = os::CreateFileIn(folder_, temporary_.c_str(), flags);
    if (file_ != os::kInvalidHandle) {
      failed_ = Step::kNone;
      return true;
    }
    if (os::GetLastError() != os::kErrorFileExists) break;
  }
  temporary_.clear();
  return false;
}

bool StagedFile::Commit(std::uint32_t attributes, bool flush) {
  if (file_ == os::kInvalidHandle) return Refuse(os::kErrorInvalidHandle);
  // The data reaches the disk before the name does: after a crash the
  // destination is the old file or the whole new one.
  if (flush && !os::FlushFile(file_)) {
    std::uint32_t error = os::GetLastError();
    Discard();
    return Refuse(error);
  }
  os::CloseFile(file_);
  file_ = os::kInvalidHandle;
  // A new file has the archive attribute alone already.
  if (attributes != os::kAttrArchive) os::SetEntryAttributes(folder_, temporary_.c_str(), attributes);
  if (!InPlace()) {
    os::EntryInfo destination;
    if (os::GetEntryInfo(folder_, name_.c_str(), &destination) &&
        destination.kind == os::EntryKind::kLink && (destination.attributes & os::kAttrDirectory))
      os::DeleteEntry(folder_, name_.c_str());
    if (!os::RenameEntry(folder_, temporary_.c_str(), folder_, name_.c_str())) {
      std::uint32_t error = os::GetLastError();
      Discard();
      return Refuse(error);
    }
  }
  temporary_.clear();
  const bool durable = !flush || os::FlushTreeFolder(folder_);
  const std::uint32_t error = os::GetLastError();
  Release();
  return durable || Refuse(error);
}

bool StagedFile::Discard() {
  if (file_ != os::kInvalidHandle) os::CloseFile(file_);
  file_ = os::kInvalidHandle;
  bool gone = true;
  if (!temporary_.empty() && folder_ != os::kInvalidHandle) {
    // A read-only temporary file would not go.
    os::SetEntryAttributes(folder_, temporary_.c_str(), os::kAttrNormal);
    gone = os::DeleteEntry(folder_, temporary_.c_str());
  }
  temporary_.clear();
  Release();
  return gone;
}

void StagedFile::Release() {
  if (folder_ != os::kInvalidHandle && owns_folder_) os::CloseTreeFolder(folder_);
  owns_folder_ = false;
  folder_ = os::kInvalidHandle;
}

}  // namespace confine
