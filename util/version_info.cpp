#include "util/version_info.h"

#include "os/version.h"
#include "base/debug_log.h"
#include "base/format.h"
#include "util/integer.h"
#include "util/memory.h"

namespace {

// A version part of this many units or more counts as 0.
constexpr int kPartLimit = 64;

const char16_t* const kStringNames[] = {
    u"Comments",        u"CompanyName",      u"FileDescription", u"FileVersion",
    u"InternalName",    u"LegalCopyright",   u"LegalTrademarks", u"OriginalFilename",
    u"ProductName",     u"ProductVersion",   u"PrivateBuild",    u"SpecialBuild",
};

char16_t* StringField(VersionInfo* info, int index) {
  char16_t* fields[] = {
      info->comments,        info->company_name,   info->file_description,
      info->file_version,    info->internal_name,  info->legal_copyright,
      info->legal_trademarks, info->original_filename, info->product_name,
      info->product_version, info->private_build,  info->special_build,
  };
  return fields[index];
}

const char16_t* Find(const char16_t* text, char16_t unit) {
  for (; *text != 0; ++text)
    if (*text == unit) return text;
  return nullptr;
}

// The part in [begin, end), leading blanks skipped, as a 16-bit number.
std::uint16_t ConvertPart(const char16_t* begin, const char16_t* end) {
  while (begin < end && *begin == u' ') ++begin;
  if (end - begin >= kPartLimit) return 0;
  // The separator or terminator at `end` is no digit, so the conversion
  // stops there at the latest. A part like "02" followed by '.' is reported
  // as a failed parse but its digits are still stored, and that value is
  // the one wanted here.
  int end_index = 0;
  std::int32_t value = 0;
  ParseIntegerW(begin, &end_index, &value);
  return static_cast<std::uint16_t>(value);
}

// Copies a text value of `size` bytes into a field, cut to its capacity.
void CopyText(char16_t* field, const void* value, std::uint32_t size) {
  const auto* bytes = static_cast<const unsigned char*>(value);
  std::size_t units = size / 2;
  std::size_t i = 0;
  for (; i < units && i + 1 < kVersionStringCapacity; ++i) {
    const char16_t unit = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    if (unit == 0) break;
    field[i] = unit;
  }
  field[i] = 0;
}

}  // namespace

void ParseFileVersion(const char16_t* text, VersionInfo* info) {
  // Parts 1 to 3 end at the next ',' or, when there is none, the next '.';
  // a part without a separator behind it is not converted.
  for (int part = 0; part < 3; ++part) {
    const char16_t* separator = Find(text, u',');
    if (!separator) separator = Find(text, u'.');
    if (!separator) return;
    info->version[3 - part] = ConvertPart(text, separator);
    text = separator + 1;
  }
  const char16_t* end = text;
  while (*end != 0) ++end;
  info->version[0] = ConvertPart(text, end);
}

int ReadVersionInfo(const char16_t* path, VersionInfo* info) {
  ZeroBytes(info, sizeof *info);
  os::VersionResource* resource = os::LoadVersionResource(path);
  if (!resource) return 0;

  const void* value = nullptr;
  std::uint32_t size = 0;
  if (!os::QueryVersionValue(resource, u"\\VarFileInfo\\Translation", &value, &size) ||
      size < 4) {
    os::FreeVersionResource(resource);
    return 1;
  }
  const auto* entry = static_cast<const unsigned char*>(value);
  const std::uint32_t language = entry[0] | (entry[1] << 8);
  const std::uint32_t code_page = entry[2] | (entry[3] << 8);
  const std::uint32_t translation = language << 16 | code_page;

  for (int i = 0; i < 12; ++i) {
    char16_t query[96];
    FormatWide(query, 96, u"\\StringFileInfo\\%08x\\%s", translation, kStringNames[i]);
    if (os::QueryVersionValue(resource, query, &value, &size))
      CopyText(StringField(info, i), value, size);
  }
  os::FreeVersionResource(resource);

  DebugLogW(u"version : %s", info->file_version);
  ParseFileVersion(info->file_version, info);
  return 1;
}
