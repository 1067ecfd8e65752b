#include "app/update_info.h"

#include "app/patch_check_texts.h"

#include <cstdio>

#include "os/system.h"
#include "system/debug_log.h"
#include "util/text_convert.h"
#include "util/wide_string.h"
#include "xml/xml.h"

namespace {

// Worst case of UTF-8 bytes for a prifix that fits: three per unit.
constexpr std::size_t kPrifixUtf8Room = kPrifixCapacity * 3 + 1;
// Element names are limited to 63 bytes as well as 63 units.
constexpr std::size_t kPrifixUtf8Limit = kPrifixCapacity;

// Runs one text query and notes a cut. `where` names the path for people.
class Loader {
 public:
  Loader(qvXml* xml, UpdateInfoNotes* notes) : xml_(xml), notes_(notes) {}

  template <std::size_t N, typename... Names>
  void Text(char16_t (&field)[N], const char16_t* fallback, Names... names) {
    const char* path[] = {names...};
    Text(field, N, fallback, path, sizeof...(names));
  }

  void Text(char16_t* field, std::size_t capacity, const char16_t* fallback,
            const char* const* path, std::size_t count) {
    xml_->GetStringPath(field, capacity, fallback, path, static_cast<int>(count));
    if (xml_->LastStringWasCut()) Note(path, count, capacity);
  }

  void Note(const char* const* path, std::size_t count, std::size_t capacity) {
    if (!notes_) return;
    std::string where;
    for (std::size_t i = 0; i < count; ++i) {
      if (i) where += '/';
      where += path[i];
    }
    notes_->push_back("text of " + where + " cut to " + std::to_string(capacity - 1) +
                      " units");
  }

  void Note(std::string line) {
    if (notes_) notes_->push_back(std::move(line));
  }

 private:
  qvXml* xml_;
  UpdateInfoNotes* notes_;
};

void LoadMessages(Loader& load, const char* p, LanguageRecord* record) {
  load.Text(record->wndtitle, u"", p, "message", "wndtitle");
  load.Text(record->intoro, u"", p, "message", "intoro");
  load.Text(record->success, u"", p, "message", "success");
  load.Text(record->error_version, u"", p, "message", "error_version");
  load.Text(record->error_inst, u"", p, "message", "error_inst");
  load.Text(record->error_copy, u"", p, "message", "error_copy");
  for (char16_t* text : {record->wndtitle, record->intoro, record->success,
                         record->error_version, record->error_inst})
    ConvertLineBreaks(text);
  load.Text(record->sellang, u"", p, "message_sys", "sellang");
  load.Text(record->copying, u"", p, "message_sys", "copying");
  load.Text(record->language, u"", p, "message_error", "language");
  load.Text(record->boot, u"", p, "message_error", "boot");
  load.Text(record->title, u"", p, "message_error", "title");
  for (const char* name : kPatchCheckTextNames) {
    char16_t* text = PatchCheckText(record, name);
    const char* path[] = {p, "message", name};
    load.Text(text, kMessageCapacity, u"", path, 3);
    ConvertLineBreaks(text);
  }
}

// Languages lang00, lang01, ... until the first without a code.
void LoadLanguages(qvXml& xml, Loader& load, UpdateInfo* info) {
  for (int n = 0;; ++n) {
    char entry[16];
    std::snprintf(entry, sizeof entry, "lang%02d", n);
    std::uint16_t code = static_cast<std::uint16_t>(xml.GetInt(0xFFFF, 3, "language", entry, "code"));
    if (code == 0xFFFF) break;

    LanguageRecord record;
    record.code = code;
    // Read the prifix whole: a cut one would name another element.
    char16_t prifix[kXmlConvertCapacity];
    xml.GetString(prifix, kXmlConvertCapacity, u"", 3, "language", entry, "prifix");
    char p[kPrifixUtf8Room];
    if (WideLength(prifix) >= kPrifixCapacity ||
        WideToUtf8(prifix, p, sizeof p) >= kPrifixUtf8Limit) {
      DebugLog("updateinfo : %s prifix is too long; language ignored", entry);
      load.Note(std::string(entry) + " refused: its prifix is longer than 63 units or 63 bytes");
      continue;
    }
    load.Text(record.lang, u"", "language", entry, "lang");
    LoadMessages(load, p, &record);
    FillPatchCheckTexts(&record);

    if (!info->languages.try_emplace(prifix, record).second)
      load.Note(std::string(entry) + " dropped: prifix \"" + p +
                "\" is already defined by an earlier language");
  }
}

// Delete entries p01, p02, ... until the first empty or missing one.
void LoadDeleteList(qvXml& xml, Loader& load, UpdateInfo* info) {
  for (int n = 1;; ++n) {
    char entry[16];
    std::snprintf(entry, sizeof entry, "p%02d", n);
    char16_t path[kDeleteEntryCapacity];
    load.Text(path, u"", "delete", entry);
    if (path[0] == u'\0') break;
    info->delete_list.emplace_back(path);
  }
}

}  // namespace

void ConvertLineBreaks(char16_t* text) {
  char16_t* out = text;
  for (const char16_t* in = text; *in; ++in) {
    if (in[0] == u'\\' && in[1] == u'n') {
      *out++ = u'\n';
      ++in;
    } else {
      *out++ = *in;
    }
  }
  *out = u'\0';
}

bool LoadUpdateInfoFrom(const char16_t* path, UpdateInfo* info, UpdateInfoNotes* notes) {
  *info = UpdateInfo{};
  qvXml xml;
  if (!xml.Open(path)) {
    xml.Close();
    return false;
  }
  Loader load(&xml, notes);
  load.Text(info->brand, u"", "brand");
  load.Text(info->app, u"", "app");
  load.Text(info->instpath, u"", "instpath");
  load.Text(info->mutex, u"", "mutex");
  load.Text(info->confmutex, u"", "confmutex");
  load.Text(info->major, u"", "version", "major");
  load.Text(info->minor, u"", "version", "minor");
  load.Text(info->default_, u"jp", "language", "default");
  LoadLanguages(xml, load, info);
  LoadDeleteList(xml, load, info);
  xml.Close();
  return true;
}

const std::u16string* ChooseLanguageFor(UpdateInfo* info, std::uint16_t ui_language) {
  auto& languages = info->languages;
  if (languages.empty()) return nullptr;
  auto chosen = languages.begin();
  if (languages.size() > 1) {
    auto by_code = languages.end();
    for (auto it = languages.begin(); it != languages.end(); ++it) {
      if (it->second.code == ui_language) {
        by_code = it;
        break;
      }
    }
    if (by_code != languages.end()) {
      chosen = by_code;
    } else if (auto by_default = languages.find(info->default_); by_default != languages.end()) {
      chosen = by_default;
    }
  }
  info->current = chosen->second;
  return &chosen->first;
}

UpdateInfo& GetUpdateInfo() {
  static UpdateInfo info;
  return info;
}

bool LoadUpdateInfo() { return LoadUpdateInfoFrom(u"updateinfo.xml", &GetUpdateInfo(), nullptr); }

bool ChooseLanguage() {
  return ChooseLanguageFor(&GetUpdateInfo(), os::GetUserUiLanguage()) != nullptr;
}
