// UTF-8 text that may not be UTF-8, turned into UTF-16 and back without
// losing a byte: every well-formed sequence becomes its character, and
// every byte that is not part of one (and every zero byte) becomes the
// lone surrogate U+DC00 + byte, which well-formed UTF-8 can never give.
// Encoding turns those units back into their bytes, so a text of any
// bytes comes back exactly as it was read.
#pragma once

#include <string>
#include <string_view>

std::u16string DecodeUtf8Lossless(std::string_view bytes);
std::string EncodeUtf8Lossless(std::u16string_view text);
