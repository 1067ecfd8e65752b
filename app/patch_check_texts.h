// The optional texts of the updater's own boxes: those that refuse a patch
// whose data folder cannot be installed whole, those of the checks before
// the install, and those that tell how a failed or interrupted install was
// undone. A language may give them in its `message` element; where it does
// not, built-in texts in Japanese or English stand in, chosen by the
// language's code.
#pragma once

#include <cstdint>

#include "file/confine_rules.h"

struct LanguageRecord;

// The element names below `message`, in the order patchcheck lists them.
inline constexpr const char* kPatchCheckTextNames[] = {
    "error_link",    "error_name",     "error_length",  "error_case",
    "error_running", "error_busy",     "error_space",   "error_access",
    "unchanged",     "error_restore",  "recovered",     "error_recovery"};

// The record's field for a text of kPatchCheckTextNames.
char16_t* PatchCheckText(LanguageRecord* record, const char* name);

// Fills every empty one of these texts with the built-in text for the
// record's code.
void FillPatchCheckTexts(LanguageRecord* record);

// "Japanese" or "English": the built-in texts a language code gets.
const char* BuiltInTextLanguage(std::uint16_t code);

// The text for a data folder finding of `rule`.
const char16_t* PatchCheckTextFor(const LanguageRecord& record, confine::Rule rule);
