// The file work of the install sequence: finding the game's install folder
// in its install record, listing the files to copy, and deleting what the
// update description lists.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct UpdateInfo;

inline constexpr std::size_t kInstallPathCapacity = 260;
inline constexpr std::size_t kWorkingPathCapacity = 1024;

// The install record's path: the all-users application-data folder, then
// `brand`, then `app` with ".xml". 0 when the folder cannot be found or the
// path does not fit.
int FormRecordPath(const UpdateInfo& info, char16_t* destination, std::size_t capacity);

// The install folder from the record: the UTF-8 text between the first
// "<path>" and the first "</path>" (the search ends at a zero byte). 0 when
// the record cannot be read, either tag is missing, or the path is empty
// or does not fit `capacity` units (kInstallPathCapacity).
int ReadInstallFolder(const char16_t* record_path, char16_t* destination, std::size_t capacity);

// Appends the files below `relative` (relative to the current directory;
// empty for the current directory itself) in the system's enumeration
// order, descending into each folder where it is met. Folders never enter
// the list.
void BuildCopyList(const char16_t* relative, std::vector<std::u16string>* list);

// Deletes what the path or pattern `pattern` matches, folders with their
// contents. Failures are silent. A linked folder is unlinked, never
// entered.
void DeleteTree(const char16_t* pattern);

// Whether a delete-list entry names something inside the install folder:
// not empty, not absolute, not drive-qualified, not a network path, and no
// ".." or "." component.
bool IsSafeDeleteEntry(const char16_t* entry);

// Deletes every safe entry of the list below `install_folder` (a file, or a
// folder with its contents); refused entries are logged and skipped.
void DeleteListedPaths(const char16_t* install_folder,
                       const std::vector<std::u16string>& entries);
