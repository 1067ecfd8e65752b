#include "app/patch_check_texts.h"

#include <cstring>

#include "app/update_info.h"
#include "util/wide_string.h"

namespace {

struct BuiltIn {
  const char* name;
  const char16_t* japanese;
  const char16_t* english;
};

constexpr BuiltIn kBuiltIn[] = {
    {"error_link", u"パッチの data フォルダにリンクがあるため、インストールできません。",
     u"The patch cannot be installed: its data folder holds a link."},
    {"error_name", u"パッチの data フォルダに Windows で使えない名前があるため、インストールできません。",
     u"The patch cannot be installed: a name in its data folder cannot be used on Windows."},
    {"error_length", u"パッチのファイルのパスが長すぎるため、インストールできません。",
     u"The patch cannot be installed: the path of one of its files is too long."},
    {"error_case",
     u"パッチの data フォルダに大文字と小文字だけが異なる名前があるため、インストールできません。",
     u"The patch cannot be installed: two names in its data folder differ only in letter case."},
};

// Japanese in any of its sub-languages (0x0411 and the like).
bool IsJapanese(std::uint16_t code) { return (code & 0x3FF) == 0x11; }

}  // namespace

char16_t* PatchCheckText(LanguageRecord* record, const char* name) {
  if (std::strcmp(name, "error_link") == 0) return record->error_link;
  if (std::strcmp(name, "error_name") == 0) return record->error_name;
  if (std::strcmp(name, "error_length") == 0) return record->error_length;
  if (std::strcmp(name, "error_case") == 0) return record->error_case;
  return nullptr;
}

void FillPatchCheckTexts(LanguageRecord* record) {
  for (const BuiltIn& text : kBuiltIn) {
    char16_t* field = PatchCheckText(record, text.name);
    if (field[0] == 0)
      CopyWide(field, kMessageCapacity, IsJapanese(record->code) ? text.japanese : text.english);
  }
}

const char* BuiltInTextLanguage(std::uint16_t code) {
  return IsJapanese(code) ? "Japanese" : "English";
}

const char16_t* PatchCheckTextFor(const LanguageRecord& record, confine::Rule rule) {
  switch (rule) {
    case confine::Rule::kLink:
    case confine::Rule::kMissing: return record.error_link;
    case confine::Rule::kTooLong: return record.error_length;
    case confine::Rule::kCaseCollision: return record.error_case;
    default: return record.error_name;
  }
}
