// Finding and walking the version resource inside a PE file, without a
// loader. Every offset and length in the file is treated as hostile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace os::pe {

// Reads exactly `size` bytes at `offset`; false when they are not all there.
using ReadAt = bool (*)(void* context, std::uint64_t offset, void* out,
                        std::uint32_t size);

// Copies the bytes of the file's version resource (type 16, name 1, first
// language) into `out`. False when the file is not a PE image or has none.
bool ExtractVersionResource(ReadAt read, void* context, std::vector<std::uint8_t>* out);

// The same over a file image held in memory.
bool ExtractVersionResource(const std::uint8_t* file, std::size_t size,
                            std::vector<std::uint8_t>* out);

// Looks up `sub_block` ("\\", "\\VarFileInfo\\Translation", ...) in a
// VS_VERSIONINFO tree. `value` points into `data`; `value_size` is in bytes.
bool FindVersionValue(const std::uint8_t* data, std::size_t size,
                      const char16_t* sub_block, const void** value,
                      std::uint32_t* value_size);

}  // namespace os::pe
