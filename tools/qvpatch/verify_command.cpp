#include "tools/qvpatch/verify_command.h"

#include <set>

#include "tools/common/file_io.h"
#include "tools/common/options.h"
#include "tools/common/utf.h"
#include "tools/qvpatch/file_digest.h"
#include "tools/qvpatch/game_lookup.h"
#include "tools/qvpatch/manifest.h"
#include "tools/qvpatch/patch_folder.h"

const char kVerifyHelp[] =
    "usage: qvpatch verify --game GAME --manifest PATCH/patch-manifest.json [--json]\n"
    "Checks an installed game against the manifest 'qvpatch make' wrote: every\n"
    "file of the new game must be there with its size and SHA-256, and every\n"
    "delete entry of the patch must be gone. Names match without regard to\n"
    "letter case, as they do on Windows; files the manifest does not name\n"
    "(saves, install.log) are not looked at.\n"
    "  --json   print one JSON object: matches, files, missing, differs,\n"
    "           not_deleted, error\n"
    "Exit status: 0 the game matches, 1 it does not or cannot be checked,\n"
    "2 bad usage.\n";

namespace {

struct Difference {
  std::u16string path;
  std::string reason;
};

struct VerifyReport {
  std::size_t files = 0;
  std::vector<std::u16string> missing;
  std::vector<Difference> differs;
  std::vector<std::u16string> not_deleted;
  std::string error;

  bool Matches() const {
    return error.empty() && missing.empty() && differs.empty() && not_deleted.empty();
  }
};

// Every folder that holds `path`, and `path` itself.
void AddWithFolders(const std::u16string& path, std::set<std::u16string>* used) {
  for (std::size_t cut = path.find(u'\\'); cut != std::u16string::npos; cut = path.find(u'\\', cut + 1))
    used->insert(path.substr(0, cut));
  used->insert(path);
}

void Verify(const std::u16string& game, const Manifest& manifest, VerifyReport* report) {
  const os::Handle root = os::OpenTreeRoot(game.c_str());
  if (root == os::kInvalidHandle) {
    report->error = "the game folder \"" + ToUtf8(game) + "\" cannot be opened: " + LastErrorText();
    return;
  }
  GameLookup lookup(root);
  TreeFiles files(root);
  std::uint64_t total = 0;
  for (const ManifestFile& file : manifest.files) total += file.size;
  ProgressMeter meter = ProgressMeter::OnTerminal();
  meter.Begin("verifying", total);
  std::set<std::u16string> used;  // what the manifest's files are on disk
  for (const ManifestFile& file : manifest.files) {
    ++report->files;
    const std::optional<FoundEntry> found = lookup.Find(file.path);
    if (!found) {
      report->missing.push_back(file.path);
      continue;
    }
    AddWithFolders(found->path, &used);
    if (found->info.kind != os::EntryKind::kFile) {
      report->differs.push_back({file.path, "not a file"});
      continue;
    }
    if (found->info.size != file.size) {
      report->differs.push_back({file.path, "size " + std::to_string(found->info.size) +
                                                ", expected " + std::to_string(file.size)});
      continue;
    }
    Sha256Digest digest;
    std::uint64_t size = 0;
    std::string problem;
    if (!HashTreeFile(&files, found->path, &meter, &digest, &size, &problem))
      report->differs.push_back({file.path, problem});
    else if (size != file.size || digest != file.digest)
      report->differs.push_back({file.path, "content"});
  }
  meter.End();
  for (const std::u16string& gone : manifest.deletions) {
    const std::optional<FoundEntry> found = lookup.Find(gone);
    if (found && !used.count(found->path)) report->not_deleted.push_back(gone);
  }
  os::CloseTreeFolder(root);
}

std::string FormatText(const VerifyReport& report) {
  std::string text;
  for (const std::u16string& path : report.missing) text += "missing      " + ToUtf8(path) + "\n";
  for (const Difference& difference : report.differs)
    text += "differs      " + ToUtf8(difference.path) + " (" + difference.reason + ")\n";
  for (const std::u16string& path : report.not_deleted) text += "not deleted  " + ToUtf8(path) + "\n";
  const std::size_t problems =
      report.missing.size() + report.differs.size() + report.not_deleted.size();
  if (problems == 0)
    return text + "the game matches the manifest: " + std::to_string(report.files) + " files\n";
  return text + "the game does not match the manifest: " + std::to_string(problems) +
         (problems == 1 ? " problem, " : " problems, ") + std::to_string(report.files) + " files\n";
}

std::string JsonList(const std::vector<std::u16string>& paths) {
  std::string json = "[";
  for (std::size_t i = 0; i < paths.size(); ++i) json += (i ? ", " : "") + JsonString(paths[i]);
  return json + "]";
}

std::string FormatJson(const VerifyReport& report) {
  std::string json = "{\"matches\": " + std::string(report.Matches() ? "true" : "false") +
                     ", \"files\": " + std::to_string(report.files) +
                     ", \"missing\": " + JsonList(report.missing) + ", \"differs\": [";
  for (std::size_t i = 0; i < report.differs.size(); ++i)
    json += (i ? ", " : "") + std::string("{\"path\": ") + JsonString(report.differs[i].path) +
            ", \"reason\": " + JsonString(report.differs[i].reason) + "}";
  json += "], \"not_deleted\": " + JsonList(report.not_deleted);
  json += ", \"error\": " + (report.error.empty() ? std::string("null") : JsonString(report.error));
  return json + "}\n";
}

}  // namespace

int RunVerify(const std::vector<std::string>& arguments, std::string* out, std::string* err) {
  const CommandTable command{"qvpatch verify", kVerifyHelp, {{"--game", "--manifest"}, {"--json", "--help"}},
                            {"--game", "--manifest"}};
  ParsedOptions parsed;
  if (const int status = StartCommand(arguments, command, &parsed, out, err); status >= 0) return status;

  VerifyReport report;
  const std::u16string manifest_path = ToUtf16(parsed.Value("--manifest"));
  std::string bytes;
  Manifest manifest;
  if (!ReadWholeFile(manifest_path, &bytes))
    report.error = "the manifest \"" + ToUtf8(manifest_path) + "\" cannot be read: " + LastErrorText();
  else if (ParseManifest(bytes, &manifest, &report.error))
    Verify(AbsolutePath(ToUtf16(parsed.Value("--game"))), manifest, &report);

  if (parsed.Has("--json")) {
    *out += FormatJson(report);
  } else if (!report.error.empty()) {
    *err += "qvpatch verify: " + report.error + "\n";
  } else {
    *out += FormatText(report);
  }
  return report.Matches() ? 0 : 1;
}
