#include <sys/mman.h>

#include "os/memory.h"

namespace os {

void* AllocatePages(std::size_t size) {
  if (size == 0) return nullptr;
  void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return pages == MAP_FAILED ? nullptr : pages;
}

void FreePages(void* pages, std::size_t size) {
  if (pages && size) munmap(pages, size);
}

}  // namespace os
