#include "system/caps_tables.h"

#include "base/format.h"

namespace {

const char16_t* const kEditions[] = {
    u"An unknown product",
    u"Ultimate",
    u"Home Basic",
    u"Home Premium",
    u"Enterprise",
    u"Home Basic N",
    u"Business",
    u"Server Standard",
    u"Server Datacenter (full installation)",
    u"Windows Small Business Server",
    u"Server Enterprise (full installation)",
    u"Starter",
    u"Server Datacenter (core installation)",
    u"Server Standard (core installation)",
    u"Server Enterprise (core installation)",
    u"Server Enterprise for Itanium-based Systems",
    u"Business N",
    u"Web Server (full installation)",
    u"HPC Edition",
    u"Windows Storage Server 2008 R2 Essentials",
    u"Storage Server Express",
    u"Storage Server Standard",
    u"Storage Server Workgroup",
    u"Storage Server Enterprise",
    u"Windows Server 2008 for Windows Essential Server Solutions",
    u"Small Business Server Premium",
    u"Home Premium N",
    u"Enterprise N",
    u"Ultimate N",
    u"Web Server (core installation)",
    u"Windows Essential Business Server Management Server",
    u"Windows Essential Business Server Security Server",
    u"Windows Essential Business Server Messaging Server",
    u"Server Foundation",
    u"Windows Home Server 2011",
    u"Windows Server 2008 without Hyper-V for Windows Essential Server Solutions",
    u"Server Standard without Hyper-V",
    u"Server Datacenter without Hyper-V (full installation)",
    u"Server Enterprise without Hyper-V (full installation)",
    u"Server Datacenter without Hyper-V (core installation)",
    u"Server Standard without Hyper-V (core installation)",
    u"Server Enterprise without Hyper-V (core installation)",
    u"Microsoft Hyper-V Server",
    u"Storage Server Express (core installation)",
    u"Storage Server Standard (core installation)",
    u"Storage Server Workgroup (core installation)",
    u"Storage Server Enterprise (core installation)",
    u"Starter N",
    u"Professional",
    u"Professional N",
    u"Windows Small Business Server 2011 Essentials",
    u"Server For SB Solutions",
    u"Server Solutions Premium",
    u"Server Solutions Premium (core installation)",
    u"Server For SB Solutions EM",
    u"Server For SB Solutions EM",
    u"Windows MultiPoint Server",
    u"",
    u"",
    u"Windows 8 Essential Server Solution Management",
    u"Windows 8 Essential Server Solution Additional",
    u"Windows 8 Essential Server Solution Management SVC",
    u"Windows 8 Essential Server Solution Additional SVC",
    u"Small Business Server Premium (core installation)",
    u"Server Hyper Core V",
    u"",
    u"Not supported",
    u"Not supported",
    u"Not supported",
    u"Not supported",
    u"Not supported",
    u"Not supported",
    u"Server Enterprise (evaluation installation)",
    u"",
    u"",
    u"",
    u"Windows MultiPoint Server Standard (full installation)",
    u"Windows MultiPoint Server Premium (full installation)",
    u"",
    u"Server Standard (evaluation installation)",
    u"Server Datacenter (evaluation installation)",
    u"",
    u"",
    u"",
    u"Enterprise N (evaluation installation)",
    u"", u"", u"", u"", u"", u"", u"", u"", u"", u"",
    u"Storage Server Workgroup (evaluation installation)",
    u"Storage Server Standard (evaluation installation)",
    u"Windows 8 ARM",
    u"Windows 8 N",
    u"Windows 8 China",
    u"Windows 8 Single Language",
    u"Windows 8",
    u"",
    u"Professional with Media Center",
};
static_assert(sizeof kEditions / sizeof kEditions[0] == 104);

// One row of the file-version probe. Rows with two thresholds use the
// first for files of the 4.x line and the second for later lines.
struct FileRow {
  const char16_t* file;
  std::uint64_t version4;
  DirectXVersion result;
  std::uint64_t version5 = 0;  // 0: the row has one form only
};

constexpr std::uint64_t V(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d) {
  return a << 48 | b << 32 | c << 16 | d;
}

const FileRow kFileRows[] = {
    {u"ddraw.dll", V(4, 2, 0, 95), {1, 0, u' '}},
    {u"ddraw.dll", V(4, 3, 0, 1096), {2, 0, u' '}},
    {u"ddraw.dll", V(4, 4, 0, 68), {3, 0, u' '}},
    {u"d3drg8x.dll", V(4, 4, 0, 70), {3, 0, u'a'}},
    {u"ddraw.dll", V(4, 5, 0, 155), {5, 0, u' '}},
    {u"ddraw.dll", V(4, 6, 0, 318), {6, 0, u' '}},
    {u"ddraw.dll", V(4, 6, 0, 436), {6, 1, u' '}},
    {u"dplayx.dll", V(4, 6, 3, 518), {6, 1, u'a'}},
    {u"ddraw.dll", V(4, 7, 0, 700), {7, 0, u' '}},
    {u"dinput.dll", V(4, 7, 0, 716), {7, 0, u'a'}},
    {u"ddraw.dll", V(4, 8, 0, 400), {8, 0, u' '}, V(5, 1, 2258, 400)},
    {u"d3d8.dll", V(4, 8, 1, 881), {8, 1, u' '}, V(5, 1, 2600, 881)},
    {u"d3d8.dll", V(4, 8, 1, 901), {8, 1, u'a'}, V(5, 1, 2600, 901)},
    {u"mpg2splt.ax", V(6, 3, 1, 885), {8, 1, u'b'}},
    {u"dpnet.dll", V(4, 9, 0, 134), {8, 2, u' '}, V(5, 2, 3677, 134)},
};

}  // namespace

