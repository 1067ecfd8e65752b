#include "tools/qvpatch/make_command.h"

#include "app/update_info.h"
#include "os/folders.h"
#include "os/process.h"
#include "os/tree.h"
#include "tools/common/failure.h"
#include "tools/common/file_io.h"
#include "tools/common/options.h"
#include "tools/common/utf.h"
#include "tools/patchcheck/patch_check.h"
#include "tools/qvimg/picture_io.h"
#include "tools/qvpatch/description_template.h"
#include "tools/qvpatch/manifest.h"
#include "tools/qvpatch/patch_folder.h"
#include "tools/qvpatch/patch_plan.h"
#include "ui/progress_text.h"

const char kMakeHelp[] =
    "usage: qvpatch make --from OLD --to NEW --template TEMPLATE.xml --out PATCH\n"
    "                    [--background PICTURE] [--updater UPDATER.exe] [--force]\n"
    "Makes the patch folder PATCH that turns the game folder OLD into NEW.\n"
    "  --from OLD          the game as players have it\n"
    "  --to NEW            the game as it is to be\n"
    "  --template FILE     an updateinfo.xml with brand, app, languages and texts;\n"
    "                      its delete list is replaced by the generated one\n"
    "  --out PATCH         the patch folder to make; it must be empty or absent\n"
    "  --background FILE   any picture qvimg reads, converted to updatebg.hg3\n"
    "                      (default: updatebg.hg3 beside the template)\n"
    "  --updater FILE      the Windows updater to ship as updater.exe (default:\n"
    "                      updater.exe beside this program, else the build's)\n"
    "  --force             replace a PATCH folder that holds anything\n"
    "Files are compared by size and SHA-256; new and changed ones are copied to\n"
    "PATCH/data with NEW's file times, what is gone from OLD becomes the delete\n"
    "list (a folder as one entry). PATCH/patch-manifest.json lists every file of\n"
    "NEW for 'qvpatch verify'. The patch is checked as patchcheck does before it\n"
    "is put in place; a failed run leaves nothing behind.\n"
    "Exit status: 0 made, 1 failed, 2 bad usage.\n";

namespace {

constexpr char16_t kDescriptionName[] = u"updateinfo.xml";
constexpr char16_t kBackgroundName[] = u"updatebg.hg3";
constexpr char16_t kIconName[] = u"icon.ico";
constexpr char16_t kUpdaterName[] = u"updater.exe";
constexpr char16_t kManifestName[] = u"patch-manifest.json";
constexpr std::uint32_t kModulePathCapacity = 1024;

struct MakeOptions {
  std::u16string old_folder;
  std::u16string new_folder;
  std::u16string template_path;
  std::u16string out;
  std::u16string background;
  std::u16string updater;
  bool force = false;
};

std::string Quote(const std::u16string& path) { return "\"" + ToUtf8(path) + "\""; }

bool IsFile(const std::u16string& path) {
  const std::uint32_t attributes = os::GetFileAttributes(path.c_str());
  return attributes != os::kInvalidAttributes && !(attributes & os::kAttrDirectory);
}

// Whether `inner` is `outer` or lies somewhere below it.
bool Holds(const std::u16string& outer, const std::u16string& inner) {
  os::FileIdentity outer_identity;
  if (!os::GetPathIdentity(outer.c_str(), &outer_identity)) return false;
  for (std::u16string path = inner;;) {
    os::FileIdentity identity;
    if (os::GetPathIdentity(path.c_str(), &identity) && identity == outer_identity) return true;
    const std::u16string parent = SplitPath(path).folder;
    if (parent == path || parent == u".") return false;
    path = parent;
  }
}

std::u16string DefaultUpdater() {
  std::u16string module(kModulePathCapacity, u'\0');
  module.resize(os::GetModulePath(module.data(), kModulePathCapacity));
  if (!module.empty()) {
    const std::u16string beside = ChildPath(SplitPath(module).folder, kUpdaterName);
    if (IsFile(beside)) return beside;
  }
#ifdef QV_BUILD_WINDOWS_UPDATER
  const std::u16string built = ToUtf16(QV_BUILD_WINDOWS_UPDATER);
  if (IsFile(built)) return built;
#endif
  return {};
}

class PatchMaker {
 public:
  PatchMaker(const MakeOptions& options, ProgressMeter* meter) : options_(options), meter_(meter) {}

  bool Run(std::string* error) {
    return CheckPlaces(error) && Compare(error) && folder_.Begin(options_.out, options_.force, error) &&
           CopyData(error) && WriteDescription(error) && AddBackground(error) &&
           AddSideFiles(error) && WriteManifest(error) && Check(error) && Place(error);
  }

