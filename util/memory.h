// Byte copies, clears and comparisons that tolerate null pointers.
#pragma once

#include <cstddef>

void CopyBytes(void* destination, const void* source, std::size_t count);
void ZeroBytes(void* destination, std::size_t count);
int CompareBytes(const void* a, const void* b, std::size_t count);
