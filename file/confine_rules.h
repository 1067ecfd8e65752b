// The rules that keep a program inside one folder: which texts may name a
// folder to work in, an entry below it, or a plain name. They are pure
// text rules, the same for every caller (the updater, patchcheck and the
// patch and archive tools), and they judge paths of either style on any
// system, so that a patch is checked on Linux as Windows will see it.
//
// Names below the folder are judged by Windows' rules everywhere: a patch
// is for a Windows game, and a name that Windows cannot hold would land
// elsewhere or nowhere there.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace confine {

enum class PathStyle {
  kWindows,  // "C:\games\x", "\\server\share\x"; '\' and '/' separate
  kPosix,    // "/games/x"; '\' separates as well, as in every engine path
};

// The style of the system the program runs on.
PathStyle NativeStyle();

// Why a text is refused. Every rule has a stable code (RuleCode) that the
// updater's log and patchcheck's report share.
enum class Rule {
  kOk,
  // Names and relative paths.
  kEmpty,           // nothing to name
  kAbsolute,        // absolute, drive-qualified or a network path
  kDotComponent,    // "." or ".." as a component
  kBadCharacter,    // \ / : * ? " < > | or a control character in a name
  kTrailingDot,     // a name that ends with a dot or a space
  kReservedName,    // CON, PRN, AUX, NUL, COM1-9, LPT1-9 (with any extension)
  kTooLong,         // a name over 255 units, or a path over the path limit
  kCaseCollision,   // differs from a name beside it only in letter case
  kLink,            // a link, or an entry that is neither file nor folder
  // Folders to work in.
  kNotAbsolute,     // relative, drive-relative or rooted without a drive
  kNotNormalised,   // empty, "." or ".." components, or names Windows rewrites
  kVolumeRoot,      // "C:\", "\\server\share", "/"
  kSystemFolder,    // the system's own or every user's folder
  kUserProfile,     // a user's profile root
  kPatchFolder,     // the patch folder itself or a folder inside it
  kMissing,         // no such folder, or not a folder
  kRootIsLink,      // the folder itself is a link
};

// "name-character", "path-dot", "data-link", ...
const char* RuleCode(Rule rule);
// One English sentence for people: "the name ends with a dot or a space".
const char* RuleText(Rule rule);

// Windows' limits: MAX_PATH units with the terminator, and a name's units.
inline constexpr std::size_t kPathCapacity = 260;
inline constexpr std::size_t kNameLimit = 255;

// One component of a path below the folder, by Windows' rules.
Rule CheckName(std::u16string_view name);

// A path below the folder: relative, components separated by '\' or '/'
// (empty components, from doubled or trailing separators, are ignored),
// each one a valid name. Delete entries and data paths follow it.
Rule CheckRelativePath(std::u16string_view path);

// A plain name such as the install record's folder and file names: one
// valid name, and not "." or "..".
Rule CheckPlainName(std::u16string_view name);

// Whether `relative` fits below a folder of `folder_units` units as one
// path: folder, a separator and the relative path below kPathCapacity.
bool FitsBelow(std::size_t folder_units, std::u16string_view relative);

// The text of a folder to work in: absolute and normalised in `style`, and
// not a volume root. On success `normalised` (may be null) receives it
// with trailing separators dropped.
Rule CheckFolderText(std::u16string_view path, PathStyle style, std::u16string* normalised);

// Letter case as Windows' file systems fold it, for the letters that game
// files use (Latin, Greek, Cyrillic, full-width Latin).
char16_t FoldCase(char16_t unit);

}  // namespace confine
