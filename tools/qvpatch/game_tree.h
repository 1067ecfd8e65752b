// A game folder as the patch tools see it: every file and folder below
// it, listed without following links, in an order that is the same on
// every system and every run.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "os/tree.h"

struct GameEntry {
  std::u16string path;  // relative, '\' separated
  os::EntryInfo info;   // kind kFile or kFolder
  bool empty = false;   // a folder with nothing in it
};

struct GameTree {
  // Each folder before what it holds; the names of one folder ordered by
  // NameLess.
  std::vector<GameEntry> entries;
  // Links and entries that are neither files nor folders: reported, never
  // followed or read.
  std::vector<std::u16string> links;
};

// How deep below the game folder the scan goes.
inline constexpr int kMaxGameDepth = 128;

// Letter case folded as Windows' file systems fold it first, then unit by
// unit, so that "a.txt" < "B.txt" < "b.txt".
bool NameLess(std::u16string_view a, std::u16string_view b);
// The path with its letter case folded the same way.
std::u16string FoldPath(std::u16string_view path);

// Scans `folder`. False, with the reason for the user in `error`, when it
// or a folder below it cannot be opened or listed, or nests too deep: a
// comparison of part of a game would be wrong.
bool ScanGameTree(const std::u16string& folder, GameTree* tree, std::string* error);
