#include "app/install_journal.h"

#include <string_view>

#include "app/text_line_list.h"
#include "file/confine_rules.h"
#include "file/confined_tree.h"
#include "os/tree.h"

namespace install {
namespace {

constexpr std::u16string_view kHeader = u"qvupdate journal 1";
constexpr std::u16string_view kEnd = u"end";
constexpr std::u16string_view kStatePrefix = u"state ";
constexpr std::u16string_view kDeletePrefix = u"delete ";
constexpr std::u16string_view kFolderPrefix = u"folder ";
constexpr std::u16string_view kFilePrefix = u"file ";
constexpr std::u16string_view kTreePrefix = u"tree ";

// Keys are numbers of jobs and entries: far fewer digits than this.
constexpr std::size_t kMaxKeyUnits = 20;

constexpr std::u16string_view kStateNames[] = {u"staging", u"switching", u"committed"};

// "KEY\tPATH": keys are ours and never hold a tab; paths below a folder
// never do either (control characters are refused in names).
std::u16string EntryText(const JournalEntry& entry) { return entry.key + u"\t" + entry.relative; }

bool ParseEntry(std::u16string_view text, JournalEntry* entry) {
  const std::size_t tab = text.find(u'\t');
  if (tab == 0 || tab == std::u16string_view::npos || tab + 1 == text.size()) return false;
  entry->key = text.substr(0, tab);
  entry->relative = text.substr(tab + 1);
  return true;
}

// Keys are ours: decimal numbers and "log", names in the work folder's parts.
bool IsKey(std::u16string_view key) {
  if (key.empty() || key.size() > kMaxKeyUnits) return false;
  for (char16_t unit : key)
    if (!((unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'z'))) return false;
  return true;
}

// A path the install may have moved: below the install folder under the
// rules of delete entries, and not into the work folder.
bool IsGamePath(std::u16string_view relative) {
  if (confine::CheckRelativePath(relative) != confine::Rule::kOk) return false;
  std::u16string_view first = relative.substr(0, relative.find_first_of(u"\\/"));
  constexpr std::u16string_view work = kWorkFolder;
  if (first.size() != work.size()) return true;
  for (std::size_t i = 0; i < first.size(); ++i) {
    char16_t unit = first[i];
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit + 32);
    if (unit != work[i]) return true;
  }
  return false;
}

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::vector<std::u16string> JournalLines(const Journal& journal) {
  std::vector<std::u16string> lines{std::u16string(kHeader)};
  lines.push_back(std::u16string(kStatePrefix) +
                  std::u16string(kStateNames[static_cast<int>(journal.state)]));
  for (const JournalEntry& entry : journal.deletions)
    lines.push_back(std::u16string(kDeletePrefix) + EntryText(entry));
  for (const std::u16string& folder : journal.folders)
    lines.push_back(std::u16string(kFolderPrefix) + folder);
  for (const JournalEntry& entry : journal.files)
    lines.push_back(std::u16string(kFilePrefix) + EntryText(entry));
  for (const JournalEntry& entry : journal.trees)
    lines.push_back(std::u16string(kTreePrefix) + EntryText(entry));
  lines.emplace_back(kEnd);
  return lines;
}

bool ParseJournal(const std::vector<std::u16string>& lines, Journal* journal) {
  *journal = Journal{};
  if (lines.size() < 3 || lines.front() != kHeader || lines.back() != kEnd ||
      !StartsWith(lines[1], kStatePrefix))
    return false;
  const std::u16string_view state = std::u16string_view(lines[1]).substr(kStatePrefix.size());
  bool known = false;
  for (int i = 0; i < 3; ++i)
    if (state == kStateNames[i]) {
      journal->state = static_cast<Journal::State>(i);
      known = true;
    }
  if (!known) return false;
  // The journal is read as a stranger's file: whatever it says, recovery
  // moves only between the work folder's parts and paths of the game.
  for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
    std::u16string_view line = lines[i];
    JournalEntry entry;
    auto moved = [&](std::u16string_view prefix) {
      return StartsWith(line, prefix) && ParseEntry(line.substr(prefix.size()), &entry) &&
             IsKey(entry.key) && IsGamePath(entry.relative);
    };
    if (StartsWith(line, kDeletePrefix) && ParseEntry(line.substr(kDeletePrefix.size()), &entry) &&
        IsKey(entry.key)) {
      // A delete entry that the rules refuse was never moved; it stays in
      // the journal only to keep the keys in step.
      journal->deletions.push_back(entry);
    } else if (moved(kFilePrefix)) {
      journal->files.push_back(entry);
    } else if (moved(kTreePrefix)) {
      journal->trees.push_back(entry);
    } else if (StartsWith(line, kFolderPrefix) &&
               IsGamePath(std::u16string_view(line).substr(kFolderPrefix.size()))) {
      journal->folders.emplace_back(line.substr(kFolderPrefix.size()));
    } else {
      return false;
    }
  }
  return true;
}

bool WriteJournal(const confine::Tree& tree, const Journal& journal) {
  TextLineList lines;
  for (const std::u16string& line : JournalLines(journal)) lines.Append(line.c_str());
  return lines.Save(tree, kJournalPath) != 0;
}

JournalRead ReadJournal(const confine::Tree& tree, Journal* journal) {
  std::u16string name;
  os::Handle folder = tree.OpenParent(kJournalPath, false, &name);
  if (folder == os::kInvalidHandle) return JournalRead::kFailed;
  os::EntryInfo info;
  const bool present = os::GetEntryInfo(folder, name.c_str(), &info);
  const std::uint32_t error = os::GetLastError();
  os::CloseTreeFolder(folder);
  if (!present) return error == os::kErrorFileNotFound ? JournalRead::kAbsent : JournalRead::kFailed;
  TextLineList lines;
  if (!lines.Load(tree, kJournalPath)) return JournalRead::kFailed;
  return ParseJournal(lines.Lines(), journal) ? JournalRead::kRead : JournalRead::kDamaged;
}

}  // namespace install
