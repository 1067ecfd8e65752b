// The file work of the install sequence: finding the game's install folder
// in its install record, listing the files to copy, and deleting what the
// update description lists.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "file/confine_walk.h"
#include "file/confined_tree.h"

struct UpdateInfo;

inline constexpr std::size_t kInstallPathCapacity = 260;
inline constexpr std::size_t kWorkingPathCapacity = 1024;

// The install record's path: the all-users application-data folder, then
// `brand`, then `app` with ".xml". 0 when the folder cannot be found, the
// path does not fit, or `brand` or `app` is not a plain name (a separator,
// "..", a colon or a control character would lead elsewhere).
int FormRecordPath(const UpdateInfo& info, char16_t* destination, std::size_t capacity);

// The install folder from the record: the UTF-8 text between the first
// "<path>" and the first "</path>" (the search ends at a zero byte). 0 when
// the record cannot be read, either tag is missing, or the path is empty
// or does not fit `capacity` units (kInstallPathCapacity).
int ReadInstallFolder(const char16_t* record_path, char16_t* destination, std::size_t capacity);

// The patch's data folder, checked and listed for copying below `tree`'s
// folder. On success `list` holds the relative paths of its files (in the
// system's order, a folder's files where the folder is met) and the
// result's rule is kOk; otherwise the result is the first problem that
// refuses the run and nothing is listed. A data folder that is missing or
// cannot be read lists nothing.
confine::Finding ListPatchData(const char16_t* data_folder, const confine::Tree& tree,
                               std::vector<std::u16string>* list);

// Deletes every entry of the list below `tree`'s folder (a file, a link
// itself, or a folder with its contents); entries that the rules refuse or
// that pass through a link are logged and skipped.
void DeleteListedPaths(const confine::Tree& tree, const std::vector<std::u16string>& entries);
