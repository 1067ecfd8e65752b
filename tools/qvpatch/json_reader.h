// A strict JSON reader (RFC 8259) for the files the patch tools write and
// read back. Input is treated as hostile: nesting, sizes and numbers are
// bounded, and anything malformed is refused with the offset of the fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  // Numbers without fraction or exponent from 0 to 2^64 - 1 are exact
  // here; every other number has `is_count` false.
  bool is_count = false;
  std::uint64_t count = 0;
  std::string text;  // UTF-8, for strings
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;  // in file order

  // The member `name` of an object, or null.
  const JsonValue* Member(std::string_view name) const;
};

inline constexpr int kJsonMaxDepth = 64;

// False, with the reason in `error`, for anything but one JSON value
// surrounded by blanks. Strings must be valid UTF-8 and their escapes
// must not leave lone surrogates.
bool ParseJson(std::string_view text, JsonValue* value, std::string* error);
