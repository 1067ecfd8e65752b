#include "tools/patchcheck/report_format.h"

#include <cstdio>

#include "tools/common/utf.h"

namespace {

// The texts of a language under their names in the description.
struct NamedText {
  const char* name;
  const char16_t* text;
};

std::vector<NamedText> NamedTexts(const LanguageRecord& r) {
  return {{"lang", r.lang},
          {"wndtitle", r.wndtitle},
          {"intoro", r.intoro},
          {"success", r.success},
          {"error_version", r.error_version},
          {"error_inst", r.error_inst},
          {"error_copy", r.error_copy},
          {"sellang", r.sellang},
          {"copying", r.copying},
          {"language", r.language},
          {"boot", r.boot},
          {"title", r.title},
          {"error_link", r.error_link},
          {"error_name", r.error_name},
          {"error_length", r.error_length},
          {"error_case", r.error_case},
          {"error_running", r.error_running},
          {"error_busy", r.error_busy},
          {"error_space", r.error_space},
          {"error_access", r.error_access},
          {"unchanged", r.unchanged},
          {"error_restore", r.error_restore},
          {"recovered", r.recovered},
          {"error_recovery", r.error_recovery}};
}

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

void Field(std::string* out, const char* label, const char16_t* text) {
  *out += std::string(label) + ": " + JsonString(std::u16string_view(text)) + "\n";
}

}  // namespace

std::string FormatReportText(const PatchReport& report) {
  const UpdateInfo& info = *report.info;
  std::string out;
  if (report.error.empty())
    out += "updateinfo.xml: the updater accepts this description\n";
  else
    out += "updateinfo.xml: the updater refuses this description: " + report.error + "\n";

  out += "install record: <all-users application data>\\" + ToUtf8(info.brand) + "\\" +
         ToUtf8(info.app) + ".xml\n";
  Field(&out, "brand", info.brand);
  Field(&out, "app", info.app);
  Field(&out, "instpath", info.instpath);
  Field(&out, "mutex", info.mutex);
  Field(&out, "confmutex", info.confmutex);
  Field(&out, "major", info.major);
  Field(&out, "minor", info.minor);
  Field(&out, "default", info.default_);

  out += "languages: " + std::to_string(info.languages.size()) + "\n";
  for (const auto& [key, stored] : info.languages) {
    LanguageRecord record;
    ExpandLanguage(stored, &record);
    out += "  " + JsonString(std::u16string_view(key)) + " code " + std::to_string(record.code) +
           " (" + Hex4(record.code) + ")\n";
    for (const NamedText& t : NamedTexts(record))
      out += "    " + std::string(t.name) + ": " + JsonString(std::u16string_view(t.text)) + "\n";
  }
  out += "chosen for UI language " + std::to_string(report.ui_language) + " (" +
         Hex4(report.ui_language) + "): " +
         (report.has_chosen ? JsonString(std::u16string_view(report.chosen)) : "none") + "\n";

  out += "delete: " + std::to_string(info.delete_list.size()) + "\n";
  for (const auto& path : info.delete_list) out += "  " + ToUtf8(path) + "\n";
  out += "copy: " + std::to_string(report.copy.size()) + " files from data\n";
  for (const auto& path : report.copy) out += "  " + ToUtf8(path) + "\n";
  out += "errors: " + std::to_string(report.errors.size()) + "\n";
  for (const PatchProblem& problem : report.errors)
    out += "  error [" + problem.rule + "] " + problem.where + ": " + problem.text + "\n";
  out += "warnings: " + std::to_string(report.warnings.size()) + "\n";
  for (const auto& warning : report.warnings) out += "  warning: " + warning + "\n";
  return out;
}

std::string FormatReportJson(const PatchReport& report) {
  const UpdateInfo& info = *report.info;
  auto text = [](const char16_t* value) { return JsonString(std::u16string_view(value)); };
  auto list = [](const auto& items, auto format) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + format(items[i]);
    return out + "]";
  };
  std::string out = "{";
  out += "\"brand\": " + text(info.brand);
  out += ", \"app\": " + text(info.app);
  out += ", \"instpath\": " + text(info.instpath);
  out += ", \"mutex\": " + text(info.mutex);
  out += ", \"confmutex\": " + text(info.confmutex);
  out += ", \"major\": " + text(info.major);
  out += ", \"minor\": " + text(info.minor);
  out += ", \"default\": " + text(info.default_);
  out += ", \"languages\": [";
  bool first = true;
  for (const auto& [key, stored] : info.languages) {
    LanguageRecord record;
    ExpandLanguage(stored, &record);
    out += first ? "{" : ", {";
    first = false;
    out += "\"key\": " + JsonString(std::u16string_view(key));
    out += ", \"code\": " + std::to_string(record.code);
    for (const NamedText& t : NamedTexts(record))
      out += ", \"" + std::string(t.name) + "\": " + text(t.text);
    out += "}";
  }
  out += "]";
  out += ", \"chosen\": " +
         (report.has_chosen ? JsonString(std::u16string_view(report.chosen)) : "null");
  out += ", \"delete\": " +
         list(info.delete_list, [](const std::u16string& s) { return JsonString(std::u16string_view(s)); });
  out += ", \"copy\": " +
         list(report.copy, [](const std::u16string& s) { return JsonString(std::u16string_view(s)); });
  out += ", \"errors\": " + list(report.errors, [](const PatchProblem& p) {
    return "{\"rule\": " + JsonString(std::string_view(p.rule)) +
           ", \"where\": " + JsonString(std::string_view(p.where)) +
           ", \"text\": " + JsonString(std::string_view(p.text)) + "}";
  });
  out += ", \"warnings\": " +
         list(report.warnings, [](const std::string& s) { return JsonString(std::string_view(s)); });
  out += ", \"error\": " + (report.error.empty() ? "null" : JsonString(std::string_view(report.error)));
  return out + "}\n";
}