  std::string Summary() const {
    std::string text = "made " + ToUtf8(options_.out) + "\n";
    text += "  files added:     " + std::to_string(plan_.added) + "\n";
    text += "  files changed:   " + std::to_string(plan_.changed) + "\n";
    text += "  files unchanged: " + std::to_string(plan_.unchanged) + "\n";
    text += "  delete entries:  " + std::to_string(plan_.deletions.size()) + "\n";
    text += "  bytes to ship:   " + std::to_string(plan_.ship_bytes) + " (" +
            ToUtf8(ui::FormatSize(plan_.ship_bytes)) + ")\n";
    return text;
  }
  const std::vector<std::string>& Warnings() const { return warnings_; }

 private:
  bool CheckPlaces(std::string* error) {
    const std::pair<const char*, const std::u16string*> inputs[] = {
        {"OLD", &options_.old_folder}, {"NEW", &options_.new_folder},
        {"the template", &options_.template_path}, {"the background", &options_.background},
        {"the updater", &options_.updater}};
    for (const auto& [what, path] : inputs) {
      if (path->empty() || !(Holds(options_.out, *path) || Holds(*path, options_.out))) continue;
      *error = std::string(what) + " " + Quote(*path) + " and the patch folder " +
               Quote(options_.out) + " overlap: the patch must go elsewhere";
      return false;
    }
    if (!ReadWholeFile(options_.template_path, &template_bytes_)) {
      *error = "the template " + Quote(options_.template_path) + " cannot be read: " + LastErrorText();
      return false;
    }
    return true;
  }

  bool Compare(std::string* error) {
    if (!ScanGameTree(options_.old_folder, &old_tree_, error) ||
        !ScanGameTree(options_.new_folder, &new_tree_, error))
      return false;
    const PlanInput input{options_.old_folder, options_.new_folder, &old_tree_, &new_tree_};
    if (!PlanPatch(input, meter_, &plan_, error)) return false;
    warnings_.insert(warnings_.end(), plan_.warnings.begin(), plan_.warnings.end());
    return true;
  }

  bool CopyData(std::string* error) {
    if (!folder_.MakeFolder(u"data", error)) return false;
    const os::Handle root = os::OpenTreeRoot(options_.new_folder.c_str());
    if (root == os::kInvalidHandle) {
      *error = "NEW " + Quote(options_.new_folder) + " cannot be opened: " + LastErrorText();
      return false;
    }
    meter_->Begin("copying", plan_.ship_bytes);
    bool ok = true;
    TreeFiles sources(root);
    for (PlannedFile& file : plan_.files) {
      if (!file.ship) continue;
      std::uint64_t size = 0;
      ok = folder_.CopyFile(&sources, file.entry->path, u"data\\" + file.entry->path, file.entry->info,
                            meter_, &file.digest, &size, error);
      if (!ok) break;
      if (size != file.entry->info.size) {
        *error = Quote(file.entry->path) + " in NEW changed while it was copied";
        ok = false;
        break;
      }
      file.hashed = true;
    }
    meter_->End();
    os::CloseTreeFolder(root);
    return ok;
  }

  bool WriteDescription(std::string* error) {
    std::string description;
    if (!WriteDeleteList(template_bytes_, plan_.deletions, &description, error)) return false;
    return folder_.WriteFile(kDescriptionName, description, error);
  }

  bool AddBackground(std::string* error) {
    if (options_.background.empty()) {
      const std::u16string beside = ChildPath(SplitPath(options_.template_path).folder, kBackgroundName);
      if (IsFile(beside)) return CopyNamedFile(beside, kBackgroundName, error);
      warnings_.push_back("no --background and no updatebg.hg3 beside the template: the updater "
                          "shows a white 640 x 480 window");
      return true;
    }
    ByteVector bytes;
    Picture picture;
    ByteVector hg3;
    const std::string path = ToUtf8(options_.background);
    std::string problem;
    if (!ReadFileBytes(path, &bytes, &problem) ||
        !LoadPicture(bytes, FrameChoice{}, false, &picture, &problem) ||
        !EncodePicture(&picture, OutputFormat::kHg3, EncodeOptions{}, &hg3, &problem)) {
      return Fail(error, "the background cannot be converted: " + problem);
    }
    return folder_.WriteFile(kBackgroundName,
                             std::string_view(reinterpret_cast<const char*>(hg3.data()), hg3.size()),
                             error);
  }

