// The model of the update description, updateinfo.xml: the install
// record's names, every language's message texts and the paths to delete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "xml/xml_reader.h"

// Capacities in UTF-16 units, terminator included.
inline constexpr std::size_t kInfoNameCapacity = 260;
inline constexpr std::size_t kInfoVersionCapacity = 256;
inline constexpr std::size_t kPrifixCapacity = 64;
inline constexpr std::size_t kLangNameCapacity = 128;
inline constexpr std::size_t kWindowTitleCapacity = 256;
inline constexpr std::size_t kMessageCapacity = 512;
inline constexpr std::size_t kDeleteEntryCapacity = 1028;

// One language's texts; a record starts all zero, so a text that the file
// does not give is empty.
struct LanguageRecord {
  std::uint16_t code = 0;
  char16_t lang[kLangNameCapacity] = {};
  char16_t wndtitle[kWindowTitleCapacity] = {};
  char16_t intoro[kMessageCapacity] = {};
  char16_t success[kMessageCapacity] = {};
  char16_t error_version[kMessageCapacity] = {};
  char16_t error_inst[kMessageCapacity] = {};
  char16_t error_copy[kMessageCapacity] = {};
  char16_t sellang[kMessageCapacity] = {};
  char16_t copying[kMessageCapacity] = {};
  char16_t language[kMessageCapacity] = {};
  char16_t boot[kMessageCapacity] = {};
  char16_t title[kMessageCapacity] = {};
  // Optional: the boxes that refuse a patch whose data folder cannot be
  // installed whole (a link, a name Windows cannot hold, a path too long,
  // names differing only in case). Built-in texts fill what is not given.
  char16_t error_link[kMessageCapacity] = {};
  char16_t error_name[kMessageCapacity] = {};
  char16_t error_length[kMessageCapacity] = {};
  char16_t error_case[kMessageCapacity] = {};
  // Optional: the checks before the install (the game running, another
  // updater, free space, write access) and what became of a failed or
  // interrupted install.
  char16_t error_running[kMessageCapacity] = {};
  char16_t error_busy[kMessageCapacity] = {};
  char16_t error_space[kMessageCapacity] = {};
  char16_t error_access[kMessageCapacity] = {};
  char16_t unchanged[kMessageCapacity] = {};
  char16_t error_restore[kMessageCapacity] = {};
  char16_t recovered[kMessageCapacity] = {};
  char16_t error_recovery[kMessageCapacity] = {};
};

// A language as the languages map keeps it: its code and the texts the file
// gives, one after another, each ended by a zero, in the order of
// LanguageRecord's text fields. It costs what its texts hold, not every
// field's capacity.
struct StoredLanguage {
  std::uint16_t code = 0;
  std::u16string texts;
};

StoredLanguage StoreLanguage(const LanguageRecord& record);
// The whole record, with the built-in texts where the file gave none.
void ExpandLanguage(const StoredLanguage& stored, LanguageRecord* record);

struct UpdateInfo {
  char16_t brand[kInfoNameCapacity] = {};
  char16_t app[kInfoNameCapacity] = {};
  char16_t instpath[kInfoNameCapacity] = {};
  char16_t mutex[kInfoNameCapacity] = {};
  char16_t confmutex[kInfoNameCapacity] = {};
  char16_t major[kInfoVersionCapacity] = {};
  char16_t minor[kInfoVersionCapacity] = {};
  // The `prifix` of the fallback language ("default" in the file).
  char16_t default_[kPrifixCapacity] = u"jp";
  // Keyed by `prifix`; std::u16string orders unit by unit as unsigned
  // numbers, so "cn" < "en" < "jp" and upper case sorts first.
  std::map<std::u16string, StoredLanguage> languages;
  LanguageRecord current;
  // Relative to the install folder, in file order; each below
  // kDeleteEntryCapacity units.
  std::vector<std::u16string> delete_list;
  // Relative paths of the files below the data folder.
  std::vector<std::u16string> copy_list;
};

// The process-wide model.
UpdateInfo& GetUpdateInfo();

// Fills the process-wide model from "updateinfo.xml" in the current
// directory; false when the file cannot be opened or parsed, or when the
// description needs more memory than it may take: four times its size and
// 256 KiB, from the file's bytes to the finished model. A failed load leaves
// the model empty.
bool LoadUpdateInfo();
// Chooses by the user's UI language, then `default`, then the first key,
// and copies the record into `current`; false when no language is defined.
bool ChooseLanguage();

// What the loader did silently to a description: texts cut at their
// capacity, languages dropped or refused. One UTF-8 line each.
using UpdateInfoNotes = std::vector<std::string>;

// What a description may take, from the file's bytes to the model.
inline constexpr XmlMemoryLimit kDescriptionMemory{4, 256 * 1024};

// The same steps on an explicit file and model. `notes` may be null.
bool LoadUpdateInfoFrom(const char16_t* path, UpdateInfo* info, UpdateInfoNotes* notes,
                        XmlMemoryLimit limit = kDescriptionMemory);
// Returns the chosen key, or null when there is no language.
const std::u16string* ChooseLanguageFor(UpdateInfo* info, std::uint16_t ui_language);

// Replaces each backslash directly followed by 'n' with one line feed.
void ConvertLineBreaks(char16_t* text);
