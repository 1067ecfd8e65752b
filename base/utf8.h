// UTF-8 <-> UTF-16 with the replacement rules of the Windows converters:
// a lone surrogate becomes U+FFFD, and every maximal invalid UTF-8 subpart
// becomes one U+FFFD.
#pragma once

#include <string>
#include <string_view>

void AppendUtf8(std::u16string_view text, std::string& out);
void AppendUtf16(std::string_view bytes, std::u16string& out);

std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view bytes);

