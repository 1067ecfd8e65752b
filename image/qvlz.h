// QVLZ: the engine's LZ77 byte-stream coder. A stream is a 28-byte header
// ("QVLZ", mode, uncompressed size, flag-byte count, data-byte count and
// the offsets of both areas), the flag bytes (one bit per item, least
// significant first: 1 = match token, 0 = literal) and the data bytes
// (literals and little-endian u16 match tokens).
#pragma once

#include <cstdint>

inline constexpr std::uint32_t kQvlzHeaderSize = 28;
inline constexpr std::uint32_t kQvlzModeCount = 5;

// Called with (bytes done, total bytes, user value) after every item and
// once more at the end.
using QvlzProgress = void (*)(std::uint32_t done, std::uint32_t total, void* user);

// Compresses `length` bytes with `mode` (0-4: 13 to 9 distance bits).
// With a null `output` only the stream size is computed; otherwise the
// stream is written when it fits `capacity`. Returns the stream size, or 0
// for a bad mode, a stream that does not fit, or lack of memory.
std::uint32_t QvlzCompress(const void* source, std::uint32_t length, void* output,
                           std::uint32_t capacity, std::uint32_t mode, QvlzProgress progress,
                           void* user);

// Decompresses the stream of `stream_size` bytes. With a null `output`
// only the uncompressed size is reported. Returns the uncompressed size, or
// 0 when the magic is wrong, the header does not fit the stream, the output
// is smaller than the uncompressed size, or an item would read past its
// area or copy from before the start of the output.
std::uint32_t QvlzDecompress(const void* stream, std::uint32_t stream_size, void* output,
                             std::uint32_t capacity, QvlzProgress progress, void* user);
