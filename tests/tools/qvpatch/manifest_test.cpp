// The manifest's bytes, and the JSON reader under it refusing what a
// hostile or damaged manifest may hold.
#include <gtest/gtest.h>

#include "tools/qvpatch/json_reader.h"
#include "tools/qvpatch/manifest.h"

namespace {

const std::string kDigest(64, 'a');

Sha256Digest DigestOf(const std::string& hex) {
  Sha256Digest digest;
  EXPECT_TRUE(FromHex(hex, &digest));
  return digest;
}

std::string ManifestWith(const std::string& files, const std::string& deletions = "[]") {
  return R"({"format": "qvpatch-manifest", "version": 1, "hash": "sha256", "files": )" + files +
         R"(, "delete": )" + deletions + "}";
}

std::string FileItem(const std::string& path, const std::string& size = "1") {
  return R"({"path": ")" + path + R"(", "size": )" + size + R"(, "sha256": ")" + kDigest + "\"}";
}

TEST(Manifest, WritesFixedBytes) {
  Manifest manifest;
  manifest.files.push_back({u"scenario\\序章.txt", 12, DigestOf(kDigest)});
  manifest.files.push_back({u"a b.bin", 0, DigestOf(std::string(64, '0'))});
  manifest.deletions = {u"cache", u"old\\x.dll"};
  EXPECT_EQ(FormatManifest(manifest),
            "{\n  \"format\": \"qvpatch-manifest\",\n  \"version\": 1,\n  \"hash\": \"sha256\",\n"
            "  \"files\": [\n"
            "    {\"path\": \"scenario\\\\序章.txt\", \"size\": 12, \"sha256\": \"" + kDigest + "\"},\n"
            "    {\"path\": \"a b.bin\", \"size\": 0, \"sha256\": \"" + std::string(64, '0') +
                "\"}\n"
            "  ],\n  \"delete\": [\n    \"cache\",\n    \"old\\\\x.dll\"\n  ]\n}\n");
  EXPECT_EQ(FormatManifest(Manifest{}),
            "{\n  \"format\": \"qvpatch-manifest\",\n  \"version\": 1,\n  \"hash\": \"sha256\",\n"
            "  \"files\": [],\n  \"delete\": []\n}\n");
}

// Quotes, backslashes and control characters are escaped; everything else,
// a blank and non-ASCII text too, is written as its UTF-8 bytes.
TEST(Manifest, EscapesWhatJsonCannotHoldPlainly) {
  Manifest manifest;
  manifest.deletions = {u"q\"b\\n\nr\rt\t\x01\x1f \x7f\u00e9"};
  const std::string json = FormatManifest(manifest);
  EXPECT_EQ(json.substr(json.find("\"delete\"")),
            "\"delete\": [\n    \"q\\\"b\\\\n\\nr\\rt\\t\\u0001\\u001f \x7f\xC3\xA9\"\n  ]\n}\n");
}

TEST(Manifest, RefusesPathsThatLeaveTheGameOrWindowsCannotHold) {
  Manifest manifest;
  std::string error;
  for (const char* path : {"..\\\\outside", "/etc/passwd", "C:\\\\Windows\\\\x", "a\\\\..\\\\..\\\\b",
                           "con.txt", "a:b", "trailing."}) {
    EXPECT_FALSE(ParseManifest(ManifestWith("[" + FileItem(path) + "]"), &manifest, &error)) << path;
    EXPECT_FALSE(ParseManifest(ManifestWith("[]", std::string("[\"") + path + "\"]"), &manifest, &error))
        << path;
  }
  EXPECT_TRUE(ParseManifest(ManifestWith("[" + FileItem("ok\\\\file") + "]", "[\"gone\"]"), &manifest,
                            &error))
      << error;
}

TEST(Manifest, RefusesWrongShapes) {
  Manifest manifest;
  std::string error;
  const std::string bad[] = {
      "[]",
      R"({"format": "other", "version": 1, "hash": "sha256", "files": [], "delete": []})",
      R"({"format": "qvpatch-manifest", "version": 2, "hash": "sha256", "files": [], "delete": []})",
      R"({"format": "qvpatch-manifest", "version": 1, "hash": "md5", "files": [], "delete": []})",
      R"({"format": "qvpatch-manifest", "version": 1, "hash": "sha256", "delete": []})",
      ManifestWith("[" + FileItem("a", "-1") + "]"),
      ManifestWith("[" + FileItem("a", "1.5") + "]"),
      ManifestWith("[" + FileItem("a", "18446744073709551616") + "]"),
      ManifestWith("[" + FileItem("a") + ", " + FileItem("a") + "]"),
      ManifestWith(R"([{"path": "a", "size": 1, "sha256": "abc"}])"),
      ManifestWith("[\"a\"]"),
      ManifestWith("[]", "[1]"),
  };
  for (const std::string& json : bad) EXPECT_FALSE(ParseManifest(json, &manifest, &error)) << json;
  EXPECT_TRUE(ParseManifest(ManifestWith("[" + FileItem("a", "18446744073709551615") + "]"),
                            &manifest, &error));
  EXPECT_EQ(manifest.files[0].size, UINT64_MAX);
}

