#include "tools/qvpatch/patch_folder.h"

#include <chrono>

#include "file/confined_file.h"
#include "tools/common/failure.h"
#include "tools/common/file_io.h"
#include "tools/common/utf.h"
#include "util/path.h"

namespace {

bool FailSystem(std::string* error, const std::string& what) {
  return Fail(error, what + ": " + LastErrorText());
}

// ".NAME.XXXXXXXX": hidden beside the destination, unlike any name there.
std::u16string StagingName(const std::u16string& destination_name, int attempt) {
  const auto ticks = static_cast<std::uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  const std::uint32_t stamp = static_cast<std::uint32_t>(ticks ^ (ticks >> 32)) + attempt * 7919u;
  std::u16string name = u"." + destination_name + u".";
  for (int shift = 28; shift >= 0; shift -= 4) name += u"0123456789abcdef"[(stamp >> shift) & 0xF];
  return name;
}

}  // namespace

bool RemoveFolderTree(os::Handle parent, const std::u16string& path, const std::u16string& name) {
  confine::Tree tree;
  if (tree.Open(path.c_str(), {}) != confine::Rule::kOk) return false;
  std::vector<os::FolderEntry> entries;
  bool removed = os::ListFolder(tree.Root(), &entries);
  for (const os::FolderEntry& entry : entries)
    removed = tree.Delete(entry.name) == confine::DeleteResult::kDeleted && removed;
  tree.Close();
  return removed && os::RemoveFolderIn(parent, name.c_str());
}

PatchFolder::~PatchFolder() {
  RemoveStaging();
  if (parent_ != os::kInvalidHandle) os::CloseTreeFolder(parent_);
}

void PatchFolder::RemoveStaging() {
  if (!staging_.IsOpen()) return;
  const std::u16string path = staging_.Path();
  staging_.Close();
  RemoveFolderTree(parent_, path, staging_name_);
}

bool PatchFolder::Begin(const std::u16string& destination, bool replace, std::string* error) {
  PathParts parts = SplitPath(destination);
  if (parts.name.empty()) return Fail(error, "\"" + ToUtf8(destination) + "\" cannot be a patch folder");
  parent_path_ = std::move(parts.folder);
  destination_name_ = std::move(parts.name);
  const std::string shown = "\"" + ToUtf8(destination) + "\"";
  if (!CreateDirectoryTree(parent_path_.c_str(), 0))
    return FailSystem(error, "the folder above " + shown + " cannot be made");
  parent_ = os::OpenTreeRoot(parent_path_.c_str());
  if (parent_ == os::kInvalidHandle)
    return FailSystem(error, "the folder above " + shown + " cannot be opened");

  os::EntryInfo info;
  destination_exists_ = os::GetEntryInfo(parent_, destination_name_.c_str(), &info);
  if (destination_exists_) {
    if (info.kind != os::EntryKind::kFolder)
      return Fail(error, shown + " exists and is not a folder");
    if (!replace) {
      const os::Handle folder = os::OpenTreeFolder(parent_, destination_name_.c_str(), false);
      std::vector<os::FolderEntry> entries;
      const bool listed = folder != os::kInvalidHandle && os::ListFolder(folder, &entries);
      if (folder != os::kInvalidHandle) os::CloseTreeFolder(folder);
      if (!listed) return FailSystem(error, shown + " cannot be read");
      if (!entries.empty()) return Fail(error, shown + " is not empty (--force replaces it)");
    }
  }

  for (int attempt = 0; attempt < 16 && !staging_.IsOpen(); ++attempt) {
    staging_name_ = StagingName(destination_name_, attempt);
    if (os::GetEntryInfo(parent_, staging_name_.c_str(), &info)) continue;
    const os::Handle made = os::OpenTreeFolder(parent_, staging_name_.c_str(), true);
    if (made == os::kInvalidHandle) return FailSystem(error, "no folder can be made beside " + shown);
    os::CloseTreeFolder(made);
    const confine::Rule rule = staging_.Open(ChildPath(parent_path_, staging_name_).c_str(), {});
    if (rule != confine::Rule::kOk) {
      os::RemoveFolderIn(parent_, staging_name_.c_str());
      return Fail(error, "cannot write beside " + shown + ": " + confine::RuleText(rule));
    }
  }
  return staging_.IsOpen() || Fail(error, "no folder can be made beside " + shown);
}

