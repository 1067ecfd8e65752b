#include "xml/string_arena.h"

#include <cstring>

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

}  // namespace

// Long strings get a block of their own, so a block never wastes more than
// a quarter of itself.
char* StringArena::Room(std::size_t bytes, MemoryBudget* budget) {
  if (!blocks_.empty() && blocks_.back().size - used_ >= bytes) {
    char* room = blocks_.back().bytes.get() + used_;
    used_ += bytes;
    return room;
  }
  const std::size_t size = bytes > kBlockSize / 4 ? bytes : kBlockSize;
  if (!budget->Charge(size + sizeof(Block))) return nullptr;
  Block block{std::make_unique<char[]>(size), size};
  char* room = block.bytes.get();
  if (size == kBlockSize || blocks_.empty()) {
    blocks_.push_back(std::move(block));
    used_ = bytes;
  } else {
    // Keep the partly used block last: later short strings still fit there.
    blocks_.insert(blocks_.end() - 1, std::move(block));
  }
  return room;
}

const char* StringArena::Join(const std::string_view* pieces, std::size_t count, std::size_t length,
                              MemoryBudget* budget) {
  if (length == 0) return "";
  char* room = Room(length + 1, budget);
  if (!room) return nullptr;
  char* out = room;
  for (std::size_t i = 0; i < count; ++i) {
    std::memcpy(out, pieces[i].data(), pieces[i].size());
    out += pieces[i].size();
  }
  *out = '\0';
  return room;
}

void StringArena::Clear(MemoryBudget* budget) {
  for (const Block& block : blocks_) budget->Release(block.size + sizeof(Block));
  blocks_.clear();
  blocks_.shrink_to_fit();
  used_ = 0;
}