TEST(JsonReader, StringsEscapesAndUtf8) {
  JsonValue value;
  std::string error;
  ASSERT_TRUE(ParseJson(R"(["a\"\\\/\b\f\n\r\t", "日本"])", &value, &error)) << error;
  EXPECT_EQ(value.items[0].text, "a\"\\/\b\f\n\r\t");
  EXPECT_EQ(value.items[1].text, "日本");
  for (const char* bad : {R"(["\x"])", "[\"a\tb\"]", "[\"\xC0\xAF\"]", "[\"\xED\xA0\x80\"]",
                          "[\"\xF4\x90\x80\x80\"]", "[\"\xE3\x81\"]", "[\"open"})
    EXPECT_FALSE(ParseJson(bad, &value, &error)) << bad;
}

// Each \\u escape becomes the UTF-8 bytes of its code point, at the edges
// of every encoded length and of the surrogate ranges, in either case.
TEST(JsonReader, UnicodeEscapesAtTheirEdges) {
  const std::pair<const char*, const char*> cases[] = {
      {"\\u007F", "\x7F"},
      {"\\u0080", "\xC2\x80"},
      {"\\u07ff", "\xDF\xBF"},
      {"\\u0800", "\xE0\xA0\x80"},
      {"\\u9a0f\\uABCD", "\xE9\xA8\x8F\xEA\xAF\x8D"},
      {"\\uD7FF", "\xED\x9F\xBF"},
      {"\\uE000", "\xEE\x80\x80"},
      {"\\uFFFF", "\xEF\xBF\xBF"},
      {"\\uD800\\uDC00", "\xF0\x90\x80\x80"},
      {"\\udbff\\udfff", "\xF4\x8F\xBF\xBF"},
  };
  JsonValue value;
  std::string error;
  for (const auto& [escaped, utf8] : cases) {
    ASSERT_TRUE(ParseJson("\"" + std::string(escaped) + "\"", &value, &error)) << escaped << error;
    EXPECT_EQ(value.text, utf8) << escaped;
  }
  for (const char* bad : {"\"\\uDC00\"", "\"\\uDFFF\"", "\"\\uDBFF\"", "\"\\uD800\\uDBFF\"",
                          "\"\\uD800\\uE000\"", "\"\\u00G0\"", "\"\\u00g0\"", "\"\\u00:0\"",
                          "\"\\u00@0\"", "\"\\u00`0\"", "\"\\u00/0\"", "\"\\u123"})
    EXPECT_FALSE(ParseJson(bad, &value, &error)) << bad;
}

TEST(JsonReader, NumbersWordsAndStructure) {
  JsonValue value;
  std::string error;
  ASSERT_TRUE(ParseJson(" [0, 12, -3, 1.5e3, 2E-1, true, false, null, {}, []] ", &value, &error)) << error;
  EXPECT_TRUE(value.items[0].is_count);
  EXPECT_EQ(value.items[1].count, 12u);
  EXPECT_FALSE(value.items[2].is_count);
  EXPECT_FALSE(value.items[3].is_count);
  EXPECT_TRUE(value.items[5].boolean);
  EXPECT_EQ(value.items[7].kind, JsonValue::Kind::kNull);
  for (const char* bad : {"", "[", "[1,]", "[1 2]", "{\"a\" 1}", "{\"a\":1,}", "{1:2}", "01", "1.",
                          "1e", "-", "tru", "nul", "[] []", "{\"a\":}", "+1"})
    EXPECT_FALSE(ParseJson(bad, &value, &error)) << bad;
}

TEST(JsonReader, ObjectsAndArraysNestAndSayWhatTheyMiss) {
  JsonValue value;
  std::string error;
  ASSERT_TRUE(ParseJson(R"({"a": [1, {"b": null}], "c": {}})", &value, &error)) << error;
  ASSERT_EQ(value.members.size(), 2u);
  EXPECT_EQ(value.members[0].first, "a");
  EXPECT_EQ(value.members[0].second.items[1].members[0].first, "b");
  EXPECT_EQ(value.members[1].second.kind, JsonValue::Kind::kObject);
  EXPECT_FALSE(ParseJson("[1 2]", &value, &error));
  EXPECT_EQ(error, "JSON needs ',' or ']' in an array at byte 3");
  EXPECT_FALSE(ParseJson(R"({"a": 1 "b": 2})", &value, &error));
  EXPECT_EQ(error, "JSON needs ',' or '}' in an object at byte 8");
}

TEST(JsonReader, DepthIsBounded) {
  JsonValue value;
  std::string error;
  EXPECT_TRUE(ParseJson(std::string(kJsonMaxDepth - 1, '[') + std::string(kJsonMaxDepth - 1, ']'),
                        &value, &error));
  EXPECT_FALSE(ParseJson(std::string(100000, '['), &value, &error));
  EXPECT_NE(error.find("deep"), std::string::npos);
}

}  // namespace
