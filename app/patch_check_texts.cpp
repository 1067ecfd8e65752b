#include "app/patch_check_texts.h"

#include <cstring>

#include "app/update_info.h"
#include "base/wide_string.h"

namespace {

struct BuiltIn {
  const char* name;
  char16_t (LanguageRecord::*field)[kMessageCapacity];
  const char16_t* japanese;
  const char16_t* english;
};

constexpr BuiltIn kBuiltIn[] = {
    {"error_link", &LanguageRecord::error_link, u"パッチの data フォルダにリンクがあるため、インストールできません。",
     u"The patch cannot be installed: its data folder holds a link."},
    {"error_name", &LanguageRecord::error_name,
     u"パッチの data フォルダに Windows で使えない名前があるため、インストールできません。",
     u"The patch cannot be installed: a name in its data folder cannot be used on Windows."},
    {"error_length", &LanguageRecord::error_length, u"パッチのファイルのパスが長すぎるため、インストールできません。",
     u"The patch cannot be installed: the path of one of its files is too long."},
    {"error_case", &LanguageRecord::error_case,
     u"パッチの data フォルダに大文字と小文字だけが異なる名前があるため、インストールできません。",
     u"The patch cannot be installed: two names in its data folder differ only in letter case."},
    {"error_running", &LanguageRecord::error_running,
     u"ゲームが起動しています。ゲームをすべて終了してから OK を、更新をやめるにはキャンセルを押してください。",
     u"The game is currently running. Please close all instances of it now, then click OK to "
     u"continue, or Cancel to exit."},
    {"error_busy", &LanguageRecord::error_busy, u"別のアップデーターがこのゲームを更新しています。終わってからもう一度起動してください。",
     u"Another updater is already updating this game. Start this one again when it has finished."},
    {"error_space", &LanguageRecord::error_space, u"ゲームのドライブの空き容量が足りないため、アップデートできません。",
     u"The update cannot be installed: there is not enough free space on the game's drive."},
    {"error_access", &LanguageRecord::error_access, u"次のファイルまたはフォルダに書き込めないため、アップデートできません。",
     u"The update cannot be installed: this file or folder cannot be written."},
    {"unchanged", &LanguageRecord::unchanged, u"ゲームは更新前の状態のままです。", u"The game was left unchanged."},
    {"error_restore", &LanguageRecord::error_restore,
     u"ゲームを更新前の状態に戻せませんでした。もう一度アップデーターを起動すると、続きを戻します。",
     u"The game could not be put back as it was. Start the updater again to finish restoring it."},
    {"recovered", &LanguageRecord::recovered, u"前回のアップデートが途中で中断されていたため、ゲームのファイルを元の状態に整えました。",
     u"An earlier update of this game was interrupted. The updater has put the game's files back "
     u"in order."},
    {"error_recovery", &LanguageRecord::error_recovery,
     u"前回中断されたアップデートを片付けられませんでした。ゲームのファイルを使っているプログラムを終了して、もう一度起動してください。",
     u"An earlier, interrupted update could not be put in order. Close every program that uses the "
     u"game's files and start the updater again."},
};

// Japanese in any of its sub-languages (0x0411 and the like).
bool IsJapanese(std::uint16_t code) { return (code & 0x3FF) == 0x11; }

}  // namespace

char16_t* PatchCheckText(LanguageRecord* record, const char* name) {
  for (const BuiltIn& text : kBuiltIn)
    if (std::strcmp(name, text.name) == 0) return record->*text.field;
  return nullptr;
}

void FillPatchCheckTexts(LanguageRecord* record) {
  for (const BuiltIn& text : kBuiltIn) {
    char16_t* field = record->*text.field;
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
