// The install journal as recovery reads it: any bytes are a journal or
// damaged, never a crash, and a journal that is read names only keys of
// the work folder's parts and paths of the game outside the work folder.
#include "app/install_journal.h"
#include "file/confine_rules.h"
#include "file/confined_tree.h"
#include "fuzz_file.h"

namespace {

bool IsKey(const std::u16string& key) {
  return confine::CheckPlainName(key) == confine::Rule::kOk && key.find(u'\\') == key.npos;
}

bool IsGamePath(const std::u16string& path) {
  return confine::CheckRelativePath(path) == confine::Rule::kOk &&
         path.rfind(install::kWorkFolder, 0) != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static confine::Tree tree;
  static const bool made = [] {
    std::filesystem::create_directories(std::filesystem::path(FuzzFolder()) / "~qvupdate");
    return true;
  }();
  (void)made;
  if (!tree.IsOpen() && tree.Open(FuzzFolder().c_str(), {}) != confine::Rule::kOk) __builtin_trap();
  WriteFuzzFile(data, size, u"~qvupdate/journal");
  install::Journal journal;
  if (install::ReadJournal(tree, &journal) != install::JournalRead::kRead) return 0;
  for (const install::JournalEntry& entry : journal.files)
    if (!IsKey(entry.key) || !IsGamePath(entry.relative)) __builtin_trap();
  for (const install::JournalEntry& entry : journal.deletions)
    if (!IsKey(entry.key)) __builtin_trap();
  for (const std::u16string& folder : journal.folders)
    if (!IsGamePath(folder)) __builtin_trap();
  // What is read is written back the same.
  install::Journal again;
  if (!install::ParseJournal(install::JournalLines(journal), &again) || !(again == journal))
    __builtin_trap();
  return 0;
}
