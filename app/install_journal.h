// The journal of an install: what the install has done to the game folder,
// so that a failed or interrupted install can be undone or finished.
//
// It is one small text file in the updater's work folder, always replaced
// whole (written beside, flushed, renamed over), so it is either the old
// state or the new one. Its states in order: staging (only the work folder
// holds anything of ours; a work folder without a journal says the same,
// as it is until the switch), switching (the lists below say what may have
// moved in the game folder), committed (the new game is in place; only the
// work folder remains to be removed). The rename that writes "committed"
// is the install's one commit point.
#pragma once

#include <string>
#include <vector>

namespace confine {
class Tree;
}

namespace install {

// The work folder below the install folder, and its parts: staged new
// files, backups of replaced files, and deleted entries.
inline constexpr char16_t kWorkFolder[] = u"~qvupdate";
inline constexpr char16_t kJournalPath[] = u"~qvupdate\\journal";
inline constexpr char16_t kStagedFolder[] = u"~qvupdate\\s";
inline constexpr char16_t kBackupFolder[] = u"~qvupdate\\b";
inline constexpr char16_t kDeletedFolder[] = u"~qvupdate\\d";

// One entry moved by the install: its name in the work folder's part and
// its path below the install folder.
struct JournalEntry {
  std::u16string key;
  std::u16string relative;
  friend bool operator==(const JournalEntry&, const JournalEntry&) = default;
};

struct Journal {
  enum class State { kStaging, kSwitching, kCommitted };
  State state = State::kStaging;
  // Delete entries moved into the deleted part, in the order of moving.
  std::vector<JournalEntry> deletions;
  // Folders the install makes, parents first.
  std::vector<std::u16string> folders;
  // Files put in place from the staged part; an installed file they
  // replace goes to the backup part under the same key.
  std::vector<JournalEntry> files;
  // Folders new to the game, each staged whole in the staged part and
  // moved in with one rename; they never replace anything.
  std::vector<JournalEntry> trees;
  friend bool operator==(const Journal&, const Journal&) = default;
};

// The journal's lines, and back; false for lines that are not a whole
// journal (a missing end line, an unknown state or record).
std::vector<std::u16string> JournalLines(const Journal& journal);
bool ParseJournal(const std::vector<std::u16string>& lines, Journal* journal);

// Replaces the journal file in `tree` (durably); false with the last error.
bool WriteJournal(const confine::Tree& tree, const Journal& journal);

enum class JournalRead { kRead, kAbsent, kDamaged, kFailed };
JournalRead ReadJournal(const confine::Tree& tree, Journal* journal);

}  // namespace install
