// The tables and number formation of the capabilities record, free of any
// system call so that they can be checked one row at a time.
#pragma once

#include <cstddef>
#include <cstdint>

struct OsName {
  std::uint32_t code;
  const char16_t* name;
};
// Operating-system code and name for a version report (`platform` in the
// Windows numbering; anything else is an unknown system).
OsName ClassifyOs(std::uint32_t platform, std::uint32_t major, std::uint32_t minor);

// " (x86)" for 32, " (x64)" for 64.
const char16_t* BitnessSuffix(std::uint32_t bitness);

// A Windows 9x version report keeps its real numbers in the build field.
void SplitWin9xBuild(std::uint32_t build, std::uint32_t* major, std::uint32_t* minor,
                     std::uint32_t* build_number);

// The edition for a product type; empty for types the table does not know.
const char16_t* EditionName(std::uint32_t product_type);

// DirectX version as major, minor and a letter: 0 for no letter at all,
// ' ' for a blank, 'a' to 'z' otherwise.
struct DirectXVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  char16_t letter = u' ';
};
// The letter as the record keeps it, in lower case.
DirectXVersion WithLowerCaseLetter(DirectXVersion version);
std::uint32_t DirectXNumber(const DirectXVersion& version);
// "%d.%d%s", the letter as a one-character text (nothing for no letter).
void FormatDirectXText(const DirectXVersion& version, char16_t* out, std::size_t capacity);

// Whether a library of the system can be loaded.
using SystemLibraryProbe = bool (*)(const char16_t* name);
// A DirectX of 10 or later counts as 11.0 without a letter on a system of
// version 6.1 or later, 6.0 past build 6002, or 6.0 build 6002 that can load
// D3D11.DLL (only then is `can_load` asked); otherwise, and when the
// system's version could not be read (`readable` false), it stays as found.
DirectXVersion WithDirectX11Rule(DirectXVersion found, bool readable, std::uint32_t major,
                                 std::uint32_t minor, std::uint32_t build,
                                 SystemLibraryProbe can_load);

// Reads the fixed version (ms, ls) of a system file; false when unreadable.
using SystemFileVersionLookup = bool (*)(const char16_t* file, std::uint32_t* ms,
                                         std::uint32_t* ls);
// DirectX from the versions of its system files; 0.0 with a blank when no
// file tells.
DirectXVersion DirectXFromFileVersions(SystemFileVersionLookup lookup);

// DirectX as the diagnostics provider reports it: major, minor and the
// letter's first character; false when the provider gives no answer.
using DxDiagQuery = bool (*)(std::uint32_t* major, std::uint32_t* minor, char16_t* letter);
// The provider's answer, else what the system files tell.
DirectXVersion FoundDirectX(DxDiagQuery dxdiag, SystemFileVersionLookup lookup);

// Clock in MHz from time-stamp counts over a quarter of a second.
std::uint32_t ClockFromQuarterSecond(std::uint64_t start, std::uint64_t end);

// What CPUID leaf 1 tells in eax (the signature) and edx (the features).
struct CpuSignature {
  std::uint32_t type, family, model, stepping;
  std::uint32_t has_mmx, has_cmov, has_sse;
};
CpuSignature DecodeCpuSignature(std::uint32_t eax, std::uint32_t edx);