OsName ClassifyOs(std::uint32_t platform, std::uint32_t major, std::uint32_t minor) {
  switch (platform) {
    case 0:
      return {0x01, u""};
    case 1:
      if (minor == 0) return {0x02, u"Windows 95"};
      if (minor == 10) return {0x03, u"Windows 98"};
      if (minor == 90) return {0x04, u"Windows Me"};
      return {0x0F, u"Windows 9x"};
    case 2:
      if (major == 3) return {0x20, u"Windows NT 3.x"};
      if (major == 4) return {0x30, u"Windows NT 4.x"};
      if (major == 5 && minor == 0) return {0x40, u"Windows 2000"};
      if (major == 5 && minor == 1) return {0x50, u"Windows XP"};
      if (major == 6 && minor == 0) return {0x60, u"Windows Vista"};
      if (major == 6 && minor == 1) return {0x61, u"Windows 7"};
      if (major == 6 && minor == 2) return {0x62, u"Windows 8"};
      if (major == 6 && minor == 3) return {0x63, u"Windows 8.1"};
      if (major == 10) return {0x64, u"Windows 10"};
      return {0x10, u"Windows NT"};
    default:
      return {0xFFFF, u"OS Unknown..."};
  }
}

const char16_t* BitnessSuffix(std::uint32_t bitness) {
  return bitness == 64 ? u" (x64)" : u" (x86)";
}

void SplitWin9xBuild(std::uint32_t build, std::uint32_t* major, std::uint32_t* minor,
                     std::uint32_t* build_number) {
  *major = build >> 24;
  *minor = (build >> 16) & 0xFF;
  *build_number = build & 0xFFFF;
}

const char16_t* EditionName(std::uint32_t product_type) {
  return product_type < sizeof kEditions / sizeof kEditions[0] ? kEditions[product_type] : u"";
}

DirectXVersion WithLowerCaseLetter(DirectXVersion version) {
  if (version.letter >= u'A' && version.letter <= u'Z') version.letter += u'a' - u'A';
  return version;
}

std::uint32_t DirectXNumber(const DirectXVersion& version) {
  const char16_t c = version.letter;
  const std::uint32_t letter = c >= u'a' && c <= u'z' ? c - u'a' + 1 : 0;
  return version.major * 65536 + version.minor * 256 + letter;
}

void FormatDirectXText(const DirectXVersion& version, char16_t* out, std::size_t capacity) {
  const char16_t letter[2] = {version.letter, 0};
  FormatWide(out, capacity, u"%d.%d%s", static_cast<int>(version.major),
             static_cast<int>(version.minor), letter);
}

DirectXVersion WithDirectX11Rule(DirectXVersion found, bool readable, std::uint32_t major,
                                 std::uint32_t minor, std::uint32_t build,
                                 SystemLibraryProbe can_load) {
  if (found.major < 10 || !readable) return found;
  const bool has_11 = major > 6 || (major == 6 && minor >= 1) ||
                      (major == 6 && minor == 0 &&
                       (build > 6002 || (build == 6002 && can_load(u"D3D11.DLL"))));
  return has_11 ? DirectXVersion{11, 0, 0} : found;
}

DirectXVersion DirectXFromFileVersions(SystemFileVersionLookup lookup) {
  DirectXVersion found{0, 0, u' '};
  for (const FileRow& row : kFileRows) {
    std::uint32_t ms = 0, ls = 0;
    if (!lookup(row.file, &ms, &ls)) continue;
    const std::uint64_t version = std::uint64_t{ms} << 32 | ls;
    const bool later_line = (ms >> 16) >= 5 && row.version5 != 0;
    if (version >= (later_line ? row.version5 : row.version4)) found = row.result;
  }
  std::uint32_t ms = 0, ls = 0;
  if (lookup(u"d3d9.dll", &ms, &ls)) found = {9, 0, u' '};
  return found;
}

DirectXVersion FoundDirectX(DxDiagQuery dxdiag, SystemFileVersionLookup lookup) {
  DirectXVersion version;
  if (dxdiag(&version.major, &version.minor, &version.letter)) return version;
  return DirectXFromFileVersions(lookup);
}

std::uint32_t ClockFromQuarterSecond(std::uint64_t start, std::uint64_t end) {
  return static_cast<std::uint32_t>((end - start) * 4 / 1000000);
}

CpuSignature DecodeCpuSignature(std::uint32_t eax, std::uint32_t edx) {
  CpuSignature cpu;
  cpu.type = (eax >> 12) & 3;
  cpu.family = (eax >> 8) & 15;
  cpu.model = (eax >> 4) & 15;
  cpu.stepping = eax & 15;
  cpu.has_mmx = (edx >> 23) & 1;
  cpu.has_cmov = (edx >> 15) & 1;
  cpu.has_sse = (edx >> 25) & 1;
  return cpu;
}
