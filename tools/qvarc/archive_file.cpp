#include "tools/qvarc/archive_file.h"

#include <algorithm>
#include <cstring>

#include "os/tree.h"
#include "tools/common/failure.h"
#include "tools/common/file_io.h"
#include "tools/common/utf.h"
#include "util/text_search.h"

namespace {

// A directory beyond this is not one qvarc wrote.
constexpr std::uint32_t kDirectoryLimit = 256u << 20;

bool ReadAt(os::Handle file, std::uint64_t offset, std::size_t count, std::string* bytes) {
  bytes->assign(count, '\0');
  if (os::SeekFile(file, static_cast<std::int64_t>(offset), os::kSeekBegin) < 0) return false;
  std::size_t done = 0;
  while (done < count) {
    std::uint32_t read = 0;
    const auto want = static_cast<std::uint32_t>(std::min<std::size_t>(count - done, 1u << 20));
    if (!os::ReadFile(file, bytes->data() + done, want, &read) || read == 0) return false;
    done += read;
  }
  return true;
}

bool ReadDirectory(const std::u16string& path, OpenedArchive* opened, std::string* error) {
  const os::Handle file =
      os::OpenFile(path.c_str(), os::kAccessRead, os::kShareRead, os::kOpenExisting, 0, 0);
  if (file == os::kInvalidHandle) return Fail(error, "cannot be opened: " + LastErrorText());
  std::uint64_t size = 0;
  std::string header, directory;
  bool ok = os::GetFileSize(file, &size) && ReadAt(file, 0, std::min<std::uint64_t>(size, kArchiveHeaderSize), &header);
  if (!ok) {
    *error = "cannot be read: " + LastErrorText();
  } else if ((ok = ParseArchiveHeader(header, size, &opened->header, error))) {
    if (opened->header.directory_size > kDirectoryLimit)
      ok = Fail(error, "its directory is larger than any qvarc writes");
    else if (!ReadAt(file, opened->header.directory_offset, opened->header.directory_size, &directory))
      ok = Fail(error, "cannot be read: " + LastErrorText());
    else
      ok = ParseArchiveDirectory(directory, opened->header, &opened->members, error);
  }
  os::CloseFile(file);
  return ok;
}

// The engine's directory order: the upper-cased names, unit by unit.
std::u16string DirectoryKey(const std::u16string& name) {
  std::u16string key = name;
  ToUpperText(key.data());
  return key;
}

class ArchiveWriter {
 public:
  ArchiveWriter(os::Handle output, const BlowfishSchedule* schedule)
      : output_(output), schedule_(schedule) {}

  // Appends the file, every complete 8-byte block of it enciphered.
  bool AddMember(TreeFiles* files, const std::u16string& name, ArchiveMember* member, std::string* error) {
    const os::Handle input = files->Open(name);
    if (input == os::kInvalidHandle) return Fail(error, "\"" + ToUtf8(name) + "\" cannot be opened: " + LastErrorText());
    member->name = name;
    member->offset = static_cast<std::uint32_t>(offset_);
    std::string carry;
    bool write_ok = true;
    const bool read_ok = ReadChunks(input, [&](const std::uint8_t* bytes, std::size_t length) {
      carry.append(reinterpret_cast<const char*>(bytes), length);
      const std::size_t whole = carry.size() / 8 * 8;
      write_ok = Put(carry.data(), whole, true);
      carry.erase(0, whole);
      return write_ok;
    });
    const std::uint32_t code = os::GetLastError();
    os::CloseFile(input);
    if (read_ok) write_ok = Put(carry.data(), carry.size(), false);
    if (!read_ok || !write_ok) {
      os::SetLastError(code);
      return Fail(error, "\"" + ToUtf8(name) + "\" cannot be " + (write_ok ? "read: " : "archived: ") +
                             LastErrorText());
    }
    member->size = static_cast<std::uint32_t>(offset_ - member->offset);
    return true;
  }

  bool Put(char* bytes, std::size_t length, bool encipher) {
    if (offset_ + length > UINT32_MAX) {
      os::SetLastError(os::kErrorDiskFull);
      overflow_ = true;
      return false;
    }
    if (encipher && schedule_) BlowfishEncipherBlocks(*schedule_, bytes, length / 8);
    offset_ += length;
    return WriteAll(output_, bytes, length);
  }

