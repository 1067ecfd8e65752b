#include "image/hg3_container.h"

#include <cstring>
#include <map>



const Hg3Tag* Hg3Frame::Find(std::string_view name) const {
  for (const Hg3Tag& tag : tags) {
    if (tag.name == name) return &tag;
  }
  return nullptr;
}

bool Hg3Frame::ReadStdinfo(Hg3Stdinfo* info) const {
  const Hg3Tag* tag = Find("stdinfo");
  if (tag == nullptr || tag->size < kHg3StdinfoSize) return false;
  std::uint32_t fields[10];
  for (int i = 0; i < 10; ++i) fields[i] = ReadLe32(tag->data + 4 * i);
  *info = {fields[0], fields[1], fields[2], fields[3], fields[4],
           fields[5], fields[6], fields[7], fields[8], fields[9]};
  return true;
}

namespace {

// The block number of a name "img" followed by four decimal digits.
int RowBlockNumber(std::string_view name) {
  if (name.size() != 7 || name.substr(0, 3) != "img") return -1;
  int n = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace

bool Hg3Frame::CollectRowBlocks(std::vector<Hg3RowBlock>* blocks) const {
  // First tag of each number, found in one pass over the chain.
  std::map<int, const Hg3Tag*> numbered;
  for (const Hg3Tag& tag : tags) {
    const int n = RowBlockNumber(tag.name);
    if (n >= 0) numbered.try_emplace(n, &tag);
  }
  blocks->clear();
  for (int n = 0;; ++n) {
    auto it = numbered.find(n);
    if (it == numbered.end()) return true;
    const Hg3Tag& tag = *it->second;
    if (tag.size < kHg3RowBlockHeaderSize) return false;
    Hg3RowBlock block{};
    block.first_row = ReadLe32(tag.data);
    block.rows = ReadLe32(tag.data + 4);
    block.literal_packed = ReadLe32(tag.data + 8);
    block.literal_size = ReadLe32(tag.data + 12);
    block.control_packed = ReadLe32(tag.data + 16);
    block.control_size = ReadLe32(tag.data + 20);
    const std::uint64_t end = std::uint64_t{kHg3RowBlockHeaderSize} + block.literal_packed +
                              block.control_packed;
    if (end > tag.size) return false;
    block.literal_stream = tag.data + kHg3RowBlockHeaderSize;
    block.control_stream = block.literal_stream + block.literal_packed;
    blocks->push_back(block);
  }
}

bool Hg3File::HasMagic() const {
  return data_ != nullptr && size_ >= 4 && std::memcmp(data_, "HG-3", 4) == 0;
}

bool Hg3File::HasValidHeaderSize() const {
  return size_ >= kHg3HeaderSize && ReadLe32(data_ + 4) == kHg3HeaderSize;
}

std::size_t Hg3File::NextFrame(std::size_t offset) const {
  const std::uint32_t next = ReadLe32(data_ + offset);
  if (next == 0) return 0;
  const std::uint64_t target = std::uint64_t{offset} + next;
  if (target + kHg3FrameHeaderSize > size_) return 0;
  return static_cast<std::size_t>(target);
}

std::size_t Hg3File::FindFrameById(std::uint32_t id) const {
  if (kHg3HeaderSize + kHg3FrameHeaderSize > size_) return 0;
  // Offsets only move forward, so the walk ends.
  for (std::size_t frame = kHg3HeaderSize; frame != 0; frame = NextFrame(frame)) {
    if (FrameId(frame) == id) return frame;
  }
  return 0;
}

std::size_t Hg3File::FindFrameByIndex(std::uint32_t index) const {
  if (kHg3HeaderSize + kHg3FrameHeaderSize > size_) return 0;
  std::size_t frame = kHg3HeaderSize;
  for (std::uint32_t i = 0; i < index && frame != 0; ++i) frame = NextFrame(frame);
  return frame;
}

bool Hg3File::ReadFrame(std::size_t offset, Hg3Frame* frame) const {
  frame->id = FrameId(offset);
  frame->tags.clear();
  std::uint64_t tag = std::uint64_t{offset} + kHg3FrameHeaderSize;
  for (;;) {
    if (tag + kHg3TagHeaderSize > size_) return false;
    const std::uint8_t* header = data_ + tag;
    const std::uint32_t next = ReadLe32(header + 8);
    const std::uint32_t length = ReadLe32(header + 12);
    if (tag + kHg3TagHeaderSize + length > size_) return false;
    const auto* name = reinterpret_cast<const char*>(header);
    std::size_t name_length = 0;
    while (name_length < kHg3TagNameSize && name[name_length] != 0) ++name_length;
    frame->tags.push_back({std::string_view(name, name_length), header + kHg3TagHeaderSize, length});
    if (next == 0) return true;
    tag += next;
  }
}
