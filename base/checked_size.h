// Size arithmetic on numbers read from files: a result that does not fit
// is reported instead of wrapping around into a small size.
#pragma once

#include <optional>

// a + b, or nullopt when it does not fit T.
template <typename T>
constexpr std::optional<T> CheckedAdd(T a, T b) {
  T sum{};
  if (__builtin_add_overflow(a, b, &sum)) return std::nullopt;
  return sum;
}

// a x b, or nullopt when it does not fit T.
template <typename T>
constexpr std::optional<T> CheckedMultiply(T a, T b) {
  T product{};
  if (__builtin_mul_overflow(a, b, &product)) return std::nullopt;
  return product;
}