bool PatchFolder::WriteFile(std::u16string_view relative, std::string_view bytes, std::string* error) {
  confine::StagedFile file;
  const std::string shown = "\"" + ToUtf8(relative) + "\"";
  if (!file.Begin(staging_, relative, 0) || !WriteAll(file.File(), bytes.data(), bytes.size()) ||
      !file.Commit(os::kAttrArchive))
    return FailSystem(error, shown + " cannot be written");
  return true;
}

bool PatchFolder::CopyFile(TreeFiles* sources, std::u16string_view source,
                           std::u16string_view relative, const os::EntryInfo& times,
                           ProgressMeter* meter, Sha256Digest* digest, std::uint64_t* size,
                           std::string* error) {
  const os::Handle input = sources->Open(source);
  if (input == os::kInvalidHandle) return FailSystem(error, "\"" + ToUtf8(source) + "\" cannot be opened");
  confine::StagedFile output;
  Sha256 hash;
  std::uint64_t count = 0;
  bool read_ok = true;
  bool write_ok = output.Begin(staging_, relative, 0);
  if (write_ok) {
    read_ok = ReadChunks(input, [&](const std::uint8_t* bytes, std::size_t length) {
      hash.Update(bytes, length);
      count += length;
      meter->Advance(length, source);
      write_ok = WriteAll(output.File(), bytes, length);
      return write_ok;
    });
  }
  const std::uint32_t code = os::GetLastError();
  os::CloseFile(input);
  if (!write_ok || !read_ok) {
    os::SetLastError(code);
    return FailSystem(error, write_ok ? "\"" + ToUtf8(source) + "\" cannot be read"
                                      : "\"" + ToUtf8(relative) + "\" cannot be written");
  }
  if (!os::SetFileTimes(output.File(), &times.creation, &times.last_access, &times.last_write))
    return FailSystem(error, "\"" + ToUtf8(relative) + "\" cannot be given its times");
  if (!output.Commit(os::kAttrArchive))
    return FailSystem(error, "\"" + ToUtf8(relative) + "\" cannot be written");
  *digest = hash.Finish();
  *size = count;
  return true;
}

bool PatchFolder::MakeFolder(std::u16string_view relative, std::string* error) {
  const os::Handle folder = os::OpenTreeFolder(staging_.Root(), std::u16string(relative).c_str(), true);
  if (folder == os::kInvalidHandle)
    return FailSystem(error, "\"" + ToUtf8(relative) + "\" cannot be made");
  os::CloseTreeFolder(folder);
  return true;
}

bool PatchFolder::Place(std::string* error, std::string* warning) {
  const std::u16string staging_path = staging_.Path();
  const std::u16string destination_path = ChildPath(parent_path_, destination_name_);
  staging_.Close();
  // The old destination steps aside under the staging name's twin until
  // the new one stands, so that a failed rename loses neither.
  std::u16string aside;
  if (destination_exists_) {
    aside = staging_name_ + u".old";
    if (!os::RenameEntry(parent_, destination_name_.c_str(), parent_, aside.c_str())) {
      staging_.Open(staging_path.c_str(), {});
      return FailSystem(error, "\"" + ToUtf8(destination_path) + "\" cannot be replaced");
    }
  }
  if (!os::RenameEntry(parent_, staging_name_.c_str(), parent_, destination_name_.c_str())) {
    const std::uint32_t code = os::GetLastError();
    if (!aside.empty()) os::RenameEntry(parent_, aside.c_str(), parent_, destination_name_.c_str());
    staging_.Open(staging_path.c_str(), {});
    os::SetLastError(code);
    return FailSystem(error, "\"" + ToUtf8(destination_path) + "\" cannot be made");
  }
  const std::u16string aside_path = ChildPath(parent_path_, aside);
  if (!aside.empty() && !RemoveFolderTree(parent_, aside_path, aside))
    *warning = "the old patch folder was kept as \"" + ToUtf8(aside_path) + "\": it cannot be removed";
  return true;
}
