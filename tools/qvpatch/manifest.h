// patch-manifest.json: what a game folder holds once a patch is installed,
// for checking an installation later. For every file of the new game its
// relative path, size and SHA-256, and the patch's delete entries:
//
//   {
//     "format": "qvpatch-manifest",
//     "version": 1,
//     "hash": "sha256",
//     "files": [
//       {"path": "scenario\\prologue.txt", "size": 1234, "sha256": "9f86d0..."}
//     ],
//     "delete": ["cache", "readme_old.txt"]
//   }
//
// Paths are relative, '\' separated. The writer gives the same bytes for
// the same content: keys in this order, files in the game's tree order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/qvpatch/sha256.h"

struct ManifestFile {
  std::u16string path;
  std::uint64_t size = 0;
  Sha256Digest digest{};
};

struct Manifest {
  std::vector<ManifestFile> files;
  std::vector<std::u16string> deletions;
};

std::string FormatManifest(const Manifest& manifest);

// Reads a manifest; a hostile one is refused, with the reason in `error`:
// other formats or versions, missing or mistyped members, paths that leave
// the game folder or that Windows cannot hold, a path given twice.
bool ParseManifest(std::string_view json, Manifest* manifest, std::string* error);
