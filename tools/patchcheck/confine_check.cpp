#include "tools/patchcheck/confine_check.h"

#include <algorithm>
#include <cstdio>

#include "file/confine_walk.h"
#include "tools/common/utf.h"

namespace {

void AddError(PatchReport* report, confine::Rule rule, std::string where, std::string text) {
  report->errors.push_back({confine::RuleCode(rule), std::move(where), std::move(text)});
}

void CheckRecordNames(PatchReport* report) {
  const UpdateInfo& info = *report->info;
  const std::pair<const char*, const char16_t*> names[] = {{"brand", info.brand}, {"app", info.app}};
  for (const auto& [field, name] : names) {
    confine::Rule rule = confine::CheckPlainName(name);
    if (rule == confine::Rule::kOk) continue;
    AddError(report, rule, field,
             "\"" + ToUtf8(name) + "\" is not a plain name (" + confine::RuleText(rule) +
                 "): the updater answers as if the game were not installed");
  }
}

void CheckDeleteEntries(PatchReport* report) {
  const auto& entries = report->info->delete_list;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    confine::Rule rule = confine::CheckRelativePath(entries[i]);
    if (rule == confine::Rule::kOk) continue;
    char where[32];
    std::snprintf(where, sizeof where, "delete/p%02zu", i + 1);
    AddError(report, rule, where,
             "\"" + ToUtf8(entries[i]) + "\": " + confine::RuleText(rule) +
                 "; the updater deletes nothing for it");
  }
}

std::string DataPath(const std::u16string& relative) {
  return relative.empty() ? "data" : "data\\" + ToUtf8(relative);
}

// How long an install folder may be for the longest path to fit below it.
void NoteLongestPath(const std::vector<std::u16string>& files, PatchReport* report) {
  std::size_t longest = 0;
  for (const std::u16string& file : files) longest = std::max(longest, file.size());
  if (longest == 0) return;
  const std::size_t room = confine::kPathCapacity - 2 - longest;
  report->warnings.push_back("the longest path below data has " + std::to_string(longest) +
                             " units: it installs only into folders of up to " +
                             std::to_string(room) + " units");
}

}  // namespace

void CheckConfinement(const std::u16string& data_folder, PatchReport* report) {
  CheckRecordNames(report);
  CheckDeleteEntries(report);
  confine::WalkResult walk = confine::WalkTree(data_folder.c_str(), {});
  for (const confine::Finding& finding : walk.findings) {
    if (finding.rule == confine::Rule::kMissing) {
      report->warnings.push_back(finding.path.empty()
                                     ? "there is no data folder: no file would be copied"
                                     : DataPath(finding.path) + " cannot be read: nothing in it "
                                                               "would be copied");
      continue;
    }
    AddError(report, finding.rule, DataPath(finding.path),
             std::string(confine::RuleText(finding.rule)) +
                 ": the updater refuses to install the patch");
  }
  report->copy = std::move(walk.files);
  std::sort(report->copy.begin(), report->copy.end());
  NoteLongestPath(report->copy, report);
}
