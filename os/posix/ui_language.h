// Mapping of POSIX locale names onto Windows language identifiers.
#pragma once

#include <cstdint>

namespace os::posix {

// "ja_JP.UTF-8", "en_GB", "de" ... -> the Windows LANGID; 0 when the
// locale is not known. "C" and "POSIX" give 1033 (English, United States).
std::uint16_t LanguageIdFromLocale(const char* locale);

// QV_UI_LANGUAGE when it is a decimal number from 1 to 65535, else the
// first set of LC_ALL, LC_MESSAGES and LANG, else 1033. The values are
// passed in so that the rule can be tested without the environment.
std::uint16_t ChooseUiLanguage(const char* override_value, const char* lc_all,
                               const char* lc_messages, const char* lang);

}  // namespace os::posix
