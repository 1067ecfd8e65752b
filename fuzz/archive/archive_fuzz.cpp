// Builds an archive from the input and reads every member in odd chunks,
// with seeks, plain or enciphered. Input layout:
//   byte 0    bit 0 enciphered, bits 1-2 slot count - 1
//   byte 1    member count (low 3 bits)
//   bytes 2-9 key
//   per member: offset (4, little-endian), size (4), name length (1), name
//   the rest: the archive file's bytes
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "file/archive.h"
#include "file/big_file.h"

namespace {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Byte(std::uint8_t* value) {
    if (at_ >= size_) return false;
    *value = data_[at_++];
    return true;
  }
  bool Word(std::uint32_t* value) {
    *value = 0;
    for (int i = 0; i < 4; ++i) {
      std::uint8_t byte;
      if (!Byte(&byte)) return false;
      *value |= static_cast<std::uint32_t>(byte) << (8 * i);
    }
    return true;
  }
  const std::uint8_t* Rest(std::size_t* size) const {
    *size = size_ - at_;
    return data_ + at_;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

const std::u16string& ArchivePath() {
  static const std::u16string path = [] {
    const std::string narrow = "/tmp/qv_archive_fuzz_" + std::to_string(getpid()) + ".arc";
    return std::u16string(narrow.begin(), narrow.end());
  }();
  return path;
}

void ReadMember(qvArchive& archive, const std::u16string& name) {
  static const std::uint32_t kChunks[] = {1, 3, 8, 13, 5, 64};
  qvBigFile file(&archive);
  if (!file.Open(name.c_str(), QVFILE_READ)) return;
  std::vector<std::uint8_t> buffer(64);
  const std::int32_t size = file.GetSize();
  for (std::uint32_t chunk : kChunks) {
    if (file.Read(buffer.data(), chunk) <= 0) break;
  }
  file.Seek(static_cast<std::uint32_t>(size / 2 + 3));
  file.Read(buffer.data(), 11);
  file.Move(-7, 1);
  file.Read(buffer.data(), 64);
  file.Seek(0xFFFFFFF0u);
  file.Read(buffer.data(), 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  std::uint8_t flags = 0, count = 0;
  std::uint8_t key[8] = {};
  if (!input.Byte(&flags) || !input.Byte(&count)) return 0;
  for (std::uint8_t& byte : key)
    if (!input.Byte(&byte)) return 0;

  qvArchive archive;
  archive.SetSlotCount(((flags >> 1) & 3) + 1);
  if (flags & 1) archive.SetKey(key, sizeof key);
  std::vector<std::u16string> names;
  for (int i = 0; i < (count & 7); ++i) {
    std::uint32_t offset = 0, length = 0;
    std::uint8_t name_length = 0;
    if (!input.Word(&offset) || !input.Word(&length) || !input.Byte(&name_length)) return 0;
    std::u16string name;
    for (int c = 0; c < name_length; ++c) {
      std::uint8_t unit;
      if (!input.Byte(&unit)) return 0;
      name.push_back(unit ? static_cast<char16_t>(unit) : u'0');
    }
    archive.AddMember(name.c_str(), offset, length);
    names.push_back(name);
  }

  std::size_t file_size = 0;
  const std::uint8_t* file_bytes = input.Rest(&file_size);
  const std::string narrow(ArchivePath().begin(), ArchivePath().end());
  if (std::FILE* out = std::fopen(narrow.c_str(), "wb")) {
    std::fwrite(file_bytes, 1, file_size, out);
    std::fclose(out);
  }
  archive.OpenFile(ArchivePath().c_str());
  for (const std::u16string& name : names) ReadMember(archive, name);
  return 0;
}
