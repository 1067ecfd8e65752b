#include "app/update_info.h"

#include "app/patch_check_texts.h"

#include <cstdio>
#include <new>

#include "os/process.h"
#include "base/debug_log.h"
#include "util/memory_budget.h"
#include "base/text_convert.h"
#include "base/wide_string.h"
#include "xml/xml.h"

namespace {

// Worst case of UTF-8 bytes for a prifix that fits: three per unit.
constexpr std::size_t kPrifixUtf8Room = kPrifixCapacity * 3 + 1;
// Element names are limited to 63 bytes as well as 63 units.
constexpr std::size_t kPrifixUtf8Limit = kPrifixCapacity;

// Calls `visit` with every text field of a record, in one fixed order.
template <typename Record, typename Visit>
void ForEachText(Record& r, Visit visit) {
  visit(r.lang);
  visit(r.wndtitle);
  for (auto* text : {&r.intoro, &r.success, &r.error_version, &r.error_inst, &r.error_copy,
                     &r.sellang, &r.copying, &r.language, &r.boot, &r.title, &r.error_link,
                     &r.error_name, &r.error_length, &r.error_case})
    visit(*text);
}

// The heap bytes a string holds besides itself (none while it is short
// enough to live inside the string object).
std::size_t HeapBytes(const std::u16string& text) {
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  const auto* object = reinterpret_cast<const unsigned char*>(&text);
  if (data >= object && data < object + sizeof text) return 0;
  return (text.capacity() + 1) * sizeof(char16_t);
}

// A map entry: its value, and a tree node's links and colour.
constexpr std::size_t kLanguageEntryBytes =
    sizeof(std::map<std::u16string, StoredLanguage>::value_type) + 4 * sizeof(void*);

// Runs one text query and notes a cut. `where` names the path for people.
// Charges what the model takes to what the document left of its memory.
class Loader {
 public:
  Loader(qvXml* xml, UpdateInfoNotes* notes)
      : xml_(xml), notes_(notes), budget_(xml->GetReader()->GetMemoryLeft()) {}

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

  MemoryBudget& Budget() { return budget_; }

 private:
  qvXml* xml_;
  UpdateInfoNotes* notes_;
  MemoryBudget budget_;
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

// Languages lang00, lang01, ... until the first without a code. False when
// the budget refuses a language.
bool LoadLanguages(qvXml& xml, Loader& load, UpdateInfo* info) {
  LanguageRecord record;
  for (int n = 0;; ++n) {
    char entry[16];
    std::snprintf(entry, sizeof entry, "lang%02d", n);
    std::uint16_t code = static_cast<std::uint16_t>(xml.GetInt(0xFFFF, 3, "language", entry, "code"));
    if (code == 0xFFFF) return true;

    record = LanguageRecord{};
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
    if (info->languages.contains(prifix)) {
      load.Note(std::string(entry) + " dropped: prifix \"" + p +
                "\" is already defined by an earlier language");
      continue;
    }
    load.Text(record.lang, u"", "language", entry, "lang");
    LoadMessages(load, p, &record);

    auto [stored, added] = info->languages.try_emplace(prifix, StoreLanguage(record));
    if (!load.Budget().Charge(kLanguageEntryBytes + HeapBytes(stored->first) +
                              HeapBytes(stored->second.texts)))
      return false;
  }
}

// Delete entries p01, p02, ... until the first empty or missing one. They
// are counted first, so that the list takes exactly the room it needs.
// False when the budget refuses an entry.
bool LoadDeleteList(Loader& load, UpdateInfo* info) {
  char16_t path[kDeleteEntryCapacity];
  auto read_entry = [&](std::size_t n) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "p%02zu", n);
    load.Text(path, u"", "delete", entry);
    return path[0] != u'\0';
  };
  std::size_t count = 0;
  while (read_entry(count + 1)) ++count;
  if (!load.Budget().Charge(count * sizeof(std::u16string))) return false;
  info->delete_list.reserve(count);
  for (std::size_t n = 1; n <= count; ++n) {
    read_entry(n);
    info->delete_list.emplace_back(path);
    if (!load.Budget().Charge(HeapBytes(info->delete_list.back()))) return false;
  }
  return true;
}

// The steps of LoadUpdateInfoFrom; may throw std::bad_alloc.
bool Load(const char16_t* path, UpdateInfo* info, UpdateInfoNotes* notes, XmlMemoryLimit limit) {
  qvXml xml;
  xml.SetMemoryLimit(limit);
  if (!xml.Open(path)) return false;
  Loader load(&xml, notes);
  load.Text(info->brand, u"", "brand");
  load.Text(info->app, u"", "app");
  load.Text(info->instpath, u"", "instpath");
  load.Text(info->mutex, u"", "mutex");
  load.Text(info->confmutex, u"", "confmutex");
  load.Text(info->major, u"", "version", "major");
  load.Text(info->minor, u"", "version", "minor");
  load.Text(info->default_, u"jp", "language", "default");
  if (LoadLanguages(xml, load, info) && LoadDeleteList(load, info)) return true;
  DebugLog("updateinfo : the description needs more memory than it may take");
  return false;
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

StoredLanguage StoreLanguage(const LanguageRecord& record) {
  std::size_t units = 0;
  ForEachText(record, [&](const auto& text) { units += WideLength(text) + 1; });
  StoredLanguage stored;
  stored.code = record.code;
  stored.texts.reserve(units);
  ForEachText(record, [&](const auto& text) { stored.texts.append(text, WideLength(text) + 1); });
  return stored;
}

void ExpandLanguage(const StoredLanguage& stored, LanguageRecord* record) {
  *record = LanguageRecord{};
  record->code = stored.code;
  std::size_t at = 0;
  ForEachText(*record, [&](auto& text) {
    if (at >= stored.texts.size()) return;
    CopyWide(text, std::size(text), stored.texts.c_str() + at);
    at += WideLength(stored.texts.c_str() + at) + 1;
  });
  FillPatchCheckTexts(record);
}

bool LoadUpdateInfoFrom(const char16_t* path, UpdateInfo* info, UpdateInfoNotes* notes,
                        XmlMemoryLimit limit) {
  *info = UpdateInfo{};
  bool loaded = false;
  try {
    loaded = Load(path, info, notes, limit);
  } catch (const std::bad_alloc&) {
    DebugLog("updateinfo : out of memory");
  }
  // Nothing half-filled stays.
  if (!loaded) *info = UpdateInfo{};
  return loaded;
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
  ExpandLanguage(chosen->second, &info->current);
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
