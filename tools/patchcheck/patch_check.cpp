#include "tools/patchcheck/patch_check.h"

#include "os/file.h"
#include "tools/common/file_io.h"
#include "tools/common/utf.h"
#include "tools/patchcheck/confine_check.h"
#include "tools/patchcheck/description_lint.h"
#include "base/text_convert.h"
#include "xml/xml.h"

namespace {

std::u16string Join(std::u16string_view a, std::u16string_view b) {
  std::u16string out(a);
  if (!out.empty() && out.back() != u'\\' && out.back() != u'/') out += u'\\';
  return out + std::u16string(b);
}

// The reason the reader gives for a description it refuses.
std::string ReadFailure(const std::u16string& path) {
  qvXmlReader reader;
  int code = reader.ReadFile(path.c_str());
  if (code == kXmlOpenFailed) return "updateinfo.xml was not found.";
  // The reader's texts are Shift-JIS; the report is UTF-8.
  char16_t wide[kXmlErrorTextCapacity];
  ShiftJisToWide(wide, kXmlErrorTextCapacity, reader.GetErrorText());
  char text[kXmlErrorTextCapacity * 3];
  WideToUtf8(wide, text, sizeof text);
  return "updateinfo.xml cannot be read (error " + std::to_string(code) + "): " + text;
}

}  // namespace

int CheckPatch(const char16_t* folder, std::uint16_t ui_language, PatchReport* report) {
  const std::u16string description = Join(folder, u"updateinfo.xml");
  report->ui_language = ui_language;

  std::string bytes;
  if (ReadWholeFile(description, &bytes)) LintDescriptionBytes(bytes, &report->warnings);

  UpdateInfoNotes notes;
  if (!LoadUpdateInfoFrom(description.c_str(), report->info.get(), &notes)) {
    report->error = ReadFailure(description);
    return 1;
  }
  report->warnings.insert(report->warnings.end(), notes.begin(), notes.end());
  qvXml xml;
  if (xml.Open(description.c_str())) LintDescriptionModel(xml, *report->info, &report->warnings);

  if (const std::u16string* chosen = ChooseLanguageFor(report->info.get(), ui_language)) {
    report->has_chosen = true;
    report->chosen = *chosen;
  }

  CheckConfinement(Join(folder, u"data"), report);

  if (!report->has_chosen) {
    report->error = "no language is defined (language/lang00 with a code): the updater "
                    "stops with an empty error box";
    return 1;
  }
  return report->errors.empty() ? 0 : 1;
}
