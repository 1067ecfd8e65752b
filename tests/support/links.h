// Symbolic links for tests, made with the system's own means. Under Wine,
// whose CreateSymbolicLinkW reports success without making anything, they
// are made from the Linux side, as a player's tools would make them there.
#pragma once

#include <filesystem>

namespace qvtest {

bool RunningUnderWine();

// Makes `link` point to `target` (absolute, or relative to the link's
// folder); `folder` tells Windows which kind of link to make. False when
// the system refuses (Windows without the right to make links).
bool MakeLink(const std::filesystem::path& link, const std::filesystem::path& target, bool folder);

// Removes the link itself; the scratch folders' clean-up cannot under Wine.
void RemoveLink(const std::filesystem::path& link);

}  // namespace qvtest
