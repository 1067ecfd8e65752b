#include "system/caps_tables.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <string>
#include <tuple>

namespace {

struct OsRow {
  std::uint32_t platform, major, minor, code;
  const char16_t* name;
};

TEST(CapsTables, OperatingSystemCodesAndNames) {
  const OsRow rows[] = {
      {0, 3, 1, 0x01, u""}, {1, 4, 0, 0x02, u"Windows 95"}, {1, 4, 10, 0x03, u"Windows 98"},
      {1, 4, 90, 0x04, u"Windows Me"}, {1, 4, 3, 0x0F, u"Windows 9x"},
      {2, 3, 51, 0x20, u"Windows NT 3.x"}, {2, 4, 0, 0x30, u"Windows NT 4.x"},
      {2, 5, 0, 0x40, u"Windows 2000"}, {2, 5, 1, 0x50, u"Windows XP"},
      {2, 5, 2, 0x10, u"Windows NT"}, {2, 6, 0, 0x60, u"Windows Vista"},
      {2, 6, 1, 0x61, u"Windows 7"}, {2, 6, 2, 0x62, u"Windows 8"}, {2, 6, 3, 0x63, u"Windows 8.1"},
      {2, 6, 4, 0x10, u"Windows NT"}, {2, 7, 0, 0x10, u"Windows NT"},
      {2, 10, 0, 0x64, u"Windows 10"}, {2, 11, 0, 0x10, u"Windows NT"},
      {3, 10, 0, 0xFFFF, u"OS Unknown..."}, {0xFFFFFFFF, 6, 1, 0xFFFF, u"OS Unknown..."},
  };
  for (const OsRow& row : rows) {
    const OsName found = ClassifyOs(row.platform, row.major, row.minor);
    EXPECT_EQ(found.code, row.code) << row.platform << " " << row.major << "." << row.minor;
    EXPECT_EQ(std::u16string(found.name), row.name);
  }
  EXPECT_EQ(std::u16string(BitnessSuffix(64)), u" (x64)");
  EXPECT_EQ(std::u16string(BitnessSuffix(32)), u" (x86)");
}

TEST(CapsTables, Win9xVersionLivesInTheBuildField) {
  std::uint32_t major = 0, minor = 0, build = 0;
  SplitWin9xBuild(0x040A08AE, &major, &minor, &build);
  EXPECT_EQ(std::tuple(major, minor, build), std::tuple(4u, 10u, 2222u));
  SplitWin9xBuild(0xFFFFFFFF, &major, &minor, &build);  // every bit in exactly one field
  EXPECT_EQ(std::tuple(major, minor, build), std::tuple(255u, 255u, 65535u));
}

TEST(CapsTables, EditionNames) {
  const std::map<std::uint32_t, std::u16string> expected = {
      {0, u"An unknown product"}, {1, u"Ultimate"},
      {19, u"Windows Storage Server 2008 R2 Essentials"}, {47, u"Starter N"}, {48, u"Professional"},
      {54, u"Server For SB Solutions EM"}, {55, u"Server For SB Solutions EM"},
      {56, u"Windows MultiPoint Server"}, {57, u""}, {58, u""},
      {59, u"Windows 8 Essential Server Solution Management"}, {64, u"Server Hyper Core V"},
      {65, u""}, {66, u"Not supported"}, {71, u"Not supported"},
      {72, u"Server Enterprise (evaluation installation)"}, {75, u""},
      {76, u"Windows MultiPoint Server Standard (full installation)"},
      {79, u"Server Standard (evaluation installation)"},
      {80, u"Server Datacenter (evaluation installation)"},
      {84, u"Enterprise N (evaluation installation)"}, {94, u""},
      {95, u"Storage Server Workgroup (evaluation installation)"}, {101, u"Windows 8"}, {102, u""},
      {103, u"Professional with Media Center"}, {104, u""}, {0xFFFFFFFF, u""},
  };
  for (const auto& [type, name] : expected) EXPECT_EQ(std::u16string(EditionName(type)), name) << type;
}

TEST(CapsTables, ProcessorSignatureAndFeatureBits) {
  // Type 3 (bits 13-12), family 6, model 10, stepping 5; MMX is edx bit 23
  // alone, next to FXSR (24), CMOV (15) and SSE (25).
  const CpuSignature mmx = DecodeCpuSignature(0x000036A5u, 1u << 23);
  EXPECT_EQ(std::tuple(mmx.type, mmx.family, mmx.model, mmx.stepping), std::tuple(3u, 6u, 10u, 5u));
  EXPECT_EQ(std::tuple(mmx.has_mmx, mmx.has_cmov, mmx.has_sse), std::tuple(1u, 0u, 0u));
  const CpuSignature others = DecodeCpuSignature(0x0000F6A5u, 1u << 24 | 1u << 25 | 1u << 15);
  EXPECT_EQ(others.type, 3u);  // bits 15-14 belong to no field
  EXPECT_EQ(std::tuple(others.has_mmx, others.has_cmov, others.has_sse), std::tuple(0u, 1u, 1u));
}

bool g_d3d11_loads = false;
int g_d3d11_asked = 0;
bool FakeLibraryProbe(const char16_t* name) {
  EXPECT_EQ(std::u16string(name), u"D3D11.DLL");
  ++g_d3d11_asked;
  return g_d3d11_loads;
}

// The probe's last steps: the letter in lower case, a DirectX of 10 or
// later as 11.0 on a system that has it, then the number and the text.
TEST(CapsTables, DirectXAsTheProbeReportsIt) {
  struct Row {
    DirectXVersion found;
    bool readable;
    std::uint32_t major, minor, build;
    bool loads;
    int asked;
    std::uint32_t number;
    const char16_t* text;
  };
  const Row rows[] = {
      {{12, 0, u' '}, true, 10, 0, 19045, false, 0, 0xB0000, u"11.0"},
      {{10, 0, u' '}, true, 7, 0, 0, false, 0, 0xB0000, u"11.0"},
      {{10, 0, u'a'}, true, 6, 1, 7601, false, 0, 0xB0000, u"11.0"},
      {{10, 1, u' '}, true, 6, 0, 6003, false, 0, 0xB0000, u"11.0"},
      {{10, 0, u' '}, true, 6, 0, 6002, true, 1, 0xB0000, u"11.0"},
      {{10, 0, u' '}, true, 6, 0, 6002, false, 1, 0xA0000, u"10.0 "},
      {{10, 0, u' '}, true, 6, 0, 6001, true, 0, 0xA0000, u"10.0 "},
      {{10, 0, u' '}, true, 5, 2, 6002, true, 0, 0xA0000, u"10.0 "},
      {{12, 0, u' '}, false, 10, 0, 19045, true, 0, 0xC0000, u"12.0 "},
      {{11, 0, 0}, true, 5, 1, 2600, true, 0, 0xB0000, u"11.0"},
      {{9, 0, u'C'}, true, 10, 0, 19045, true, 0, 0x90003, u"9.0c"},
      {{9, 0, u' '}, true, 10, 0, 19045, true, 0, 0x90000, u"9.0 "},
      {{8, 1, u'b'}, true, 10, 0, 19045, true, 0, 0x80102, u"8.1b"},
      {{7, 0, u'z'}, true, 10, 0, 19045, true, 0, 0x7001A, u"7.0z"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.found.major << "." << row.found.minor << " on "
                                      << row.major << "." << row.minor << "." << row.build);
    g_d3d11_loads = row.loads;
    g_d3d11_asked = 0;
    const DirectXVersion result = WithDirectX11Rule(
        WithLowerCaseLetter(row.found), row.readable, row.major, row.minor, row.build,
        FakeLibraryProbe);
    char16_t text[128];
    FormatDirectXText(result, text, 128);
    EXPECT_EQ(std::u16string(text), row.text);
    EXPECT_EQ(DirectXNumber(result), row.number);
    EXPECT_EQ(g_d3d11_asked, row.asked);
  }
}

// Fake system folders for the file-version probe.
std::map<std::u16string, std::pair<std::uint32_t, std::uint32_t>> g_files;

bool FakeLookup(const char16_t* file, std::uint32_t* ms, std::uint32_t* ls) {
  auto found = g_files.find(file);
  if (found == g_files.end()) return false;
  *ms = found->second.first;
  *ls = found->second.second;
  return true;
}

std::u16string Text(const DirectXVersion& version) {
  char16_t text[128];
  FormatDirectXText(version, text, 128);
  return text;
}

std::u16string ProbeText() { return Text(DirectXFromFileVersions(FakeLookup)); }

struct FileStep {
  const char16_t* file;
  std::uint32_t ms, ls;
  const char16_t* text;
};

// Each file at its first build and one build short; the files stay, so the
// last matching row wins.
void ExpectSteps(std::initializer_list<FileStep> steps, const char16_t* below) {
  for (const FileStep& step : steps) {
    g_files[step.file] = {step.ms, step.ls - 1};
    EXPECT_EQ(ProbeText(), below) << "one build short of " << std::hex << step.ms << " " << step.ls;
    g_files[step.file] = {step.ms, step.ls};
    EXPECT_EQ(ProbeText(), step.text);
    below = step.text;
  }
}

TEST(CapsTables, DirectXFromFileVersions) {
  g_files.clear();
  EXPECT_EQ(ProbeText(), u"0.0 ");
  ExpectSteps({{u"ddraw.dll", 0x00040002, 95, u"1.0 "}, {u"ddraw.dll", 0x00040003, 1096, u"2.0 "},
               {u"ddraw.dll", 0x00040004, 68, u"3.0 "}, {u"d3drg8x.dll", 0x00040004, 70, u"3.0a"},
               {u"ddraw.dll", 0x00040005, 155, u"5.0 "}, {u"ddraw.dll", 0x00040006, 318, u"6.0 "},
               {u"ddraw.dll", 0x00040006, 436, u"6.1 "},
               {u"dplayx.dll", 0x00040006, 3 << 16 | 518, u"6.1a"},
               {u"ddraw.dll", 0x00040007, 700, u"7.0 "}, {u"dinput.dll", 0x00040007, 716, u"7.0a"},
               {u"ddraw.dll", 0x00040008, 400, u"8.0 "},
               {u"d3d8.dll", 0x00040008, 1 << 16 | 881, u"8.1 "},
               {u"d3d8.dll", 0x00040008, 1 << 16 | 901, u"8.1a"},
               {u"mpg2splt.ax", 0x00060003, 1 << 16 | 885, u"8.1b"},
               {u"dpnet.dll", 0x00040009, 134, u"8.2 "}},
              u"0.0 ");

  // Files of the 5.x line are weighed against the second form.
  g_files.clear();
  ExpectSteps({{u"ddraw.dll", 0x00050001, 2258 << 16 | 400, u"8.0 "},
               {u"d3d8.dll", 0x00050001, 2600 << 16 | 881, u"8.1 "},
               {u"d3d8.dll", 0x00050001, 2600 << 16 | 901, u"8.1a"},
               {u"dpnet.dll", 0x00050002, 3677 << 16 | 134, u"8.2 "}},
              u"7.0 ");

  // Any readable d3d9.dll ends the probe at 9.0.
  g_files[u"d3d9.dll"] = {0, 0};
  EXPECT_EQ(ProbeText(), u"9.0 ");
  g_files.clear();
}

bool DiagnosticsSay81b(std::uint32_t* major, std::uint32_t* minor, char16_t* letter) {
  *major = 8;
  *minor = 1;
  *letter = u'b';
  return true;
}
bool DiagnosticsSilent(std::uint32_t*, std::uint32_t*, char16_t*) { return false; }

// The diagnostics provider's answer wins; the files tell only without one.
TEST(CapsTables, DirectXFromTheDiagnosticsBeforeTheFiles) {
  g_files = {{u"d3d9.dll", {0, 0}}};
  EXPECT_EQ(Text(FoundDirectX(DiagnosticsSay81b, FakeLookup)), u"8.1b");
  EXPECT_EQ(Text(FoundDirectX(DiagnosticsSilent, FakeLookup)), u"9.0 ");
  g_files.clear();
}

TEST(CapsTables, ClockFromAQuarterSecond) {
  EXPECT_EQ(ClockFromQuarterSecond(1000, 1000 + 750000000), 3000u);
  EXPECT_EQ(ClockFromQuarterSecond(5, 5), 0u);
}

}  // namespace