  std::uint64_t Offset() const { return offset_; }
  bool Overflowed() const { return overflow_; }

 private:
  os::Handle output_;
  const BlowfishSchedule* schedule_;
  std::uint64_t offset_ = kArchiveHeaderSize;
  bool overflow_ = false;
};

}  // namespace

bool OpenArchiveFile(const std::u16string& path, const std::string* key, OpenedArchive* opened,
                     std::string* error) {
  if (!ReadDirectory(path, opened, error)) return false;
  if (!key) return true;
  if (opened->header.enciphered) {
    if (key->empty()) return Fail(error, "is enciphered: give its key with --key");
    BlowfishSchedule schedule;
    if (!BlowfishSetKey(&schedule, key->data(), key->size()))
      return Fail(error, "cannot take that key (1 to 72 bytes)");
    std::uint8_t check[8];
    ArchiveKeyCheck(schedule, check);
    if (std::memcmp(check, opened->header.key_check, 8) != 0) return Fail(error, "has another key");
    opened->archive->SetKeySchedule(schedule);
  }
  for (const ArchiveMember& member : opened->members)
    opened->archive->AddMember(member.name.c_str(), member.offset, member.size, member.extra);
  if (!opened->archive->OpenFile(path.c_str())) return Fail(error, "cannot be opened: " + LastErrorText());
  return true;
}

bool CreateArchiveFile(const std::u16string& path, os::Handle root,
                       const std::vector<std::u16string>& names, const std::string* key,
                       std::string* error) {
  ArchiveHeader header;
  BlowfishSchedule schedule;
  if (key) {
    if (!BlowfishSetKey(&schedule, key->data(), key->size()))
      return Fail(error, "cannot take that key (1 to 72 bytes)");
    header.enciphered = true;
    ArchiveKeyCheck(schedule, header.key_check);
  }
  std::vector<std::u16string> ordered = names;
  std::sort(ordered.begin(), ordered.end(), [](const std::u16string& a, const std::u16string& b) {
    return DirectoryKey(a) < DirectoryKey(b);
  });

  const auto [folder, name] = SplitPath(path);
  const std::u16string temporary = u"." + name + u".tmp";
  const os::Handle parent = os::OpenTreeRoot(folder.c_str());
  if (parent == os::kInvalidHandle) return Fail(error, "its folder cannot be opened: " + LastErrorText());
  os::DeleteEntry(parent, temporary.c_str());
  const os::Handle output = os::CreateFileIn(parent, temporary.c_str(), 0);
  bool ok = output != os::kInvalidHandle;
  if (!ok) *error = "cannot be written: " + LastErrorText();
  std::vector<ArchiveMember> members(ordered.size());
  if (ok) {
    ArchiveWriter writer(output, key ? &schedule : nullptr);
    std::string placeholder(kArchiveHeaderSize, '\0');
    ok = WriteAll(output, placeholder.data(), placeholder.size());
    TreeFiles files(root);
    for (std::size_t i = 0; ok && i < ordered.size(); ++i) ok = writer.AddMember(&files, ordered[i], &members[i], error);
    if (!ok && writer.Overflowed()) *error = "the files do not fit in one archive (4 GiB)";
    std::string directory = FormatArchiveDirectory(members);
    header.count = static_cast<std::uint32_t>(members.size());
    header.directory_offset = static_cast<std::uint32_t>(writer.Offset());
    header.directory_size = static_cast<std::uint32_t>(directory.size());
    if (ok && writer.Offset() + directory.size() > UINT32_MAX) ok = Fail(error, "the directory does not fit");
    const std::string head = FormatArchiveHeader(header);
    if (ok && !(WriteAll(output, directory.data(), directory.size()) &&
                os::SeekFile(output, 0, os::kSeekBegin) == 0 && WriteAll(output, head.data(), head.size())))
      ok = Fail(error, "cannot be written: " + LastErrorText());
    os::CloseFile(output);
  }
  if (ok && !os::RenameEntry(parent, temporary.c_str(), parent, name.c_str()))
    ok = Fail(error, "cannot be put in place: " + LastErrorText());
  if (!ok) os::DeleteEntry(parent, temporary.c_str());
  os::CloseTreeFolder(parent);
  return ok;
}
