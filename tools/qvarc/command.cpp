#include "tools/qvarc/command.h"

#include <set>

#include "file/big_file.h"
#include "file/confine_walk.h"
#include "file/confined_file.h"
#include "tools/common/file_io.h"
#include "tools/common/options.h"
#include "tools/common/utf.h"
#include "tools/qvarc/archive_file.h"
#include "util/path.h"
#include "util/text_search.h"

namespace {

constexpr char kHelp[] =
    "usage:\n"
    "  qvarc list ARCHIVE\n"
    "  qvarc extract ARCHIVE DIR [MEMBER...] [--key KEY]\n"
    "  qvarc create ARCHIVE DIR [--key KEY]\n"
    "The engine's archives: many files in one, with a directory of their names.\n"
    "list     prints every member's size and name, and whether the archive is\n"
    "         enciphered\n"
    "extract  writes every member, or the MEMBERs named (letter case of A-Z\n"
    "         does not matter), below DIR, replacing files there; a member\n"
    "         whose name would leave DIR or that Windows cannot hold is refused\n"
    "create   writes every file below DIR into ARCHIVE, named by its path\n"
    "         below DIR ('\\' between folders); links and names Windows cannot\n"
    "         hold are refused and no archive is written\n"
    "  --key KEY   the text whose bytes (1 to 72) encipher the members\n"
    "Exit status: 0 success, 1 failure, 2 bad usage.\n";

constexpr std::uint32_t kChunk = 1u << 20;

int Usage(std::string* err, const std::string& problem) {
  *err += "qvarc: " + problem + "\n" + kHelp;
  return 2;
}

std::string Quote(const std::u16string& text) { return "\"" + ToUtf8(text) + "\""; }

int List(const std::u16string& path, std::string* out, std::string* err) {
  OpenedArchive opened;
  std::string error;
  if (!OpenArchiveFile(path, nullptr, &opened, &error)) {
    *err += "qvarc: " + Quote(path) + " " + error + "\n";
    return 1;
  }
  std::uint64_t total = 0;
  for (const ArchiveMember& member : opened.members) {
    *out += std::to_string(member.size) + "\t" + ToUtf8(member.name) + "\n";
    total += member.size;
  }
  *out += std::to_string(opened.members.size()) + " members, " + std::to_string(total) + " bytes" +
          (opened.header.enciphered ? ", enciphered\n" : "\n");
  return 0;
}

// Copies one member through the engine's member file into the tree.
bool ExtractMember(qvArchive* archive, const ArchiveMember& member, const confine::Tree& tree,
                   std::string* error) {
  qvBigFile input(archive);
  confine::StagedFile output;
  if (!input.Open(member.name.c_str(), QVFILE_READ)) {
    *error = "cannot be opened in the archive";
    return false;
  }
  if (!output.Begin(tree, member.name, 0)) {
    *error = "cannot be written: " + LastErrorText();
    return false;
  }
  std::string buffer(kChunk, '\0');
  std::uint64_t done = 0;
  for (;;) {
    const std::int32_t read = input.Read(buffer.data(), kChunk);
    if (read < 0) {
      *error = "cannot be read from the archive";
      return false;
    }
    if (read == 0) break;
    if (!WriteAll(output.File(), buffer.data(), static_cast<std::size_t>(read))) {
      *error = "cannot be written: " + LastErrorText();
      return false;
    }
    done += static_cast<std::uint32_t>(read);
  }
  if (done != member.size) {
    *error = "is shorter in the archive than its directory says";
    return false;
  }
  if (!output.Commit(os::kAttrArchive)) {
    *error = "cannot be written: " + LastErrorText();
    return false;
  }
  return true;
}

// The members asked for, or all; names not in the archive are errors.
std::vector<const ArchiveMember*> Choose(const OpenedArchive& opened,
                                         const std::vector<std::string>& wanted, std::string* err) {
  std::vector<const ArchiveMember*> chosen;
  std::set<std::u16string> asked;
  for (const std::string& name : wanted) {
    std::u16string key = ToUtf16(name);
    ToUpperText(key.data());
    asked.insert(key);
  }
  std::set<std::u16string> found;
  for (const ArchiveMember& member : opened.members) {
    std::u16string key = member.name;
    ToUpperText(key.data());
    if (!asked.empty() && !asked.count(key)) continue;
    found.insert(key);
    chosen.push_back(&member);
  }
  for (const std::string& name : wanted) {
    std::u16string key = ToUtf16(name);
    ToUpperText(key.data());
    if (!found.count(key)) *err += "qvarc: no member named \"" + name + "\"\n";
  }
  return chosen;
}

int Extract(const std::u16string& path, const std::u16string& folder, const std::vector<std::string>& wanted,
            const std::string& key, std::string* out, std::string* err) {
  OpenedArchive opened;
  std::string error;
  if (!OpenArchiveFile(path, &key, &opened, &error)) {
    *err += "qvarc: " + Quote(path) + " " + error + "\n";
    return 1;
  }
  const std::size_t errors_before = err->size();
  const std::vector<const ArchiveMember*> chosen = Choose(opened, wanted, err);
  const std::u16string target = AbsolutePath(folder);
  confine::Tree tree;
  const confine::Rule rule = CreateDirectoryTree(target.c_str(), 0)
                                 ? tree.Open(target.c_str(), {})
                                 : confine::Rule::kMissing;
  if (rule != confine::Rule::kOk) {
    *err += "qvarc: " + Quote(folder) + " cannot take the members: " + confine::RuleText(rule) + "\n";
    return 1;
  }
  std::set<std::u16string> folded;
  std::size_t extracted = 0;
  for (const ArchiveMember* member : chosen) {
    const confine::Rule name_rule = confine::CheckRelativePath(member->name);
    std::u16string key_folded = member->name;
    for (char16_t& unit : key_folded) unit = unit == u'/' ? u'\\' : confine::FoldCase(unit);
    if (name_rule != confine::Rule::kOk) {
      error = std::string("is refused: ") + confine::RuleText(name_rule);
    } else if (!folded.insert(key_folded).second) {
      error = "is refused: it differs from another member only in letter case";
    } else if (ExtractMember(opened.archive.get(), *member, tree, &error)) {
      ++extracted;
      continue;
    }
    *err += "qvarc: member " + Quote(member->name) + " " + error + "\n";
  }
  *out += "extracted " + std::to_string(extracted) + " of " + std::to_string(chosen.size()) +
          " members to " + ToUtf8(tree.Path()) + "\n";
  return err->size() == errors_before ? 0 : 1;
}

int Create(const std::u16string& path, const std::u16string& folder, const std::string& key,
           bool has_key, std::string* out, std::string* err) {
  const std::u16string source = AbsolutePath(folder);
  confine::WalkResult walk = confine::WalkTree(source.c_str(), {});
  for (const confine::Finding& finding : walk.findings)
    *err += "qvarc: " + (finding.path.empty() ? Quote(folder) : Quote(finding.path)) + ": " +
            confine::RuleText(finding.rule) + "\n";
  if (!walk.findings.empty()) return 1;
  const os::Handle root = os::OpenTreeRoot(source.c_str());
  std::string error;
  const bool ok = root != os::kInvalidHandle &&
                  CreateArchiveFile(AbsolutePath(path), root, walk.files, has_key ? &key : nullptr, &error);
  if (root != os::kInvalidHandle) os::CloseTreeFolder(root);
  if (!ok) {
    *err += "qvarc: " + Quote(path) + " " + (error.empty() ? LastErrorText() : error) + "\n";
    return 1;
  }
  *out += "created " + ToUtf8(path) + ": " + std::to_string(walk.files.size()) + " members" +
          (has_key ? ", enciphered\n" : "\n");
  return 0;
}

}  // namespace

int RunQvarc(const std::vector<std::string>& arguments, std::string* out, std::string* err) {
  const CommandTable table{"qvarc", kHelp, {{"--key"}, {"--help"}}, {}, true};
  ParsedOptions parsed;
  if (const int status = StartCommand(arguments, table, &parsed, out, err); status >= 0) return status;
  const std::vector<std::string>& operands = parsed.operands;
  if (operands.empty()) return Usage(err, "no command given");
  const std::string& command = operands[0];
  const std::string key = parsed.Value("--key");
  if (parsed.Has("--key") && key.empty()) return Usage(err, "--key needs a text");
  if (command == "list" && operands.size() == 2 && !parsed.Has("--key"))
    return List(ToUtf16(operands[1]), out, err);
  if (command == "extract" && operands.size() >= 3)
    return Extract(ToUtf16(operands[1]), ToUtf16(operands[2]),
                   std::vector<std::string>(operands.begin() + 3, operands.end()), key, out, err);
  if (command == "create" && operands.size() == 3)
    return Create(ToUtf16(operands[1]), ToUtf16(operands[2]), key, parsed.Has("--key"), out, err);
  return Usage(err, "wrong command or operands");
}
