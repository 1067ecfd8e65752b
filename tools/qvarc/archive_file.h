// An archive file opened for reading: its directory checked, and the
// engine's archive object built from it, so that members are read by the
// engine's own member file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "file/archive.h"
#include "tools/qvarc/archive_format.h"

struct OpenedArchive {
  ArchiveHeader header;
  std::vector<ArchiveMember> members;
  std::unique_ptr<qvArchive> archive = std::make_unique<qvArchive>();
};

// Reads the header and directory of `path`. With `key` (may be empty for
// a plain archive or a listing), the engine's archive is set up for
// reading; an enciphered archive needs the right key. False, with the
// reason in `error`, for anything else.
bool OpenArchiveFile(const std::u16string& path, const std::string* key, OpenedArchive* opened,
                     std::string* error);

// Writes the files `names` (relative, '\' separated) below the open folder
// `root` into a new archive at `path`, enciphered when `key` is given. The
// archive is written beside under another name and renamed over `path`
// only when complete.
bool CreateArchiveFile(const std::u16string& path, os::Handle root,
                       const std::vector<std::u16string>& names, const std::string* key,
                       std::string* error);
