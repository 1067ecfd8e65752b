#include "file/confine_rules.h"

#include "os/tree_names.h"

namespace confine {
namespace {

bool IsSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }
bool IsLetter(char16_t unit) { return (unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z'); }
bool IsControl(char16_t unit) { return unit < 0x20; }

bool IsDotName(std::u16string_view name) { return name == u"." || name == u".."; }

// "CON", "nul.txt", "COM1.tar.gz", "LPT²": the part before the first dot,
// blanks at its end ignored, names a device on every Windows.
bool IsReservedName(std::u16string_view name) {
  std::u16string_view base = name.substr(0, name.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  std::u16string upper;
  for (char16_t unit : base) upper += FoldCase(unit);
  if (upper == u"CON" || upper == u"PRN" || upper == u"AUX" || upper == u"NUL" ||
      upper == u"CONIN$" || upper == u"CONOUT$")
    return true;
  if (upper.size() != 4 || (upper.compare(0, 3, u"COM") != 0 && upper.compare(0, 3, u"LPT") != 0))
    return false;
  char16_t digit = upper[3];
  return (digit >= u'1' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' ||
         digit == u'\u00B3';
}

// A drive-letter root "X:" at the start of a Windows path.
bool HasDrive(std::u16string_view path) {
  return path.size() >= 2 && IsLetter(path[0]) && path[1] == u':';
}

// The root part of a Windows path and whether the path is absolute:
// "C:\" (3 units) or "\\server\share" up to the separator behind it.
bool WindowsRoot(std::u16string_view path, std::size_t* root_end, Rule* problem) {
  if (HasDrive(path)) {
    if (path.size() == 2 || !IsSeparator(path[2])) {
      *problem = path.size() == 2 ? Rule::kVolumeRoot : Rule::kNotAbsolute;
      return false;
    }
    *root_end = 3;
    return true;
  }
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // A network path names its share with the two components behind "\\".
    std::size_t server_end = path.find_first_of(u"\\/", 2);
    std::size_t share_end =
        server_end == std::u16string_view::npos ? server_end : path.find_first_of(u"\\/", server_end + 1);
    std::u16string_view server = path.substr(2, server_end - 2);
    std::u16string_view share = server_end == std::u16string_view::npos
                                    ? std::u16string_view()
                                    : path.substr(server_end + 1, share_end - server_end - 1);
    if (CheckName(server) != Rule::kOk || CheckName(share) != Rule::kOk) {
      *problem = Rule::kNotNormalised;  // also "\\?\..." and "\\.\..."
      return false;
    }
    if (share_end == std::u16string_view::npos || share_end + 1 >= path.size()) {
      *problem = Rule::kVolumeRoot;
      return false;
    }
    *root_end = share_end + 1;
    return true;
  }
  *problem = Rule::kNotAbsolute;
  return false;
}

bool PosixRoot(std::u16string_view path, std::size_t* root_end, Rule* problem) {
  if (path.empty() || !IsSeparator(path[0])) {
    *problem = Rule::kNotAbsolute;
    return false;
  }
  *root_end = 1;
  return true;
}

// The components of a folder's path behind its root: each one present
// and, on Windows, one that the system keeps as it is written.
Rule CheckFolderComponents(std::u16string_view rest, PathStyle style) {
  if (rest.empty()) return Rule::kVolumeRoot;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos) end = rest.size();
    std::u16string_view name = rest.substr(start, end - start);
    if (name.empty() || IsDotName(name)) return Rule::kNotNormalised;
    if (style == PathStyle::kWindows) {
      if (CheckName(name) != Rule::kOk) return Rule::kNotNormalised;
    } else {
      for (char16_t unit : name)
        if (IsControl(unit)) return Rule::kNotNormalised;
    }
    start = end + 1;
  }
  return Rule::kOk;
}

}  // namespace

PathStyle NativeStyle() {
#ifdef _WIN32
  return PathStyle::kWindows;
#else
  return PathStyle::kPosix;
#endif
}

const char* RuleCode(Rule rule) {
  switch (rule) {
    case Rule::kOk: return "ok";
    case Rule::kEmpty: return "path-empty";
    case Rule::kAbsolute: return "path-absolute";
    case Rule::kDotComponent: return "path-dot";
    case Rule::kBadCharacter: return "name-character";
    case Rule::kTrailingDot: return "name-trailing";
    case Rule::kReservedName: return "name-reserved";
    case Rule::kTooLong: return "path-length";
    case Rule::kCaseCollision: return "name-case";
    case Rule::kLink: return "data-link";
    case Rule::kNotAbsolute: return "folder-relative";
    case Rule::kNotNormalised: return "folder-form";
    case Rule::kVolumeRoot: return "folder-root";
    case Rule::kSystemFolder: return "folder-system";
    case Rule::kUserProfile: return "folder-profile";
    case Rule::kPatchFolder: return "folder-patch";
    case Rule::kMissing: return "folder-missing";
    case Rule::kRootIsLink: return "folder-link";
  }
  return "unknown";
}

const char* RuleText(Rule rule) {
  switch (rule) {
    case Rule::kOk: return "accepted";
    case Rule::kEmpty: return "the path is empty";
    case Rule::kAbsolute: return "the path is absolute, drive-qualified or a network path";
    case Rule::kDotComponent: return "the path has a \".\" or \"..\" component";
    case Rule::kBadCharacter:
      return "a name holds \\ / : * ? \" < > | or a control character";
    case Rule::kTrailingDot: return "a name ends with a dot or a space";
    case Rule::kReservedName: return "a name is a Windows device name (CON, NUL, COM1, ...)";
    case Rule::kTooLong: return "a name or the whole path is longer than Windows allows";
    case Rule::kCaseCollision: return "a name differs from another beside it only in letter case";
    case Rule::kLink: return "a link, or an entry that is neither a file nor a folder";
    case Rule::kNotAbsolute: return "the folder is not an absolute path";
    case Rule::kNotNormalised: return "the folder's path is not in its plain form";
    case Rule::kVolumeRoot: return "the folder is the root of a volume";
    case Rule::kSystemFolder: return "the folder belongs to the system or to every user";
    case Rule::kUserProfile: return "the folder is a user's profile";
    case Rule::kPatchFolder: return "the folder is the patch folder or inside it";
    case Rule::kMissing: return "the folder does not exist";
    case Rule::kRootIsLink: return "the folder is a link";
  }
  return "unknown";
}

Rule CheckName(std::u16string_view name) {
  if (name.empty()) return Rule::kEmpty;
  if (IsDotName(name)) return Rule::kDotComponent;
  for (char16_t unit : name) {
    if (IsControl(unit) || std::u16string_view(u"\\/:*?\"<>|").find(unit) != std::u16string_view::npos)
      return Rule::kBadCharacter;
  }
  if (name.back() == u'.' || name.back() == u' ') return Rule::kTrailingDot;
  if (IsReservedName(name)) return Rule::kReservedName;
  if (name.size() > kNameLimit) return Rule::kTooLong;
  return Rule::kOk;
}

Rule CheckRelativePath(std::u16string_view path) {
  if (path.empty()) return Rule::kEmpty;
  if (IsSeparator(path[0]) || HasDrive(path)) return Rule::kAbsolute;
  Rule found = Rule::kEmpty;  // a path of separators alone names nothing
  os::ForEachComponent(path, [&](std::u16string_view name) {
    found = CheckName(name);
    return found == Rule::kOk;
  });
  return found;
}

Rule CheckPlainName(std::u16string_view name) { return CheckName(name); }

bool FitsBelow(std::size_t folder_units, std::u16string_view relative) {
  return folder_units + 1 + relative.size() < kPathCapacity;
}

Rule CheckFolderText(std::u16string_view path, PathStyle style, std::u16string* normalised) {
  if (path.empty()) return Rule::kNotAbsolute;
  std::size_t root_end = 0;
  Rule problem = Rule::kOk;
  bool rooted = style == PathStyle::kWindows ? WindowsRoot(path, &root_end, &problem)
                                             : PosixRoot(path, &root_end, &problem);
  if (!rooted) return problem;
  std::u16string_view rest = path.substr(root_end);
  while (!rest.empty() && IsSeparator(rest.back())) rest.remove_suffix(1);
  Rule components = CheckFolderComponents(rest, style);
  if (components != Rule::kOk) return components;
  if (normalised) *normalised = std::u16string(path.substr(0, root_end)) + std::u16string(rest);
  return Rule::kOk;
}

char16_t FoldCase(char16_t c) {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? c - 0x20 : c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F) || (c >= 0xFF41 && c <= 0xFF5A))
    return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c == 0x3C2) return 0x3A3;  // final sigma
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  // Latin Extended-A pairs: upper case on even units, except in the two
  // runs where it is on odd ones.
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149) {
    bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    bool lower = odd_upper ? (c % 2 == 0) : (c % 2 == 1);
    if (lower && c != 0x17F) return c - 1;
  }
  return c;
}

}  // namespace confine