  bool AddSideFiles(std::string* error) {
    const std::u16string icon = ChildPath(SplitPath(options_.template_path).folder, kIconName);
    if (IsFile(icon) && !CopyNamedFile(icon, kIconName, error)) return false;
    const std::u16string updater = options_.updater.empty() ? DefaultUpdater() : options_.updater;
    if (!updater.empty()) return CopyNamedFile(updater, kUpdaterName, error);
    warnings_.push_back("no updater.exe was found (no --updater, no Windows build): copy the "
                        "updater into the patch folder before shipping it");
    return true;
  }

  bool WriteManifest(std::string* error) {
    Manifest manifest;
    for (const PlannedFile& file : plan_.files)
      manifest.files.push_back({file.entry->path, file.entry->info.size, file.digest});
    manifest.deletions = plan_.deletions;
    return folder_.WriteFile(kManifestName, FormatManifest(manifest), error);
  }

  // The description must read back with the list as generated, and the
  // patch must pass every check patchcheck makes.
  bool Check(std::string* error) {
    const std::u16string staging = folder_.StagingPath();
    auto info = std::make_unique<UpdateInfo>();
    if (!LoadUpdateInfoFrom((staging + u'\\' + kDescriptionName).c_str(), info.get(), nullptr) ||
        info->delete_list != plan_.deletions) {
      *error = "the updater would not read the generated delete list as it was written";
      return false;
    }
    PatchReport report;
    const int status = CheckPatch(staging.c_str(), os::GetUserUiLanguage(), &report);
    for (const std::string& warning : report.warnings) warnings_.push_back("check: " + warning);
    if (status == 0) return true;
    *error = "the patch does not pass patchcheck's checks";
    if (!report.error.empty()) *error += "\n  " + report.error;
    for (const PatchProblem& problem : report.errors)
      *error += "\n  " + problem.where + ": " + problem.text + " [" + problem.rule + "]";
    return false;
  }

  bool Place(std::string* error) {
    std::string warning;
    if (!folder_.Place(error, &warning)) return false;
    if (!warning.empty()) warnings_.push_back(warning);
    return true;
  }

  bool CopyNamedFile(const std::u16string& source, const std::u16string& relative, std::string* error) {
    const auto [parent, name] = SplitPath(source);
    const os::Handle root = os::OpenTreeRoot(parent.c_str());
    os::EntryInfo info;
    if (root == os::kInvalidHandle || !os::GetEntryInfo(root, name.c_str(), &info) ||
        info.kind != os::EntryKind::kFile) {
      if (root != os::kInvalidHandle) os::CloseTreeFolder(root);
      *error = Quote(source) + " is not a file that can be read";
      return false;
    }
    ProgressMeter silent(nullptr, false);
    Sha256Digest digest;
    std::uint64_t size = 0;
    TreeFiles sources(root);
    const bool ok = folder_.CopyFile(&sources, name, relative, info, &silent, &digest, &size, error);
    os::CloseTreeFolder(root);
    return ok;
  }

  const MakeOptions& options_;
  ProgressMeter* meter_;
  std::string template_bytes_;
  GameTree old_tree_;
  GameTree new_tree_;
  PatchPlan plan_;
  PatchFolder folder_;
  std::vector<std::string> warnings_;
};

}  // namespace

int RunMake(const std::vector<std::string>& arguments, std::string* out, std::string* err) {
  const CommandTable command{
      "qvpatch make",
      kMakeHelp,
      {{"--from", "--to", "--template", "--out", "--background", "--updater"}, {"--force", "--help"}},
      {"--from", "--to", "--template", "--out"}};
  ParsedOptions parsed;
  if (const int status = StartCommand(arguments, command, &parsed, out, err); status >= 0) return status;

  const auto absolute = [&](const char* name) {
    const std::string value = parsed.Value(name);
    return value.empty() ? std::u16string() : AbsolutePath(ToUtf16(value));
  };
  MakeOptions options{absolute("--from"),      absolute("--to"),        absolute("--template"),
                      absolute("--out"),       absolute("--background"), absolute("--updater"),
                      parsed.Has("--force")};
  ProgressMeter meter = ProgressMeter::OnTerminal();
  PatchMaker maker(options, &meter);
  std::string error;
  if (!maker.Run(&error)) {
    meter.End();
    *err += "qvpatch make: " + error + "\n";
    return 1;
  }
  *out += maker.Summary();
  for (const std::string& warning : maker.Warnings()) *out += "warning: " + warning + "\n";
  return 0;
}
