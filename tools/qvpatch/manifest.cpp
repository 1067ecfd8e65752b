#include "tools/qvpatch/manifest.h"

#include <unordered_set>

#include "file/confine_rules.h"
#include "tools/common/utf.h"
#include "tools/qvpatch/json_reader.h"

namespace {

constexpr char kFormat[] = "qvpatch-manifest";
constexpr std::uint64_t kVersion = 1;

bool Fail(std::string* error, std::string text) {
  *error = "the manifest " + std::move(text);
  return false;
}

bool ReadPath(const JsonValue* value, const std::string& where, std::u16string* path,
              std::string* error) {
  if (!value || value->kind != JsonValue::Kind::kString) return Fail(error, "has no path in " + where);
  *path = ToUtf16(value->text);
  const confine::Rule rule = confine::CheckRelativePath(*path);
  if (rule != confine::Rule::kOk)
    return Fail(error, "names \"" + value->text + "\" in " + where + ": " + confine::RuleText(rule));
  return true;
}

bool ReadFile(const JsonValue& item, std::size_t index, ManifestFile* file, std::string* error) {
  const std::string where = "files[" + std::to_string(index) + "]";
  if (item.kind != JsonValue::Kind::kObject) return Fail(error, "has no object in " + where);
  if (!ReadPath(item.Member("path"), where, &file->path, error)) return false;
  const JsonValue* size = item.Member("size");
  if (!size || !size->is_count) return Fail(error, "has no size in " + where);
  file->size = size->count;
  const JsonValue* digest = item.Member("sha256");
  if (!digest || digest->kind != JsonValue::Kind::kString || !FromHex(digest->text, &file->digest))
    return Fail(error, "has no SHA-256 in " + where);
  return true;
}

}  // namespace

std::string FormatManifest(const Manifest& manifest) {
  std::string json = "{\n  \"format\": \"" + std::string(kFormat) +
                     "\",\n  \"version\": " + std::to_string(kVersion) +
                     ",\n  \"hash\": \"sha256\",\n  \"files\": [";
  for (std::size_t i = 0; i < manifest.files.size(); ++i) {
    const ManifestFile& file = manifest.files[i];
    json += (i ? ",\n    " : "\n    ") + std::string("{\"path\": ") + JsonString(file.path) +
            ", \"size\": " + std::to_string(file.size) + ", \"sha256\": \"" + ToHex(file.digest) +
            "\"}";
  }
  json += manifest.files.empty() ? "],\n  \"delete\": [" : "\n  ],\n  \"delete\": [";
  for (std::size_t i = 0; i < manifest.deletions.size(); ++i)
    json += (i ? ",\n    " : "\n    ") + JsonString(manifest.deletions[i]);
  json += manifest.deletions.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return json;
}

bool ParseManifest(std::string_view json, Manifest* manifest, std::string* error) {
  *manifest = {};
  JsonValue root;
  if (!ParseJson(json, &root, error)) return Fail(error, "is not JSON: " + *error);
  if (root.kind != JsonValue::Kind::kObject) return Fail(error, "is not a JSON object");
  const JsonValue* format = root.Member("format");
  if (!format || format->text != kFormat) return Fail(error, "is not a qvpatch manifest");
  const JsonValue* version = root.Member("version");
  if (!version || !version->is_count || version->count != kVersion)
    return Fail(error, "has a version this program does not know");
  const JsonValue* hash = root.Member("hash");
  if (!hash || hash->text != "sha256") return Fail(error, "uses a hash this program does not know");
  const JsonValue* files = root.Member("files");
  const JsonValue* deletions = root.Member("delete");
  if (!files || files->kind != JsonValue::Kind::kArray) return Fail(error, "has no file list");
  if (!deletions || deletions->kind != JsonValue::Kind::kArray)
    return Fail(error, "has no delete list");

  std::unordered_set<std::u16string> seen;
  for (std::size_t i = 0; i < files->items.size(); ++i) {
    ManifestFile file;
    if (!ReadFile(files->items[i], i, &file, error)) return false;
    if (!seen.insert(file.path).second)
      return Fail(error, "names \"" + ToUtf8(file.path) + "\" twice");
    manifest->files.push_back(std::move(file));
  }
  for (std::size_t i = 0; i < deletions->items.size(); ++i) {
    std::u16string path;
    if (!ReadPath(&deletions->items[i], "delete[" + std::to_string(i) + "]", &path, error))
      return false;
    manifest->deletions.push_back(std::move(path));
  }
  return true;
}
