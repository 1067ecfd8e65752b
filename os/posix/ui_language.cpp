#include "os/posix/ui_language.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace os::posix {
namespace {

constexpr std::uint16_t kEnglishUnitedStates = 1033;

struct LocaleEntry {
  const char* language;
  const char* territory;  // empty: the language's default
  std::uint16_t id;
};

constexpr LocaleEntry kLocales[] = {
    {"ja", "", 1041},   {"en", "", 1033},   {"en", "us", 1033}, {"en", "gb", 2057},
    {"en", "au", 3081}, {"en", "ca", 4105}, {"en", "nz", 5129}, {"en", "ie", 6153},
    {"zh", "", 2052},   {"zh", "cn", 2052}, {"zh", "tw", 1028}, {"zh", "hk", 3076},
    {"zh", "sg", 4100}, {"ko", "", 1042},   {"de", "", 1031},   {"de", "at", 3079},
    {"de", "ch", 2055}, {"fr", "", 1036},   {"fr", "be", 2060}, {"fr", "ca", 3084},
    {"fr", "ch", 4108}, {"es", "", 3082},   {"es", "mx", 2058}, {"it", "", 1040},
    {"pt", "", 2070},   {"pt", "br", 1046}, {"pt", "pt", 2070}, {"ru", "", 1049},
    {"nl", "", 1043},   {"nl", "be", 2067}, {"pl", "", 1045},   {"sv", "", 1053},
    {"cs", "", 1029},   {"da", "", 1030},   {"fi", "", 1035},   {"el", "", 1032},
    {"hu", "", 1038},   {"nb", "", 1044},   {"no", "", 1044},   {"tr", "", 1055},
    {"uk", "", 1058},   {"th", "", 1054},   {"vi", "", 1066},   {"id", "", 1057},
    {"ar", "", 1025},   {"he", "", 1037},
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsSet(const char* value) { return value && *value; }

}  // namespace

std::uint16_t LanguageIdFromLocale(const char* locale) {
  if (!IsSet(locale)) return 0;
  std::string name(locale);
  if (name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0) return kEnglishUnitedStates;
  // language[_territory][.codeset][@modifier]
  name = Lower(name.substr(0, name.find_first_of(".@")));
  std::size_t underscore = name.find_first_of("_-");
  std::string language = name.substr(0, underscore);
  std::string territory = underscore == std::string::npos ? "" : name.substr(underscore + 1);
  std::uint16_t fallback = 0;
  for (const LocaleEntry& entry : kLocales) {
    if (language != entry.language) continue;
    if (territory == entry.territory) return entry.id;
    if (!*entry.territory) fallback = entry.id;
  }
  return fallback;
}

std::uint16_t ChooseUiLanguage(const char* override_value, const char* lc_all,
                               const char* lc_messages, const char* lang) {
  if (IsSet(override_value)) {
    char* end = nullptr;
    unsigned long value = std::strtoul(override_value, &end, 10);
    if (std::isdigit(static_cast<unsigned char>(override_value[0])) && *end == 0 && value >= 1 &&
        value <= 0xFFFF)
      return static_cast<std::uint16_t>(value);
  }
  for (const char* locale : {lc_all, lc_messages, lang}) {
    if (!IsSet(locale)) continue;
    std::uint16_t id = LanguageIdFromLocale(locale);
    return id ? id : kEnglishUnitedStates;
  }
  return kEnglishUnitedStates;
}

}  // namespace os::posix
