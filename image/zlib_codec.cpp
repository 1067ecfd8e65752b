#include "image/zlib_codec.h"

#include "base/debug_log.h"
#include "util/memory.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>

namespace {

constexpr std::uint32_t kFailed = 0xFFFFFFFFu;

const char* StreamMessage(const z_stream& stream) {
  return stream.msg != nullptr ? stream.msg : "";
}

// The whole stream in one call, or false when it is not one valid stream
// that fits: what zlib's step-wise inflate makes of such input (the part
// decoded before the fault, a stream cut at the capacity) is then left to
// zlib, so both give the same result for every input.
bool InflateWhole(void* destination, std::uint32_t capacity, const void* source,
                  std::uint32_t source_length, std::uint32_t* placed) {
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  if (!decompressor) return false;
  std::size_t produced = 0;
  const libdeflate_result result = libdeflate_zlib_decompress(
      decompressor, source, source_length, destination, capacity, &produced);
  libdeflate_free_decompressor(decompressor);
  *placed = static_cast<std::uint32_t>(produced);
  return result == LIBDEFLATE_SUCCESS;
}

}  // namespace

std::uint32_t ZlibInflate(void* destination, std::uint32_t capacity, const void* source,
                          std::uint32_t source_length) {
  std::uint32_t placed = 0;
  if (InflateWhole(destination, capacity, source, source_length, &placed)) return placed;
  z_stream stream{};
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(source));
  stream.avail_in = source_length;
  if (inflateInit(&stream) != Z_OK) {
    DebugLog("zlib init error : %s\n", StreamMessage(stream));
    return kFailed;
  }
  auto* out = static_cast<std::uint8_t*>(destination);
  placed = 0;
  // Inflates straight into the destination; a small staging area catches
  // what lies past the capacity so that the stream is still consumed.
  std::uint8_t overflow[4096];
  while (stream.avail_in > 0) {
    const bool full = placed == capacity;
    stream.next_out = full ? overflow : out + placed;
    stream.avail_out = full ? sizeof overflow : capacity - placed;
    const uInt before = stream.avail_out;
    const int status = inflate(&stream, Z_NO_FLUSH);
    const uInt produced = before - stream.avail_out;
    if (!full) placed += produced;
    if (produced == 0 && status != Z_STREAM_END) {
      ZeroBytes(out + placed, capacity - placed);
      break;
    }
    if (status == Z_STREAM_END || (status != Z_OK && status != Z_BUF_ERROR)) break;
  }
  inflateEnd(&stream);
  return placed;
}

std::uint32_t ZlibDeflate(void* destination, std::uint32_t capacity, const void* source,
                          std::uint32_t source_length) {
  z_stream stream{};
  if (deflateInit(&stream, 9) != Z_OK) return kFailed;
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(source));
  stream.avail_in = source_length;
  auto* out = static_cast<std::uint8_t*>(destination);
  std::uint64_t total = 0;
  std::uint8_t staging[65536];
  auto run = [&](int flush) {
    stream.next_out = staging;
    stream.avail_out = sizeof staging;
    const int status = deflate(&stream, flush);
    const std::uint32_t produced = sizeof staging - stream.avail_out;
    if (total + produced <= capacity) CopyBytes(out + total, staging, produced);
    total += produced;
    return status;
  };
  while (stream.avail_in > 0) {
    if (run(Z_NO_FLUSH) == Z_STREAM_ERROR) {
      DebugLog("zlib encode error : %s", StreamMessage(stream));
      deflateEnd(&stream);
      return kFailed;
    }
  }
  int status = Z_OK;
  while (status != Z_STREAM_END && status != Z_STREAM_ERROR) status = run(Z_FINISH);
  deflateEnd(&stream);
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(total, kFailed - 1));
}

std::uint32_t ZlibDeflateBound(std::uint32_t length) {
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(compressBound(length) + 64, kFailed - 1));
}
