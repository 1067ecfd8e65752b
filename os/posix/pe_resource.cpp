#include "os/posix/pe_resource.h"
#include "base/byte_order.h"

#include <cstring>

namespace os::pe {
namespace {

constexpr std::uint32_t kResourceTypeVersion = 16;
constexpr std::uint32_t kVersionResourceName = 1;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
// A version block's length field is 16-bit, so no sane resource is larger.
constexpr std::uint32_t kMaxVersionResource = 0x10000;
// The directory tables of a real image are small; more is not read.
constexpr std::uint32_t kMaxDirectoryBytes = 16u << 20;


struct Section {
  std::uint32_t virtual_address;
  std::uint32_t virtual_size;
  std::uint32_t raw_size;
  std::uint32_t raw_offset;
};

class Image {
 public:
  Image(ReadAt read, void* context) : read_(read), context_(context) {}

  bool LoadHeaders(std::uint32_t* resource_rva, std::uint32_t* resource_size) {
    std::uint8_t dos[64];
    if (!read_(context_, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
      return false;
    const std::uint64_t pe = ReadLe32(dos + 0x3C);
    std::uint8_t header[24];
    if (!read_(context_, pe, header, sizeof header) ||
        std::memcmp(header, "PE\0\0", 4) != 0)
      return false;
    const std::uint32_t section_count = ReadLe16(header + 6);
    const std::uint32_t optional_size = ReadLe16(header + 20);

    std::uint8_t magic[2];
    if (optional_size < 2 || !read_(context_, pe + 24, magic, 2)) return false;
    std::uint32_t directories;  // offset of the data directories
    if (ReadLe16(magic) == 0x10B) directories = 96;
    else if (ReadLe16(magic) == 0x20B) directories = 112;
    else return false;
    // Count of directories, then the export, import and resource entries.
    if (optional_size < directories + 3 * 8) return false;
    std::uint8_t dir[4 + 3 * 8];
    if (!read_(context_, pe + 24 + directories - 4, dir, sizeof dir)) return false;
    if (ReadLe32(dir) < 3) return false;
    *resource_rva = ReadLe32(dir + 4 + 16);
    *resource_size = ReadLe32(dir + 4 + 20);
    if (*resource_rva == 0 || *resource_size == 0) return false;

    const std::uint64_t table = pe + 24 + optional_size;
    sections_.reserve(section_count);
    for (std::uint32_t i = 0; i < section_count; ++i) {
      std::uint8_t s[40];
      if (!read_(context_, table + 40ull * i, s, sizeof s)) return false;
      sections_.push_back({ReadLe32(s + 12), ReadLe32(s + 8), ReadLe32(s + 16), ReadLe32(s + 20)});
    }
    return true;
  }

  // Reads up to `size` bytes at `rva`, cut at the end of the section's raw
  // data; false when the address lies in no section's file data.
  bool ReadRva(std::uint32_t rva, std::uint32_t size, std::vector<std::uint8_t>* out) {
    for (const Section& s : sections_) {
      const std::uint64_t extent = s.virtual_size > s.raw_size ? s.virtual_size : s.raw_size;
      if (rva < s.virtual_address || rva - s.virtual_address >= extent) continue;
      const std::uint32_t delta = rva - s.virtual_address;
      if (delta >= s.raw_size) return false;
      const std::uint32_t available = s.raw_size - delta;
      const std::uint32_t count = size < available ? size : available;
      out->resize(count);
      return read_(context_, std::uint64_t{s.raw_offset} + delta, out->data(), count);
    }
    return false;
  }

 private:
  ReadAt read_;
  void* context_;
  std::vector<Section> sections_;
};

// One resource directory table inside the bytes of the resource section.
class Directory {
 public:
  explicit Directory(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

  // The entry of table `offset` whose id is `id`, or the first entry when
  // `id` is 0. Returns its raw target field.
  bool Find(std::uint32_t offset, std::uint32_t id, std::uint32_t* target) const {
    if (offset > bytes_.size() || bytes_.size() - offset < 16) return false;
    const std::uint8_t* table = bytes_.data() + offset;
    const std::size_t count = std::size_t{ReadLe16(table + 12)} + ReadLe16(table + 14);
    const std::size_t room = (bytes_.size() - offset - 16) / 8;
    for (std::size_t i = 0; i < count && i < room; ++i) {
      const std::uint8_t* entry = table + 16 + 8 * i;
      const std::uint32_t name = ReadLe32(entry);
      if (id == 0 || name == id) {
        *target = ReadLe32(entry + 4);
        return true;
      }
    }
    return false;
  }

  bool Subdirectory(std::uint32_t offset, std::uint32_t id, std::uint32_t* child) const {
    std::uint32_t target;
    if (!Find(offset, id, &target) || !(target & kSubdirectoryBit)) return false;
    *child = target & ~kSubdirectoryBit;
    return true;
  }

  bool Data(std::uint32_t offset, std::uint32_t* rva, std::uint32_t* size) const {
    std::uint32_t target;
    if (!Find(offset, 0, &target) || (target & kSubdirectoryBit)) return false;
    if (target > bytes_.size() || bytes_.size() - target < 16) return false;
    *rva = ReadLe32(bytes_.data() + target);
    *size = ReadLe32(bytes_.data() + target + 4);
    return true;
  }

 private:
  const std::vector<std::uint8_t>& bytes_;
};

struct MemoryFile {
  const std::uint8_t* data;
  std::size_t size;
};

bool ReadMemory(void* context, std::uint64_t offset, void* out, std::uint32_t size) {
  const auto* file = static_cast<const MemoryFile*>(context);
  if (offset > file->size || file->size - offset < size) return false;
  std::memcpy(out, file->data + offset, size);
  return true;
}

// A block of a VS_VERSIONINFO tree: length, value length, type, key, value,
// children, each part aligned to four bytes from the start of the tree.
struct Block {
  std::size_t end;
  std::size_t key;
  std::size_t key_units;
  std::size_t value;
  std::size_t value_size;
  std::size_t children;
};

std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

bool ParseBlock(const std::uint8_t* data, std::size_t start, std::size_t limit, Block* b) {
  if (start > limit || limit - start < 6) return false;
  const std::size_t length = ReadLe16(data + start);
  if (length < 6) return false;
  b->end = limit - start < length ? limit : start + length;
  const std::size_t value_length = ReadLe16(data + start + 2);
  const bool text = ReadLe16(data + start + 4) == 1;

  std::size_t pos = start + 6;
  b->key = pos;
  b->key_units = 0;
  for (;; ++b->key_units, pos += 2) {
    if (b->end - pos < 2) return false;
    if (ReadLe16(data + pos) == 0) break;
  }
  b->value = Align4(pos + 2);
  if (b->value > b->end) b->value = b->end;
  b->value_size = text ? value_length * 2 : value_length;
  if (b->value_size > b->end - b->value) b->value_size = b->end - b->value;
  b->children = Align4(b->value + b->value_size);
  return true;
}

bool KeyEquals(const std::uint8_t* data, const Block& b, const char16_t* name,
               std::size_t units) {
  if (b.key_units != units) return false;
  const std::uint8_t* key = data + b.key;
  for (std::size_t i = 0; i < units; ++i) {
    char16_t a = ReadLe16(key + 2 * i);
    char16_t c = name[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char16_t>(a + 32);
    if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + 32);
    if (a != c) return false;
  }
  return true;
}

}  // namespace

bool ExtractVersionResource(ReadAt read, void* context, std::vector<std::uint8_t>* out) {
  Image image(read, context);
  std::uint32_t rva, size;
  if (!image.LoadHeaders(&rva, &size)) return false;
  std::vector<std::uint8_t> directory_bytes;
  if (!image.ReadRva(rva, size < kMaxDirectoryBytes ? size : kMaxDirectoryBytes,
                     &directory_bytes))
    return false;
  const Directory directory(directory_bytes);
  std::uint32_t names, languages, data_rva, data_size;
  if (!directory.Subdirectory(0, kResourceTypeVersion, &names) ||
      !directory.Subdirectory(names, kVersionResourceName, &languages) ||
      !directory.Data(languages, &data_rva, &data_size) || data_size == 0)
    return false;
  const std::uint32_t wanted = data_size < kMaxVersionResource ? data_size : kMaxVersionResource;
  return image.ReadRva(data_rva, wanted, out) && !out->empty();
}

bool ExtractVersionResource(const std::uint8_t* file, std::size_t size,
                            std::vector<std::uint8_t>* out) {
  MemoryFile memory{file, size};
  return ExtractVersionResource(ReadMemory, &memory, out);
}

bool FindVersionValue(const std::uint8_t* data, std::size_t size,
                      const char16_t* sub_block, const void** value,
                      std::uint32_t* value_size) {
  Block block;
  if (!ParseBlock(data, 0, size, &block)) return false;
  const char16_t* p = sub_block;
  for (;;) {
    while (*p == u'\\') ++p;
    if (*p == 0) break;
    std::size_t units = 0;
    while (p[units] != 0 && p[units] != u'\\') ++units;

    bool found = false;
    Block child;
    // Every child is at least 6 bytes long, so the walk always advances.
    for (std::size_t at = block.children; at < block.end;) {
      if (!ParseBlock(data, at, block.end, &child)) break;
      if (KeyEquals(data, child, p, units)) {
        found = true;
        break;
      }
      at = Align4(child.end);
    }
    if (!found) return false;
    block = child;
    p += units;
  }
  if (block.value_size == 0) return false;
  *value = data + block.value;
  *value_size = static_cast<std::uint32_t>(block.value_size);
  return true;
}

}  // namespace os::pe
