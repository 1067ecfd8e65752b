// A folder tree reached without links.
//
// Entries are named relative to a folder that this interface opened, and
// every folder on the way was entered one component at a time without
// following a link (symbolic link, junction, mount point, any reparse
// point): a link in the middle of a path stops the walk, and a link at the
// end of one is looked at, replaced or removed itself, never what it points
// to. Open folders are held so that, where the system allows it, they
// cannot be renamed or replaced while they are in use.
//
// `name` arguments are single components: not empty, not "." or "..",
// without '\', '/' or ':' (else kErrorInvalidName). Failures set the last
// error of os/file.h and return false or kInvalidHandle.
//
// Limits of the systems: Wine shows a link to a folder as a folder with
// kAttrReparsePoint but a link to a file as a plain file, and opens through
// it. Operations that replace or remove a file therefore never open it for
// writing or deleting: they rename over its name, which replaces a link
// itself on every system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "os/file.h"
#include "os/times.h"

namespace os {

// Windows' attribute of a reparse point; the POSIX backend sets it for
// symbolic links, with kAttrDirectory when the link points to a folder.
inline constexpr std::uint32_t kAttrReparsePoint = 0x400;

inline constexpr std::uint32_t kErrorInvalidName = 123;
// A file stands where a folder is needed.
inline constexpr std::uint32_t kErrorDirectory = 267;
// A link was met where a folder or a file had to be entered.
inline constexpr std::uint32_t kErrorStoppedOnSymlink = 681;

enum class EntryKind : std::uint8_t {
  kFile,
  kFolder,
  kLink,   // any link or reparse point, whatever it points to
  kOther,  // devices, pipes, sockets (POSIX only)
};

struct EntryInfo {
  EntryKind kind = EntryKind::kFile;
  std::uint32_t attributes = 0;  // Windows bits
  std::uint64_t size = 0;        // 0 for folders and links
  FileTime creation;
  FileTime last_access;
  FileTime last_write;
};

struct FolderEntry {
  std::u16string name;
  EntryInfo info;
};

// Tells whether two paths or handles name the same folder.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Opens the folder `path` as the top of a tree. The folder itself must not
// be a link (kErrorStoppedOnSymlink); the folders above it are resolved by
// the system as usual.
Handle OpenTreeRoot(const char16_t* path);
// Opens the folder `relative` below `folder`: components separated by '\'
// or '/', empty ones ignored (so "" opens `folder` once more). Each is
// entered without following a link; with `create`, missing ones are made.
// A missing one fails with kErrorPathNotFound, a file in the way with
// kErrorDirectory.
Handle OpenTreeFolder(Handle folder, const char16_t* relative, bool create);
bool CloseTreeFolder(Handle folder);

bool GetFolderIdentity(Handle folder, FileIdentity* identity);
// The identity of what `path` names, links followed.
bool GetPathIdentity(const char16_t* path, FileIdentity* identity);

// The entry itself, a link not followed. kErrorFileNotFound when absent.
bool GetEntryInfo(Handle folder, const char16_t* name, EntryInfo* info);
// Every entry but "." and "..", in the system's order (the POSIX backend
// sorts like an NTFS listing).
bool ListFolder(Handle folder, std::vector<FolderEntry>* entries);
// The names alone, in no particular order: POSIX then asks nothing about
// each entry. One fault point of kind kFind.
bool ListFolderNames(Handle folder, std::vector<std::u16string>* names);

// Creates the new file `name` for writing, not shared; fails with
// kErrorFileExists when any entry of that name is there, a link included.
// The new file's attributes are kAttrArchive alone (never read-only).
Handle CreateFileIn(Handle folder, const char16_t* name, std::uint32_t flags);
// Opens the existing file `name` for reading, shared for reading. A link
// fails with kErrorStoppedOnSymlink, a folder with kErrorAccessDenied.
// `flags`: kFlagSequentialScan only.
Handle OpenFileIn(Handle folder, const char16_t* name, std::uint32_t flags);

// Whether a new file can be made in `folder`. The file made to find out
// leaves nothing behind, even when the process dies meanwhile: it has no
// name (O_TMPFILE; elsewhere a name removed at once) or goes with its
// handle (FILE_FLAG_DELETE_ON_CLOSE).
bool ProbeNewFile(Handle folder);

// Renames an entry (a file, link or folder) to `to_name` in `to_folder`,
// which may be `from_folder`. A file or link of that name is replaced, the
// link itself; a folder or a read-only file there is not (kErrorAccessDenied).
// A link is moved itself, or refused (kErrorStoppedOnSymlink) where the
// system would move what it points to (Wine). Windows writes the change through (MOVEFILE_WRITE_THROUGH); POSIX needs a
// FlushTreeFolder of both folders to make it durable.
bool RenameEntry(Handle from_folder, const char16_t* from_name, Handle to_folder,
                 const char16_t* to_name);
// Deletes a file, or a link of any kind without touching what it points
// to. A folder or a read-only file is refused (kErrorAccessDenied).
bool DeleteEntry(Handle folder, const char16_t* name);
// Removes an empty folder that is not a link.
bool RemoveFolderIn(Handle folder, const char16_t* name);

// Makes the changes of the folder's entries durable, as FlushFolder does
// for a path: POSIX fsyncs the folder; Windows, whose renames write
// through, only checks the handle.
bool FlushTreeFolder(Handle folder);
// FlushTreeFolder for `count` folders at once: POSIX syncs each file system
// they lie on once (syncfs), which costs one flush where a folder at a time
// costs one per folder; Windows checks each handle. One fault point of kind
// kFlush.
bool FlushTreeFolders(const Handle* folders, std::size_t count);
// Brings every file of the folder and of the folders below it (links not
// followed) to the disk, data and metadata, and the folders' entries, in
// one step where the system has one: POSIX syncs the folder's whole file
// system (syncfs); Windows flushes each file (FlushFileBuffers), which
// needs files that can be opened for writing. One fault point of kind
// kFlush.
bool FlushTreeFiles(Handle folder);

// Attributes and times of the entry itself; a link is refused
// (kErrorStoppedOnSymlink). A null time is left alone.
bool SetEntryAttributes(Handle folder, const char16_t* name, std::uint32_t attributes);
bool SetEntryTimes(Handle folder, const char16_t* name, const FileTime* creation,
                   const FileTime* last_access, const FileTime* last_write);

}  // namespace os
