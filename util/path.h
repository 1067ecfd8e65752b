// Joining and splitting engine paths. Both '\' and '/' separate when
// splitting; only '\' is written when joining.
#pragma once

#include <cstddef>
#include <initializer_list>

// Joins the pieces with one backslash each (see the .cpp for the exact
// trimming rules). Returns the length written; 0 with an empty destination
// when there is no destination, no piece, or the result does not fit
// `capacity` units including the terminator.
int JoinPath(char16_t* destination, std::size_t capacity,
             std::initializer_list<const char16_t*> pieces);

// Everything before the last separator. 0 (and an empty destination) when
// there is no separator, it stands at position 0, or the result does not
// fit; 1 otherwise.
int GetParentPath(const char16_t* path, char16_t* destination, std::size_t capacity);

// 0 nothing there, 1 a file, 2 a folder (first match of a find-first).
int GetPathKind(const char16_t* path);

// Makes sure a folder exists, creating missing ancestors first. With
// `is_file` non-zero the folder is the parent of `path`. 1 on success.
int CreateDirectoryTree(const char16_t* path, int is_file);

// Pointer just behind the last '.' of the last path component, or to the
// terminator when there is none.
const char16_t* GetExtension(const char16_t* path);
